#include "monitor/StatusLabel.h"

#include <QMouseEvent>

StatusLabel::StatusLabel(QWidget *parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void StatusLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_EMIT doubleClicked();
    event->accept();
}
