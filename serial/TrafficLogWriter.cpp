#include "serial/TrafficLogWriter.h"

namespace TrafficLogWriter
{

void queueForLog(QByteArray &buffer, const QByteArray &bytes)
{
    // At the ceiling the newest bytes are the ones left out. The buffer then stays an exact
    // copy of the traffic up to the moment it filled, so the file shows one clean gap after
    // it. Dropping the oldest instead would cut the gap into the middle of what is buffered,
    // between bytes the file already holds and bytes that follow them, where a reader could
    // not tell it from real traffic.
    const qsizetype room = kBufferCeiling - buffer.size();
    if (room <= 0)
        return;
    if (bytes.size() <= room)
        buffer.append(bytes);
    else
        buffer.append(bytes.constData(), room);
}

QString AppendTrafficLog(LogState &log, const QString &path, QByteArray &buffer, int &logFlashCount)
{
    if (path.isEmpty()) {
        log.target.close();
        // Switched off: nobody waits to hear that it works again.
        log.failing = false;
        if (buffer.size() > kSwitchedOffLimit)
            buffer.clear();
        return {};
    }
    if (buffer.isEmpty())
        return {};
    // What the target did not take stays buffered, in front of later data, for the next tick.
    const LogTarget::Result result = log.target.append(path, buffer);
    if (result.written > 0) {
        buffer.remove(0, result.written);
        logFlashCount = kFlashTicks;
    }
    const bool failing = !result.error.isEmpty();
    if (failing == log.failing)
        return {};
    log.failing = failing;
    return failing ? QStringLiteral("%1 not written: %2").arg(log.name, result.error)
                   : QStringLiteral("%1 written again").arg(log.name);
}

} // namespace TrafficLogWriter
