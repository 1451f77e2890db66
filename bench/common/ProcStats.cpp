#include "common/ProcStats.h"

#include <QFile>
#include <QList>

#include <unistd.h>

namespace
{

// After the command name, which is in parentheses and may itself hold blanks and
// parentheses, utime and stime are the 12th and 13th fields.
constexpr int kUtimeAfterName = 11;
constexpr int kStimeAfterName = 12;

QByteArray readProcFile(pid_t pid, const char *name)
{
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

double ProcStats::cpuSeconds(pid_t pid)
{
    const QByteArray stat = readProcFile(pid, "stat");
    const qsizetype nameEnd = stat.lastIndexOf(')');
    if (nameEnd < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(nameEnd + 2).split(' ');
    if (fields.size() <= kStimeAfterName)
        return -1;
    const double ticks = fields[kUtimeAfterName].toDouble() + fields[kStimeAfterName].toDouble();
    return ticks / double(::sysconf(_SC_CLK_TCK));
}

long ProcStats::memoryKb(pid_t pid, const QByteArray &field)
{
    const QByteArray status = readProcFile(pid, "status");
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(field + ':')) {
            const QList<QByteArray> parts = line.mid(field.size() + 1).simplified().split(' ');
            return parts.isEmpty() ? -1 : parts.first().toLong();
        }
    }
    return -1;
}
