#pragma once
// Texts cross between the plain layers (UTF-8 std::string) and the widgets
// (QString) only through these two.

#include <QString>
#include <string>

namespace sonavir {

inline QString Q(const std::string& utf8) { return QString::fromUtf8(utf8.c_str()); }
inline std::string S(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace sonavir
