#include "monitor/StatusLine.h"

#include "app/MainForm.h"
#include "monitor/StatusHistory.h"
#include "monitor/StatusLabel.h"
#include "monitor/StatusLogForm.h"
#include "platform/Clock.h"
#include "platform/Files.h"

#include <QAction>
#include <QLocale>

void StatusLine::NetStatus_Change()
{
    const QString status = m_form.netStatus();
    if (m_form.isMinimized())
        m_form.setWindowTitle(QStringLiteral(" ") + status);
    recordEvent(status);
}

void StatusLine::recordEvent(const QString &text)
{
    const QString line =
        StatusHistory::historyLine(m_form.environment().clock->now(), text, QLocale());
    m_form.statusLogForm()->appendLine(line);
    // Like the traffic logs, a status log that cannot be written never stops the station.
    if (const QString &path = m_form.environment().statusLogPath; !path.isEmpty())
        Files::append(path, line.toUtf8());
}

void StatusLine::showHistory()
{
    m_form.statusLogForm()->show();
    m_form.statusLogForm()->raise();
    m_form.DisplayStatusHistoryMenuItem->setChecked(true);
}

void StatusLine::NetStatus_DblClick()
{
    showHistory();
}

void StatusLine::DisplayStatusHistoryMenuItem_Click()
{
    if (!m_form.DisplayStatusHistoryMenuItem->isChecked()) {
        showHistory();
    } else {
        m_form.DisplayStatusHistoryMenuItem->setChecked(false);
        m_form.statusLogForm()->hide();
    }
}
