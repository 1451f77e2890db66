#pragma once
// The bytes waiting for a traffic log: the serial and network paths queue them, the log
// writer's tick appends them to the file.
#include <QByteArray>

namespace LogQueue
{

// A log file that stays unavailable cannot make its buffer grow without end.
inline constexpr qsizetype kBufferCeiling = 16 * 1024 * 1024;

// At the ceiling the newest bytes are the ones left out.
void queue(QByteArray &buffer, const QByteArray &bytes);

} // namespace LogQueue
