#pragma once
// Where one traffic log goes, appended to on every flush.
//
// A regular file (or a path that does not exist yet) is opened for each append and closed
// again, all or nothing (Files::append), so other programs may rename, read and delete it
// between appends. A FIFO or a character device hands the traffic to another program as it
// flows: it is opened without blocking and kept open while its reader stays, since closing
// it would show the reader the end of the stream. Such a target takes what fits now; the
// rest waits for the next append. Nothing here ever blocks on a reader.
#include <QByteArray>
#include <QString>

#include <sys/types.h>

class LogTarget final
{
public:
    struct Result {
        // How many of the bytes, from the front, the target took.
        qsizetype written = 0;
        // Empty unless the append failed; bytes not taken for want of room are no failure.
        QString error;
    };

    LogTarget() = default;
    ~LogTarget();
    LogTarget(const LogTarget &) = delete;
    LogTarget &operator=(const LogTarget &) = delete;

    Result append(const QString &path, const QByteArray &bytes);
    // Lets go of a FIFO or device held open.
    void close();

private:
    bool holdsOpen(const QString &path) const;
    Result openStream(const QString &path);
    Result writeStream(const QByteArray &bytes);

    int m_fd = -1;
    QString m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};
