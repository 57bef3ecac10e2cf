#include "gui/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <new>
#include <utility>

#include "gui/QtText.h"
#include "signal/Errors.h"

namespace sonavir {

namespace {
std::function<void(const std::string&)>& ErrorSink()
{
    static std::function<void(const std::string&)> sink;
    return sink;
}
}  // namespace

void ShowError(QWidget* parent, const std::string& message)
{
    if (ErrorSink()) {
        ErrorSink()(message);
        return;
    }
    // Closing the box would otherwise activate the main window, and a key
    // typed next would miss the field whose keystroke was refused.
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), Q(message));
    if (focus && focus->isVisible() && focus->isEnabled()) {
        focus->activateWindow();
        focus->setFocus(Qt::OtherFocusReason);
    }
}

std::string FailureMessage(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e)) return msg::kOutOfMemory;
    return e.what();
}

void SetErrorSink(std::function<void(const std::string&)> sink)
{
    ErrorSink() = std::move(sink);
}

}  // namespace sonavir
