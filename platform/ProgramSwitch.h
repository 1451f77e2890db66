#pragma once
// Replaces the running program by another one of ours installed beside it, with the same
// arguments and process id (a service manager keeps watching the same process).
#include <QString>

namespace ProgramSwitch
{

// Returns only on failure, with the reason.
QString becomeSibling(const char *programName, char *argv[]);

} // namespace ProgramSwitch
