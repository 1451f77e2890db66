#pragma once
// A bordered, read-only value field that reports a double-click and can look greyed: the
// traffic log dialog's folder and file name fields.
#include <QLabel>

class ValueLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ValueLabel)

public:
    explicit ValueLabel(QWidget *parent = nullptr);
    // Window background while the field holds a value, button face while it is empty.
    void setGreyed(bool greyed);
    bool isGreyed() const { return m_greyed; }

Q_SIGNALS:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool m_greyed = false;
};
