#include "platform/ProgramSwitch.h"

#include <QByteArray>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace ProgramSwitch
{

QString becomeSibling(const char *programName, char *argv[])
{
    const QByteArray self =
        QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().toLocal8Bit();
    const QByteArray sibling =
        QFileInfo(QString::fromLocal8Bit(self)).absolutePath().toLocal8Bit() + '/' + programName;
    ::execv(sibling.constData(), argv);
    return QStringLiteral("cannot start %1: %2")
        .arg(QString::fromLocal8Bit(sibling), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace ProgramSwitch
