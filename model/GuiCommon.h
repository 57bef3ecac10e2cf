#pragma once
// Small pieces every window shares.

#include <QString>
#include <string>

class QWidget;

namespace sonavir {

inline QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }
inline std::string S(const QString& text) { return text.toUtf8().toStdString(); }

// The application's standard error box with the failure's message.
void ShowError(QWidget* parent, const std::string& message);

// A greyed-out input: disabled, silver background (192, 192, 192), grey text
// (128, 128, 128). Enabled: the system's window colours.
void SetGreyedLook(QWidget* widget, bool greyed);

}  // namespace sonavir
