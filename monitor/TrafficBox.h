#pragma once
// A read-only traffic view. Its text holds one character per byte and follows the
// append-and-trim rule; the screen catches up at the next refresh, so a fast serial stream
// costs one text append per chunk, not one relayout.
#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

class TrafficBox final : public QPlainTextEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficBox)

public:
    explicit TrafficBox(QWidget *parent = nullptr);

    void appendChunk(const QByteArray &chunk);
    void clearTraffic();
    // One character per byte, as appended and trimmed.
    QString traffic() const { return m_traffic; }
    // Shows what was appended since the last refresh.
    void refresh();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    QString m_traffic;
    bool m_dirty = false;
};
