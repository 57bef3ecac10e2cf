#pragma once
// Window captions that fit: a window is at least as wide as its title, in a
// bold face of the interface's size, plus what a title bar takes besides it
// (the icon and the buttons).

#include <QString>

class QWidget;

namespace sonavir {

// Room the title bar's icon, buttons and margins take.
inline constexpr int kTitleBarAllowance = 120;

// The outer width a window needs for its whole caption.
int CaptionWidth(const QString& title);
// A resizable window's minimum width raised to fit its caption.
void FitCaption(QWidget* window);

}  // namespace sonavir
