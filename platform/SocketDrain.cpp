#include "platform/SocketDrain.h"

#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
constexpr int kScratchBytes = 16 * 1024;

void resetAndClose(int fd)
{
    const linger abortive{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(fd);
}
} // namespace

SocketDrain::SocketDrain(int fd, const QByteArray &unsent, QObject *parent)
    : QObject(parent), m_fd(fd), m_unsent(unsent)
{
    m_age.start();
    m_sinceProgress.start();
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &SocketDrain::poll);
    m_timer.start();
}

SocketDrain::~SocketDrain()
{
    if (m_fd >= 0)
        resetAndClose(m_fd);
}

void SocketDrain::poll()
{
    if (m_fd < 0)
        return;
    if (!writeUnsent() || !peerStillThere()) {
        finish();
        return;
    }
    if (m_unsent.isEmpty() && !m_sendingShut) {
        ::shutdown(m_fd, SHUT_WR);
        m_sendingShut = true;
    }
    int queued = 0;
    if (::ioctl(m_fd, SIOCOUTQ, &queued) < 0) {
        finish();
        return;
    }
    if (m_sendingShut && queued == 0) {
        finish();
        return;
    }
    const qint64 remaining = m_unsent.size() + queued;
    if (m_leastRemaining < 0 || remaining < m_leastRemaining) {
        m_leastRemaining = remaining;
        m_sinceProgress.restart();
    }
    if (m_sinceProgress.hasExpired(kStallMs) || m_age.hasExpired(kLimitMs))
        finish();
}

bool SocketDrain::writeUnsent()
{
    while (!m_unsent.isEmpty()) {
        const ssize_t n = ::send(m_fd, m_unsent.constData(), m_unsent.size(), MSG_NOSIGNAL);
        if (n > 0) {
            m_unsent.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

bool SocketDrain::peerStillThere()
{
    char scratch[kScratchBytes];
    for (;;) {
        const ssize_t n = ::recv(m_fd, scratch, sizeof scratch, 0);
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        // The end of the peer's stream says nothing of ours: a peer that only shut its
        // sending side still reads, and one that has gone answers the next bytes with a
        // reset, which is the error seen here.
        return n == 0 || errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

void SocketDrain::finish()
{
    m_timer.stop();
    resetAndClose(m_fd);
    m_fd = -1;
    Q_EMIT finished();
}
