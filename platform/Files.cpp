#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Files
{

namespace
{

constexpr mode_t kNewFileMode = 0644;

Result failure(const QString &what, const QString &path, const QString &reason)
{
    return Result{false,
                  QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(path), reason)};
}

Result failureFromErrno(const QString &what, const QString &path, int error)
{
    return failure(what, path, qt_error_string(error));
}

} // namespace

Result append(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return failure(QStringLiteral("Cannot append to"), path, QStringLiteral("empty path"));

    // O_NONBLOCK keeps a FIFO without a reader from stalling the station; it is refused
    // below anyway, since only a regular file can be cut back after a failed write
    // (LogTarget writes FIFOs and devices).
    int fd = -1;
    do {
        fd =
            ::open(native.constData(),
                   O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kNewFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return failureFromErrno(QStringLiteral("Cannot open for appending"), path, errno);

    // Another program may append too; what matters is that our own bytes land once, so the
    // length we cut back to is the one seen just before our write.
    struct stat before {
    };
    if (::fstat(fd, &before) != 0) {
        const int error = errno;
        ::close(fd);
        return failureFromErrno(QStringLiteral("Cannot examine"), path, error);
    }
    if (!S_ISREG(before.st_mode)) {
        ::close(fd);
        return failure(QStringLiteral("Cannot append to"), path,
                       QStringLiteral("not a regular file"));
    }

    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    int writeError = 0;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            writeError = errno;
            break;
        }
        if (written == 0) {
            writeError = EIO;
            break;
        }
        data += written;
        left -= written;
    }

    if (writeError != 0) {
        // A half-written chunk would be written again by the retry on the next tick; cutting
        // back keeps every byte in the file exactly once.
        if (::ftruncate(fd, before.st_size) != 0) {
            const int truncateError = errno;
            ::close(fd);
            return failure(QStringLiteral("Cannot write to"), path,
                           QStringLiteral("%1 (and cutting back the partial write failed: %2)")
                               .arg(qt_error_string(writeError), qt_error_string(truncateError)));
        }
        ::close(fd);
        return failureFromErrno(QStringLiteral("Cannot write to"), path, writeError);
    }

    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (::close(fd) != 0) {
        // Some file systems report a failed write only on close (NFS, full quota).
        return failureFromErrno(QStringLiteral("Cannot close"), path, errno);
    }
    return {};
}

Result replaceAtomically(const QString &path, const QByteArray &bytes, Access access)
{
    const QFileInfo info(path);
    if (path.isEmpty())
        return failure(QStringLiteral("Cannot write"), path, QStringLiteral("empty path"));
    if (info.isDir())
        return failure(QStringLiteral("Cannot write"), path, QStringLiteral("is a folder"));

    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder))
        return failure(QStringLiteral("Cannot create the folder"), folder,
                       QStringLiteral("a file is in the way or access is denied"));

    QSaveFile file(path);
    // Unbuffered, so a write the disk cuts short is seen here and the old file stays.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(QStringLiteral("Cannot write"), path, file.errorString());
    if (access == Access::OwnerOnly && ::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return failure(QStringLiteral("Cannot protect"), path, reason);
    }
    if (file.write(bytes) != bytes.size() || file.size() != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failure(QStringLiteral("Cannot write"), path, reason);
    }
    if (!file.commit())
        return failure(QStringLiteral("Cannot write"), path, file.errorString());
    return {};
}

Result rewriteInPlace(const QString &path, const QByteArray &bytes)
{
    QByteArray old;
    if (Result readOld = read(path, &old); !readOld)
        return readOld;
    QFile file(path);
    // Unbuffered and without truncating, so a failed write is seen here and the old
    // content is still there to be put back.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return failure(QStringLiteral("Cannot write"), path, file.errorString());
    if (file.write(bytes) == bytes.size() && file.resize(bytes.size()) && file.flush())
        return {};
    const QString reason = file.errorString();
    file.seek(0);
    if (file.write(old) == old.size())
        file.resize(old.size());
    return failure(QStringLiteral("Cannot write"), path, reason);
}

Result read(const QString &path, QByteArray *bytes, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("Cannot open"), path, file.errorString());
    if (file.size() > maxBytes)
        return failure(QStringLiteral("Cannot read"), path,
                       QStringLiteral("the file is larger than %1 bytes").arg(maxBytes));
    // read() rather than readAll(): the size may grow between the check and the read.
    QByteArray content = file.read(maxBytes + 1);
    if (content.size() > maxBytes)
        return failure(QStringLiteral("Cannot read"), path,
                       QStringLiteral("the file is larger than %1 bytes").arg(maxBytes));
    if (file.error() != QFileDevice::NoError)
        return failure(QStringLiteral("Cannot read"), path, file.errorString());
    if (bytes)
        *bytes = std::move(content);
    return {};
}

bool remove(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return false;
    // A FIFO or device named as a log belongs to whoever made it; only files are ours.
    struct stat info {
    };
    if (::stat(native.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return false;
    return ::unlink(native.constData()) == 0;
}

bool exists(const QString &path)
{
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace Files
