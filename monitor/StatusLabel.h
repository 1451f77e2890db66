#pragma once
// The status line: a label that reports a double-click (it opens the status history).
#include <QLabel>

class StatusLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusLabel)

public:
    explicit StatusLabel(QWidget *parent = nullptr);

Q_SIGNALS:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
