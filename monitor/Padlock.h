#pragma once
// The padlock the window shows beside the status while a secure link stands. Drawn, so it
// needs no font that has the symbol and no image plugin.
#include <QPixmap>

namespace Padlock
{
QPixmap picture(int pixels);
}
