#pragma once
// The dialogs are laid out in twips, as the main window is; the station converts them for
// the screen it is on.
#include "app/MainForm.h"

#include <QWidget>

namespace TwipsPlacement
{

inline void place(const MainForm &form, QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(form.twipsToPixels(left), form.twipsToPixels(top),
                        form.twipsToPixels(width), form.twipsToPixels(height));
}

} // namespace TwipsPlacement
