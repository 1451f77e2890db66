#pragma once
// The status history: one time-stamped line per status change, kept to a bounded length.
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace StatusHistory
{

// Past this length the oldest part is dropped, cutting wherever it falls.
inline constexpr qsizetype kLimit = 20000;
inline constexpr qsizetype kDropped = 9999;

// "05-Dec-2026  10:03:08  Connected" and CR LF. The month is the locale's abbreviated name
// as it stands alone ("Dez" in German), without a closing full stop; the digits and the
// 24-hour clock do not follow the locale.
QString historyLine(const QDateTime &when, const QString &status, const QLocale &locale);
// Appends the line; a history now longer than kLimit loses its first kDropped characters.
void appendHistoryLine(QString &history, const QString &line);

} // namespace StatusHistory
