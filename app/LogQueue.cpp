#include "app/LogQueue.h"

namespace LogQueue
{

void queue(QByteArray &buffer, const QByteArray &bytes)
{
    // Leaving out the newest keeps the buffer an exact copy of the traffic up to the moment
    // it filled, so the file shows one clean gap after it. Dropping the oldest instead would
    // cut the gap into the middle of what is buffered, between bytes the file already holds
    // and bytes that follow them, where a reader could not tell it from real traffic.
    const qsizetype room = kBufferCeiling - buffer.size();
    if (room <= 0)
        return;
    if (bytes.size() <= room)
        buffer.append(bytes);
    else
        buffer.append(bytes.constData(), room);
}

} // namespace LogQueue
