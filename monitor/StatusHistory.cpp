#include "monitor/StatusHistory.h"

namespace StatusHistory
{

namespace
{

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString historyLine(const QDateTime &when, const QString &status, const QLocale &locale)
{
    const QDate date = when.date();
    const QTime time = when.time();
    QString month = locale.standaloneMonthName(date.month(), QLocale::ShortFormat);
    if (month.endsWith(QLatin1Char('.')))
        month.chop(1);
    const QString day = twoDigits(date.day()) + QLatin1Char('-') + month + QLatin1Char('-') +
                        QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    const QString clock = twoDigits(time.hour()) + QLatin1Char(':') + twoDigits(time.minute()) +
                          QLatin1Char(':') + twoDigits(time.second());
    return day + QStringLiteral("  ") + clock + QStringLiteral("  ") + status +
           QStringLiteral("\r\n");
}

void appendHistoryLine(QString &history, const QString &line)
{
    history += line;
    if (history.size() > kLimit)
        history.remove(0, kDropped);
}

} // namespace StatusHistory
