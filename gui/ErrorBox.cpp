#include "gui/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>
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
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), Q(message));
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
