#pragma once
// A greyed-out input: disabled, silver background (192, 192, 192), grey text
// (128, 128, 128). Enabled: the system's window colours.

class QWidget;

namespace sonavir {

void SetGreyedLook(QWidget* widget, bool greyed);

}  // namespace sonavir
