#include "gui/GreyedLook.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace sonavir {

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
