#pragma once
// The program's icon, drawn in code at any size: the windows show it at
// 32 x 32, the desktop takes it at 48 and 256 pixels and as a vector drawing.

#include <QImage>

class QPainter;

namespace sonavir {

// The icon's design side: PaintProgramIcon draws into a square of this many
// units from the painter's origin.
inline constexpr int kProgramIconSide = 32;

void PaintProgramIcon(QPainter& painter);
// The icon at size x size pixels, on a transparent background.
QImage ProgramIconImage(int size);

}  // namespace sonavir
