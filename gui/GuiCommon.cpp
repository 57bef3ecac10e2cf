#include "gui/GuiCommon.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QMessageBox>
#include <QPalette>
#include <QWidget>
#include <utility>

namespace sonavir {

namespace {
std::function<void(const std::string&)>& ErrorSink()
{
    static std::function<void(const std::string&)> sink;
    return sink;
}

std::function<void(const std::string&)>& AddressOpener()
{
    static std::function<void(const std::string&)> opener;
    return opener;
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

void OpenAddress(const std::string& address)
{
    if (AddressOpener()) {
        AddressOpener()(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(Q(address), QUrl::TolerantMode));
}

void SetAddressOpener(std::function<void(const std::string&)> opener)
{
    AddressOpener() = std::move(opener);
}

void SetErrorSink(std::function<void(const std::string&)> sink)
{
    ErrorSink() = std::move(sink);
}

void SetGreyedLook(QWidget* widget, bool greyed)
{
    QPalette pal = QApplication::palette(widget);
    if (greyed) {
        const QColor silver(192, 192, 192), grey(128, 128, 128);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            pal.setColor(group, QPalette::Base, silver);
            pal.setColor(group, QPalette::Button, silver);
            pal.setColor(group, QPalette::Window, silver);
            pal.setColor(group, QPalette::Text, grey);
            pal.setColor(group, QPalette::ButtonText, grey);
            pal.setColor(group, QPalette::WindowText, grey);
        }
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(pal);
    widget->setEnabled(!greyed);
}

}  // namespace sonavir
