#include "dialogs/ValueLabel.h"

#include "app/TwipsPlacement.h"

#include <QMouseEvent>
#include <QPalette>

ValueLabel::ValueLabel(QWidget *parent) : QLabel(parent)
{
    // Folder and file names of any length: cut, not widened to fit.
    setProperty(TwipsPlacement::kCutsTextProperty, true);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    setTextFormat(Qt::PlainText);
    setGreyed(false);
}

void ValueLabel::setGreyed(bool greyed)
{
    m_greyed = greyed;
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(greyed ? QPalette::Button : QPalette::Base));
    setPalette(colours);
}

void ValueLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_EMIT doubleClicked();
    event->accept();
}
