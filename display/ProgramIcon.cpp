#include "display/ProgramIcon.h"

#include <QPainter>

namespace sonavir {

void PaintProgramIcon(QPainter& p)
{
    // Deep water, a sphere and the arcs of an echo coming back from it.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(10, 40, 90), 1));
    p.setBrush(QColor(20, 90, 160));
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);
    p.setBrush(QColor(230, 190, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(23, 22), 4.5, 4.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255), 1.6));
    for (int r : {6, 11, 16}) p.drawArc(QRectF(4 - r, 4 - r, 2 * r, 2 * r), -80 * 16, 70 * 16);
    p.setPen(QPen(QColor(160, 220, 255), 1.2));
    p.drawArc(QRectF(23 - 9, 22 - 9, 18, 18), 100 * 16, 70 * 16);
}

QImage ProgramIconImage(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.scale(qreal(size) / kProgramIconSide, qreal(size) / kProgramIconSide);
    PaintProgramIcon(p);
    return icon;
}

}  // namespace sonavir
