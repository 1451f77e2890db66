#include "serial/TrafficLogWriter.h"

#include "platform/Files.h"

namespace TrafficLogWriter
{

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
