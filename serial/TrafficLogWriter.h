#pragma once
// The traffic log writer: producers queue bytes in memory, the 50 ms tick appends them.
//
// The file is open only for the moment of each append, so other programs may rename, read
// and delete a log between two ticks; the next append simply creates a new file. A file
// that cannot be written keeps its bytes buffered, and the whole buffer is tried again on
// the next tick, so nothing is lost while a reader holds the file for a while. A FIFO or
// device takes what it can each tick and keeps the rest buffered, and one without a reader
// is treated as a file that cannot be written (see LogTarget).
//
// A log that fails is told in the status history once, when it starts failing, and once
// more when it is written again; not on every tick.
#include "platform/LogTarget.h"

#include <QByteArray>
#include <QString>

namespace TrafficLogWriter
{

// What one log keeps from tick to tick.
struct LogState {
    // "Receive log" or "Transmit log", for the status history.
    QString name;
    LogTarget target;
    bool failing = false;
};

// A switched-off log drops what is left in its buffer only past this size.
inline constexpr qsizetype kSwitchedOffLimit = 20000;
// Ticks for which the Log Traffic button shows that data was written.
inline constexpr int kFlashTicks = 3;

// One tick's work for one log: an empty path means the log is off. Returns the line for
// the status history when the log starts failing or is written again, else nothing.
QString AppendTrafficLog(LogState &log, const QString &path, QByteArray &buffer,
                         int &logFlashCount);

} // namespace TrafficLogWriter
