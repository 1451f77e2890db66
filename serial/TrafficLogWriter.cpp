#include "serial/TrafficLogWriter.h"

namespace TrafficLogWriter
{

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
