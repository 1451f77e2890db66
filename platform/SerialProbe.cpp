#include "platform/SerialProbe.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

constexpr qint64 kLockFileReadLimit = 128;

QStringList lockFolders()
{
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock"),
            QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
}

// Lock files name the device as the opener called it: "ttyS0" for /dev/ttyS0, any other
// path with its separators turned into underscores.
QString lockFileName(const QString &path)
{
    QString name = path.startsWith(QLatin1String("/dev/")) ? path.mid(5) : path;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

bool processIsAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    // Another station of this very process may hold the lock.
    if (pid == qint64(::getpid()))
        return true;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// A lock file whose owner has ended is stale and does not hold the device.
bool lockFileIsLive(const QString &lockPath)
{
    QFile file(lockPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(kLockFileReadLimit);
    bool ok = false;
    const qint64 pid = head.split('\n').value(0).trimmed().toLongLong(&ok);
    return ok && processIsAlive(pid);
}

bool hasLiveLockFile(const QString &path)
{
    QStringList names{lockFileName(path)};
    const QString target = QFileInfo(path).canonicalFilePath();
    if (!target.isEmpty() && target != path)
        names.append(lockFileName(target));
    for (const QString &folder : lockFolders()) {
        if (folder.isEmpty())
            continue;
        for (const QString &name : names) {
            if (lockFileIsLive(QDir(folder).filePath(name)))
                return true;
        }
    }
    return false;
}

bool heldThroughDescriptor(int fd)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        return true;
#endif
    // Taking the flock ourselves for a moment is harmless: closing the descriptor drops it.
    return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

} // namespace

namespace SerialProbe
{

bool canOpenSerialDevice(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool usable = ::isatty(fd) && !heldThroughDescriptor(fd);
    ::close(fd);
    return usable && !hasLiveLockFile(path);
}

} // namespace SerialProbe
