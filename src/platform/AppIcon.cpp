#include "platform/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace platform {

QImage appIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    // The page, with its corner folded.
    QPainterPath page;
    page.moveTo(10, 4);
    page.lineTo(42, 4);
    page.lineTo(54, 16);
    page.lineTo(54, 60);
    page.lineTo(10, 60);
    page.closeSubpath();
    p.setPen(QPen(QColor(70, 80, 100), 2.5));
    p.setBrush(QColor(250, 250, 245));
    p.drawPath(page);
    p.setBrush(QColor(215, 220, 230));
    p.drawPolygon(QPolygonF({QPointF(42, 4), QPointF(42, 16), QPointF(54, 16)}));
    // The tree: a root and three children joined by lines.
    p.setPen(QPen(QColor(30, 90, 170), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(20, 22), QPointF(20, 50));
    for (double y : {30.0, 40.0, 50.0})
        p.drawLine(QPointF(20, y), QPointF(30, y));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 170));
    p.drawRoundedRect(QRectF(15, 16, 10, 8), 2, 2);
    p.setBrush(QColor(220, 150, 40));
    for (double y : {30.0, 40.0, 50.0})
        p.drawRoundedRect(QRectF(30, y - 3.5, 16, 7), 2, 2);
    return img;
}

} // namespace platform
