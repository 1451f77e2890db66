#pragma once
// The traffic log writer: producers queue bytes in memory (LogQueue), the 50 ms tick
// appends them.
//
// The file is open only for the moment of each append, so other programs may rename, read
// and delete a log between two ticks; the next append simply creates a new file. A file
// that cannot be written keeps its bytes buffered, and the whole buffer is tried again on
// the next tick, so nothing is lost while a reader holds the file for a while.
#include <QByteArray>
#include <QString>

namespace TrafficLogWriter
{

// A switched-off log drops what is left in its buffer only past this size.
inline constexpr qsizetype kSwitchedOffLimit = 20000;
// Ticks for which the Log Traffic button shows that data was written.
inline constexpr int kFlashTicks = 3;

// One tick's work for one log: an empty path means the log is off.
void AppendTrafficLog(const QString &path, QByteArray &buffer, int &logFlashCount);

} // namespace TrafficLogWriter
