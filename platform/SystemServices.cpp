// The clock and the random draw of the real program; apart from the desktop's services, so
// a station without a window needs no window system for them.
#include "platform/Clock.h"
#include "platform/RandomSource.h"

#include <chrono>
#include <sys/types.h>
#include <unistd.h>

namespace
{

quint64 splitMix64(quint64 &state)
{
    state += 0x9E3779B97F4A7C15ULL;
    quint64 z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

} // namespace

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

SystemRandom::SystemRandom()
{
    using namespace std::chrono;
    // Two stations started in the same instant still differ by process id, and the
    // monotonic clock adds the machine's uptime.
    quint64 seed = static_cast<quint64>(
        duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count());
    seed ^= static_cast<quint64>(::getpid()) << 32;
    seed ^= static_cast<quint64>(
        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
    m_state = seed;
    splitMix64(m_state);
}

double SystemRandom::next()
{
    const quint64 bits = splitMix64(m_state);
    // The top 53 bits fill a double's mantissa exactly, so the result is below 1.
    constexpr double kScale = 1.0 / 9007199254740992.0; // 2^-53
    return static_cast<double>(bits >> 11) * kScale;
}
