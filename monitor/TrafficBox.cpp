#include "monitor/TrafficBox.h"

#include "monitor/TrafficView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace {
// Line ends show as line breaks; other control bytes as their control pictures, so the
// view never reflows on a stray byte and each byte stays one visible character.
QString displayed(const QString &traffic)
{
    QString shown;
    shown.reserve(traffic.size());
    for (qsizetype i = 0; i < traffic.size(); ++i) {
        const ushort code = traffic.at(i).unicode();
        if (code == '\r') {
            if (i + 1 < traffic.size() && traffic.at(i + 1) == QLatin1Char('\n'))
                continue;
            shown += QLatin1Char('\n');
        } else if (code == '\n' || code == '\t') {
            shown += QChar(code);
        } else if (code < 0x20) {
            shown += QChar(0x2400 + code);
        } else if (code == 0x7f) {
            shown += QChar(0x2421);
        } else {
            shown += QChar(code);
        }
    }
    return shown;
}
} // namespace

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
    m_traffic = TrafficView::appendAndTrim(m_traffic, QString::fromLatin1(chunk));
    m_dirty = true;
}

void TrafficBox::clearTraffic()
{
    m_traffic.clear();
    m_dirty = false;
    clear();
}

void TrafficBox::refresh()
{
    if (!m_dirty)
        return;
    m_dirty = false;
    setPlainText(displayed(m_traffic));
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
