#include "dialogs/WrappingCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

#include <limits>

int WrappingCheckBox::heightForWidth(int width) const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.rect.setWidth(width);
    const QRect area = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    const QRect text = fontMetrics().boundingRect(
        QRect(0, 0, area.width(), std::numeric_limits<int>::max() / 2), kTextFlags, this->text());
    return qMax(text.height(), style()->pixelMetric(QStyle::PM_IndicatorHeight, &option, this));
}

void WrappingCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    // The style draws the indicator (and its focus mark); the caption is drawn wrapped.
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);
    painter.drawItemText(style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this),
                         kTextFlags, option.palette, isEnabled(), caption, QPalette::WindowText);
}

bool WrappingCheckBox::hitButton(const QPoint &position) const
{
    return rect().contains(position);
}
