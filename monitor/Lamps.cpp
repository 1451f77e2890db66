#include "monitor/Lamps.h"

#include <QLabel>
#include <QPainter>

namespace Lamps
{

QPixmap picture(const QColor &colour, int pixels)
{
    QPixmap image(pixels, pixels);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shine(pixels * 0.35, pixels * 0.35, pixels * 0.6);
    shine.setColorAt(0, colour.lighter(170));
    shine.setColorAt(1, colour.darker(120));
    painter.setBrush(shine);
    painter.setPen(QPen(colour.darker(200), 1));
    painter.drawEllipse(QRectF(0.5, 0.5, pixels - 1.0, pixels - 1.0));
    return image;
}

void show(QLabel *lamp, const QPixmap &picture)
{
    if (lamp->pixmap().cacheKey() != picture.cacheKey())
        lamp->setPixmap(picture);
}

} // namespace Lamps
