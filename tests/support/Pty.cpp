#include "support/Pty.h"

#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

Pty::Pty()
{
    const auto makeRaw = [](int fd) {
        termios settings{};
        return ::tcgetattr(fd, &settings) == 0 && (::cfmakeraw(&settings), true) &&
               ::tcsetattr(fd, TCSANOW, &settings) == 0;
    };
    char name[256] = {};
    // A program the test starts must not inherit the master: closing it would not unplug.
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) < 0 ||
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC) < 0 || ::fcntl(m_slave, F_SETFD, FD_CLOEXEC) < 0 ||
        !makeRaw(m_master) || !makeRaw(m_slave) ||
        ::fcntl(m_master, F_SETFL, O_RDWR | O_NONBLOCK) < 0) {
        m_error = qt_error_string(errno);
        closeMaster();
    }
    m_slavePath = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

qint64 Pty::write(const QByteArray &bytes)
{
    const ssize_t n = m_master < 0 ? -1 : ::write(m_master, bytes.constData(), bytes.size());
    return n >= 0 ? n : (m_master >= 0 && (errno == EAGAIN || errno == EINTR) ? 0 : -1);
}

bool Pty::writeAll(const QByteArray &bytes, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (qsizetype done = 0;; QTest::qWait(2)) {
        const qint64 n = write(bytes.mid(done));
        if (n < 0 || (done += n) == bytes.size() || deadline.hasExpired())
            return done == bytes.size();
    }
}

QByteArray Pty::read()
{
    QByteArray result;
    char chunk[4096];
    for (ssize_t n; m_master >= 0 && (n = ::read(m_master, chunk, sizeof chunk)) > 0;)
        result.append(chunk, n);
    return result;
}

QByteArray Pty::readUntil(qsizetype count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray result = read();
    for (; result.size() < count && !deadline.hasExpired(); result += read())
        QTest::qWait(2);
    return result;
}

void Pty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
