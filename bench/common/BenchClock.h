#pragma once
// One clock for every figure the benchmarks print: monotonic, in seconds as a double, so
// that intervals from different helpers can be subtracted directly.
#include <ctime>

namespace BenchClock
{

inline double now()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

inline void sleepFor(double seconds)
{
    if (seconds <= 0)
        return;
    timespec ts{};
    ts.tv_sec = time_t(seconds);
    ts.tv_nsec = long((seconds - double(ts.tv_sec)) * 1e9);
    while (::nanosleep(&ts, &ts) != 0) {
    }
}

} // namespace BenchClock
