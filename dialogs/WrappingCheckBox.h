#pragma once
// A check box whose caption wraps onto further lines inside the box's own width, as the
// design's taller check boxes expect, instead of asking for a wider box.
#include <QCheckBox>

class WrappingCheckBox final : public QCheckBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WrappingCheckBox)

public:
    using QCheckBox::QCheckBox;

    bool hasHeightForWidth() const override { return true; }
    // The height the wrapped caption needs at this width, at least the indicator's.
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    // The whole box answers a click, also the caption's later lines.
    bool hitButton(const QPoint &position) const override;

private:
    static constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;
};
