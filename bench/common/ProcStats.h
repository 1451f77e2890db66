#pragma once
// What the kernel counts for a running process, read from /proc: CPU time and memory.
// A value that cannot be read (the process is gone) comes back negative.
#include <QByteArray>

#include <sys/types.h>

namespace ProcStats
{

// utime + stime, in seconds.
double cpuSeconds(pid_t pid);
// A "Vm..." line of /proc/<pid>/status, e.g. "VmHWM" or "VmRSS", in kB.
long memoryKb(pid_t pid, const QByteArray &field);

} // namespace ProcStats
