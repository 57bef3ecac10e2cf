#pragma once
// The application's standard error box: a failure ends the current handler
// and its message is shown as it stands.

#include <exception>
#include <functional>
#include <string>

class QWidget;

namespace sonavir {

// Shows the message; afterwards the keyboard focus is back where it was, so
// the next key reaches the field that was being edited.
void ShowError(QWidget* parent, const std::string& message);

// The message a failure is shown with: the program's own text, "Out of
// memory" for a failed allocation, the library's text for anything else.
std::string FailureMessage(const std::exception& e);

// Redirects ShowError (tests record the messages instead of opening a modal
// box). An empty function restores the box.
void SetErrorSink(std::function<void(const std::string&)> sink);

}  // namespace sonavir
