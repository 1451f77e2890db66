#include "monitor/Padlock.h"

#include <QPainter>
#include <QPainterPath>

QPixmap Padlock::picture(int pixels)
{
    QPixmap picture(pixels, pixels);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = pixels;
    // The shackle: an arch over the body.
    painter.setPen(QPen(QColor(0x50, 0x50, 0x50), s * 0.12));
    painter.setBrush(Qt::NoBrush);
    QPainterPath shackle;
    shackle.moveTo(s * 0.3, s * 0.5);
    shackle.lineTo(s * 0.3, s * 0.32);
    shackle.arcTo(QRectF(s * 0.3, s * 0.1, s * 0.4, s * 0.4), 180, -180);
    shackle.lineTo(s * 0.7, s * 0.5);
    painter.drawPath(shackle);
    // The body, gold, with a keyhole.
    painter.setPen(QPen(QColor(0x80, 0x60, 0x00), 1));
    painter.setBrush(QColor(0xe0, 0xb0, 0x20));
    painter.drawRoundedRect(QRectF(s * 0.15, s * 0.45, s * 0.7, s * 0.5), s * 0.08, s * 0.08);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x40, 0x30, 0x00));
    painter.drawEllipse(QPointF(s * 0.5, s * 0.66), s * 0.07, s * 0.07);
    return picture;
}
