#include "monitor/TrafficBox.h"

#include "monitor/TrafficView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextCursor>

#include <algorithm>

TrafficBox::TrafficBox(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::ClickFocus);
}

void TrafficBox::appendChunk(const QByteArray &chunk)
{
    const qsizetype dropped = TrafficView::droppedByAppend(m_traffic.size(), chunk.size());
    const qsizetype shownDropped = std::min(dropped, m_traffic.size() - m_unshown);
    if (!m_rebuild && shownDropped > 0)
        m_shownDropped +=
            TrafficView::shownLength(QStringView(m_traffic).first(shownDropped), m_afterCr);
    if (dropped > 0) {
        const QChar last = dropped <= m_traffic.size()
                               ? m_traffic.at(dropped - 1)
                               : QChar::fromLatin1(chunk.at(dropped - m_traffic.size() - 1));
        m_afterCr = last == u'\r';
    }
    TrafficView::appendAndTrim(m_traffic, chunk);
    m_unshown = std::min(m_unshown + chunk.size(), m_traffic.size());
    if (m_unshown == m_traffic.size())
        m_rebuild = true;
}

void TrafficBox::clearTraffic()
{
    m_traffic.clear();
    m_afterCr = false;
    m_unshown = 0;
    m_shownDropped = 0;
    m_rebuild = false;
    clear();
}

void TrafficBox::refresh()
{
    m_refreshesSinceRebuild = std::min(m_refreshesSinceRebuild + 1, kRebuildRefreshes);
    if (!hasPending())
        return;
    if (m_rebuild) {
        if (m_refreshesSinceRebuild < kRebuildRefreshes)
            return;
        m_refreshesSinceRebuild = 0;
        setPlainText(TrafficView::shown(m_traffic, m_afterCr));
    } else {
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        cursor.setPosition(m_shownDropped, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        const qsizetype first = m_traffic.size() - m_unshown;
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(TrafficView::shown(QStringView(m_traffic).sliced(first),
                                             m_traffic.at(first - 1) == u'\r'));
        cursor.endEditBlock();
    }
    m_unshown = 0;
    m_shownDropped = 0;
    m_rebuild = false;
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

// Nothing can be typed into the box and nothing selected in it.
void TrafficBox::keyPressEvent(QKeyEvent *event)
{
    event->accept();
}

void TrafficBox::inputMethodEvent(QInputMethodEvent *event)
{
    event->accept();
}

void TrafficBox::mouseMoveEvent(QMouseEvent *event)
{
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
    event->accept();
}

void TrafficBox::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}
