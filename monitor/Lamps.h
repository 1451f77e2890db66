#pragma once
// The pictures of the window's activity lamps, drawn once, and the one way a lamp shows one.
#include <QColor>
#include <QPixmap>

class QLabel;

namespace Lamps
{

QPixmap picture(const QColor &colour, int pixels);
// Shows picture in lamp unless it shows it already: setting a label's picture repaints
// it and the frame around it, text and all, and a lamp kept lit by steady traffic or a
// state message every second would repaint for nothing.
void show(QLabel *lamp, const QPixmap &picture);

} // namespace Lamps
