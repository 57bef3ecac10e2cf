#pragma once
// Small pieces every window shares.

#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace sonavir {

inline QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }
inline std::string S(const QString& text) { return text.toUtf8().toStdString(); }

// The application's standard error box with the failure's message.
void ShowError(QWidget* parent, const std::string& message);

// Redirects ShowError (tests record the messages instead of opening a modal
// box). An empty function restores the box.
void SetErrorSink(std::function<void(const std::string&)> sink);

// Hands a web or mail address to the desktop's browser or mail program and
// returns at once; a failure is not reported. Tests redirect it.
void OpenAddress(const std::string& address);
void SetAddressOpener(std::function<void(const std::string&)> opener);

// A greyed-out input: disabled, silver background (192, 192, 192), grey text
// (128, 128, 128). Enabled: the system's window colours.
void SetGreyedLook(QWidget* widget, bool greyed);

// One bus for the whole program: a handler that changed shared state emits
// changed(); start-up connects it to every window's SyncFromState().
class StateBus : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void changed();
};

}  // namespace sonavir
