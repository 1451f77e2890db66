#pragma once
// A read-only traffic view. Its text holds one character per byte and follows the
// append-and-trim rule; the screen catches up at the next refresh, so a fast serial stream
// costs one text append per chunk, not one relayout. A refresh hands the widget only what
// changed since the last one: the characters that left the front and those that came.
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
    // A refresh has something to show.
    bool hasPending() const { return m_rebuild || m_unshown > 0 || m_shownDropped > 0; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    QString m_traffic;
    // Whether the character before the first of m_traffic, gone now, was a CR.
    bool m_afterCr = false;
    // The newest characters of m_traffic that the widget does not show yet.
    qsizetype m_unshown = 0;
    // Characters at the start of the widget's text whose traffic has left the box.
    qsizetype m_shownDropped = 0;
    // Nothing the widget shows is left in the box: it is given the whole text anew.
    bool m_rebuild = false;
    // A box flooded faster than anyone can read is given its whole text anew at most every
    // kRebuildRefreshes refreshes, since each time the widget lays out all of it again.
    static constexpr int kRebuildRefreshes = 4;
    int m_refreshesSinceRebuild = kRebuildRefreshes;
};
