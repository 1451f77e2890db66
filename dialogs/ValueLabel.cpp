#include "dialogs/ValueLabel.h"

#include <QMouseEvent>
#include <QPalette>

ValueLabel::ValueLabel(QWidget *parent) : QLabel(parent)
{
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
