#pragma once
// One line of a station's status history, made and kept where the station keeps it besides
// its own history: in the status log file, when the station has one.
#include <QString>

struct StationEnvironment;

namespace StatusRecord
{

// The time-stamped history line for text, ending in CR LF, already appended to the status
// log. Like the traffic logs, a status log that cannot be written never stops the station.
QString make(const StationEnvironment &environment, const QString &text);

} // namespace StatusRecord
