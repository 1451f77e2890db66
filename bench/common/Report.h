#pragma once
// Benchmark output: one line at a time, flushed at once, so that a long run can be watched
// and a run cut short still leaves every figure it had.
#include <QCoreApplication>
#include <QString>

#include <cstdio>

namespace Report
{

inline void line(const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

inline QString verdict(bool met)
{
    return met ? QStringLiteral("MET") : QStringLiteral("MISSED");
}

// The station program of the same build: bench programs sit in bench/ below it.
inline QString defaultStationBinary()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tethra");
}

} // namespace Report
