#include "gui/CaptionFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>
#include <algorithm>

namespace sonavir {

int CaptionWidth(const QString& title)
{
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarAllowance;
}

void FitCaption(QWidget* window)
{
    window->setMinimumWidth(std::max(window->minimumWidth(), CaptionWidth(window->windowTitle())));
}

}  // namespace sonavir
