#include "support/Pty.h"

#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace
{

constexpr int kPollMs = 2;
constexpr int kReadChunk = 4096;

bool makeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) < 0)
        return false;
    ::cfmakeraw(&settings);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

} // namespace

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // A program the test starts must not hold the other end of a device open: closing
    // the master would then not hang the device up.
    if (::fcntl(m_master, F_SETFD, FD_CLOEXEC) < 0 || ::fcntl(m_slave, F_SETFD, FD_CLOEXEC) < 0 ||
        !makeRaw(m_slave) || !makeRaw(m_master) ||
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        closeMaster();
    }
}

Pty::~Pty()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

qint64 Pty::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return -1;
    const ssize_t n = ::write(m_master, bytes.constData(), bytes.size());
    if (n < 0)
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    return n;
}

bool Pty::writeAll(const QByteArray &bytes, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 n = write(bytes.mid(done));
        if (n < 0)
            return false;
        done += n;
        if (done < bytes.size()) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(kPollMs);
        }
    }
    return true;
}

QByteArray Pty::read()
{
    QByteArray result;
    if (m_master < 0)
        return result;
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        result.append(chunk, n);
    }
    return result;
}

QByteArray Pty::readUntil(qsizetype count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QByteArray result = read();
    while (result.size() < count && !deadline.hasExpired()) {
        QTest::qWait(kPollMs);
        result += read();
    }
    return result;
}

int Pty::slaveInputQueued() const
{
    int count = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &count) < 0)
        return -1;
    return count;
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
