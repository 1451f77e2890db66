#pragma once
// Time as the station sees it. Tests fix it; the program uses the system's clocks.
#include <QDateTime>
#include <QtGlobal>

class Clock
{
public:
    virtual ~Clock() = default;
    // Local wall-clock time, for time stamps.
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};
