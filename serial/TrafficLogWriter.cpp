#include "serial/TrafficLogWriter.h"

#include "platform/Files.h"

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

void AppendTrafficLog(const QString &path, QByteArray &buffer, int &logFlashCount)
{
    if (path.isEmpty()) {
        if (buffer.size() > kSwitchedOffLimit)
            buffer.clear();
        return;
    }
    if (buffer.isEmpty())
        return;
    // A failure is not reported: the buffer stays as it is and the next tick tries again.
    if (!Files::append(path, buffer))
        return;
    buffer.clear();
    logFlashCount = kFlashTicks;
}

} // namespace TrafficLogWriter
