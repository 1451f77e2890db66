#include "platform/LogTarget.h"

#include "platform/Files.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr mode_t kNewFileMode = 0644;

QString failure(const QString &path, const QString &reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
}

// A write to a pipe whose reader has gone raises SIGPIPE, which ends the program unless it
// is blocked. Blocked for the write only, and a SIGPIPE it raised is taken back, so the
// program's own signal handling stays as it was.
ssize_t writeWithoutSigpipe(int fd, const char *data, size_t size)
{
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool pendingBefore = sigismember(&pending, SIGPIPE) == 1;
    sigset_t old;
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &old);
    ssize_t written = 0;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    const int error = errno;
    if (written < 0 && error == EPIPE && !pendingBefore) {
        const timespec now{0, 0};
        sigtimedwait(&pipeOnly, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return written;
}

} // namespace

LogTarget::~LogTarget()
{
    close();
}

void LogTarget::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

LogTarget::Result LogTarget::append(const QString &path, const QByteArray &bytes)
{
    if (!holdsOpen(path)) {
        close();
        struct stat info {
        };
        const QByteArray native = QFile::encodeName(path);
        const bool stream = !native.isEmpty() && ::stat(native.constData(), &info) == 0 &&
                            (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode));
        if (!stream) {
            const Files::Result result = Files::append(path, bytes);
            return result ? Result{bytes.size(), QString()} : Result{0, result.error};
        }
        if (Result opened = openStream(path); !opened.error.isEmpty())
            return opened;
    }
    return writeStream(bytes);
}

bool LogTarget::holdsOpen(const QString &path) const
{
    // The same path may since name another file (the FIFO deleted, a file made in its
    // place): what is held counts only while the path still leads to it.
    if (m_fd < 0 || path != m_path)
        return false;
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_dev == m_device &&
           info.st_ino == m_inode;
}

LogTarget::Result LogTarget::openStream(const QString &path)
{
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(),
                    O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A FIFO without a reader refuses a writer that will not wait.
        const QString reason =
            errno == ENXIO ? QStringLiteral("no program is reading it") : qt_error_string(errno);
        return Result{0, failure(path, reason)};
    }
    struct stat info {
    };
    ::fstat(fd, &info);
    m_fd = fd;
    m_path = path;
    m_device = info.st_dev;
    m_inode = info.st_ino;
    return {};
}

LogTarget::Result LogTarget::writeStream(const QByteArray &bytes)
{
    Result result;
    while (result.written < bytes.size()) {
        const ssize_t n = writeWithoutSigpipe(m_fd, bytes.constData() + result.written,
                                              static_cast<size_t>(bytes.size() - result.written));
        if (n > 0) {
            result.written += n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break; // full: the reader takes the rest later
        const QString reason = n < 0 && errno == EPIPE
                                   ? QStringLiteral("the program reading it has gone")
                                   : qt_error_string(n < 0 ? errno : EIO);
        result.error = failure(m_path, reason);
        close();
        break;
    }
    return result;
}
