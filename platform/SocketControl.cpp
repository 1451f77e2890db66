#include "platform/SocketControl.h"

#include "platform/SocketDrain.h"
#include "platform/TlsSession.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QScopedValueRollback>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr int kListenBacklog = 4;
constexpr int kHighestPort = 65535;

QString errnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

sockaddr_in toSockaddr(const QHostAddress &address, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(static_cast<quint16>(port));
    result.sin_addr.s_addr = htonl(address.toIPv4Address());
    return result;
}

bool parseIPv4(const QString &text, QHostAddress *address)
{
    QHostAddress parsed;
    if (!parsed.setAddress(text.trimmed()) || parsed.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    *address = parsed;
    return true;
}

QHostAddress firstIPv4(const QHostInfo &info)
{
    if (info.error() != QHostInfo::NoError)
        return {};
    const QList<QHostAddress> addresses = info.addresses();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return {};
}

bool wouldBlock(int code)
{
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
}

QStringList localIPv4Addresses()
{
    QStringList result;
    const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            result.append(address.toString());
    }
    return result;
}

} // namespace

SocketControl::SocketControl(QObject *parent) : QObject(parent) {}

SocketControl::~SocketControl()
{
    closeDescriptor();
}

void SocketControl::setRemoteHostName(const QString &name)
{
    m_remoteHostName = name;
    const QString trimmed = name.trimmed();
    QHostAddress literal;
    if (parseIPv4(trimmed, &literal)) {
        if (m_autoResolve)
            m_remoteHostAddress = literal.toString();
        return;
    }
    // A name given anew may point elsewhere now; the next use asks again.
    m_resolved.remove(trimmed);
    if (m_autoResolve && !trimmed.isEmpty())
        startLookup(trimmed);
}

void SocketControl::setRemoteHostAddress(const QString &address)
{
    m_remoteHostAddress = address;
    QHostAddress parsed;
    if (!m_autoResolve || !parseIPv4(address, &parsed))
        return;
    QHostInfo::lookupHost(parsed.toString(), this, [this, address](const QHostInfo &info) {
        onReverseLookupDone(address, info);
    });
}

bool SocketControl::IsWritable() const
{
    const qsizetype waiting = pendingWriteBytes() + (m_tls ? m_tls->pendingPlainBytes() : 0);
    return m_state == State::Connected && !m_peerClosed && !m_writeFailed &&
           waiting < kWriteQueueBound;
}

bool SocketControl::isSecured() const
{
    return m_tls && m_tls->isEstablished();
}

QString SocketControl::securityDescription() const
{
    return m_tls ? m_tls->description() : QString();
}

QString SocketControl::LocalAddress() const
{
    if (!m_bindAddress.isNull() && m_bindAddress != QHostAddress(QHostAddress::AnyIPv4))
        return m_bindAddress.toString();
    if (m_fd < 0 || m_state != State::Connected)
        return {};
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&local), &length) < 0)
        return {};
    return QHostAddress(ntohl(local.sin_addr.s_addr)).toString();
}

int SocketControl::LocalAddressCount() const
{
    return static_cast<int>(localIPv4Addresses().size());
}

QString SocketControl::LocalAddressAt(int index) const
{
    return localIPv4Addresses().value(index);
}

QString SocketControl::cachedAddress(const QString &name) const
{
    const auto found = m_resolved.constFind(name.trimmed());
    return found == m_resolved.constEnd() ? QString() : found->toString();
}

void SocketControl::resolveRemoteHostName()
{
    const QString name = m_remoteHostName.trimmed();
    QHostAddress literal;
    if (!name.isEmpty() && !parseIPv4(name, &literal) && !m_resolved.contains(name))
        startLookup(name);
}

bool SocketControl::Connect()
{
    Abort();
    if (m_remotePort <= 0 || m_remotePort > kHighestPort)
        return fail(EINVAL, QStringLiteral("Port %1 is not a valid port").arg(m_remotePort));
    if (m_drains > 0) {
        // The link's two address pairs stay taken until the drain has reset its
        // connection; the call goes out then, as after a name lookup.
        m_callAfterDrain = true;
        beginEndpoint();
        setState(State::Calling);
        return true;
    }
    return placeCall();
}

bool SocketControl::placeCall()
{
    const QString addressText = m_remoteHostAddress.trimmed();
    QHostAddress address;
    if (!addressText.isEmpty()) {
        if (!parseIPv4(addressText, &address))
            return fail(EINVAL, QStringLiteral("%1 is not a valid IPv4 address").arg(addressText));
        return startConnect(address);
    }

    const QString name = m_remoteHostName.trimmed();
    if (name.isEmpty())
        return fail(EDESTADDRREQ, QStringLiteral("No remote host given"));
    if (parseIPv4(name, &address))
        return startConnect(address);
    const auto cached = m_resolved.constFind(name);
    if (cached != m_resolved.constEnd())
        return startConnect(*cached);

    // Calling without a socket yet: the lookup's answer places the call.
    m_callingName = name;
    beginEndpoint();
    setState(State::Calling);
    startLookup(name);
    return true;
}

bool SocketControl::Listen()
{
    Abort();
    const int fd = openBoundSocket();
    if (fd < 0)
        return false;
    if (::listen(fd, kListenBacklog) < 0) {
        const int code = errno;
        ::close(fd);
        return failErrno(code);
    }
    adoptDescriptor(fd, State::Listening);
    return true;
}

bool SocketControl::AcceptPending()
{
    if (m_state != State::Listening)
        return fail(EINVAL, QStringLiteral("No call is waiting"));
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        // The caller gave up before we took the call: keep listening for the next one.
        m_readNotifier->setEnabled(true);
        if (wouldBlock(code))
            return fail(code, QStringLiteral("No call is waiting"));
        return failErrno(code);
    }
    closeDescriptor();
    applyConnectionOptions(fd);
    adoptDescriptor(fd, State::Connected);
    rememberPeer(fd);
    beginTls(false);
    return true;
}

void SocketControl::Close()
{
    if (m_state == State::Connected)
        drainConnection();
    closeDescriptor();
}

void SocketControl::Abort()
{
    closeDescriptor();
}

void SocketControl::Disconnect()
{
    if (m_state == State::Connected)
        drainConnection();
    if (m_state == State::Connected || m_state == State::Calling)
        closeDescriptor();
}

void SocketControl::drainConnection()
{
    // What was written goes out encrypted, then the end of the secure stream.
    if (m_tls && m_tls->isEstablished()) {
        m_tls->close();
        passTlsOutput();
    }
    // A connection that has failed, or whose peer has gone, has nobody left to take bytes.
    if (m_fd < 0 || m_peerClosed || m_writeFailed || !flushWriteQueue())
        return;
    auto *drain = new SocketDrain(m_fd, m_writeQueue.mid(m_writeOffset), this);
    ++m_drains;
    connect(drain, &SocketDrain::finished, this, [this, drain] {
        drain->deleteLater();
        if (--m_drains > 0)
            return;
        if (m_callAfterDrain && m_state == State::Calling && m_fd < 0) {
            m_callAfterDrain = false;
            const quint64 endpoint = m_endpoint;
            if (!placeCall() && endpoint == m_endpoint)
                setState(State::Idle);
        }
        Q_EMIT drained();
    });
    m_fd = -1;
    closeDescriptor();
}

bool SocketControl::Bind(const QString &address, int port)
{
    if (port < 0 || port > kHighestPort)
        return fail(EINVAL, QStringLiteral("Port %1 is not a valid port").arg(port));
    const QString text = address.trimmed();
    QHostAddress parsed(QHostAddress::AnyIPv4);
    if (!text.isEmpty() && !parseIPv4(text, &parsed))
        return fail(EINVAL, QStringLiteral("%1 is not a valid IPv4 address").arg(text));

    // Binding a throw-away socket to the address now reports an address that is not
    // this machine's here, rather than at every later call.
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return failErrno(errno);
    const sockaddr_in local = toSockaddr(parsed, 0);
    const int rc = ::bind(probe, reinterpret_cast<const sockaddr *>(&local), sizeof local);
    const int code = errno;
    ::close(probe);
    if (rc < 0)
        return failErrno(code);

    m_bindAddress = parsed;
    m_localPort = port;
    return true;
}

QByteArray SocketControl::Read(int maxBytes)
{
    const qsizetype count = qMin<qsizetype>(qMax(maxBytes, 0), pendingReadBytes());
    QByteArray result = m_readBuffer.mid(m_readOffset, count);
    m_readOffset += count;
    if (m_readOffset == m_readBuffer.size()) {
        m_readBuffer.resize(0);
        m_readOffset = 0;
    }

    if (pendingReadBytes() > 0) {
        if (!m_raisingReadEvents)
            scheduleReadEvent();
    } else if (m_peerClosed && m_state == State::Connected) {
        // Everything the peer sent before it left has been handed out.
        closeDescriptor();
        return result;
    }
    if (m_readNotifier && m_state == State::Connected && !m_peerClosed &&
        pendingReadBytes() < m_readBufferBound)
        m_readNotifier->setEnabled(true);
    return result;
}

bool SocketControl::Write(const QByteArray &bytes)
{
    if (m_state != State::Connected)
        return fail(ENOTCONN, errnoText(ENOTCONN));
    if (m_peerClosed || m_writeFailed)
        return fail(EPIPE, errnoText(EPIPE));
    if (bytes.isEmpty())
        return true;
    const qsizetype waiting = pendingWriteBytes() + (m_tls ? m_tls->pendingPlainBytes() : 0);
    if (waiting + bytes.size() > kWriteQueueHardLimit)
        return fail(ENOBUFS, errnoText(ENOBUFS));
    if (!m_tls)
        return writeRaw(bytes);
    if (!m_tls->send(bytes)) {
        tlsFailed();
        return false;
    }
    return passTlsOutput();
}

bool SocketControl::writeRaw(const QByteArray &bytes)
{
    qsizetype sent = 0;
    if (pendingWriteBytes() == 0) {
        const ssize_t n = ::send(m_fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            const int code = errno;
            if (!wouldBlock(code)) {
                writeSideFailed(code);
                return false;
            }
        } else {
            sent = n;
        }
    }
    if (sent < bytes.size()) {
        if (m_writeOffset > m_writeQueue.size() / 2) {
            m_writeQueue.remove(0, m_writeOffset);
            m_writeOffset = 0;
        }
        m_writeQueue.append(bytes.constData() + sent, bytes.size() - sent);
        m_writeNotifier->setEnabled(true);
        if (pendingWriteBytes() >= kWriteQueueBound)
            m_writeBlocked = true;
    }
    return true;
}

void SocketControl::Cleanup()
{
    closeDescriptor();
    m_resolved.clear();
}

bool SocketControl::fail(int code, const QString &text)
{
    m_lastError = text;
    const quint64 endpoint = m_endpoint;
    QMetaObject::invokeMethod(
        this,
        [this, code, text, endpoint] {
            if (endpoint == m_endpoint)
                Q_EMIT OnError(code, text);
        },
        Qt::QueuedConnection);
    return false;
}

bool SocketControl::failErrno(int code)
{
    return fail(code, errnoText(code));
}

int SocketControl::openBoundSocket()
{
    if (m_localPort < 0 || m_localPort > kHighestPort) {
        fail(EINVAL, QStringLiteral("Port %1 is not a valid port").arg(m_localPort));
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failErrno(errno);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in local = toSockaddr(m_bindAddress, m_localPort);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) < 0) {
        const int code = errno;
        ::close(fd);
        failErrno(code);
        return -1;
    }
    return fd;
}

void SocketControl::applyConnectionOptions(int fd)
{
    const int noDelay = m_noDelay ? 1 : 0;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
}

void SocketControl::beginEndpoint()
{
    ++m_endpoint;
}

void SocketControl::adoptDescriptor(int fd, State state)
{
    beginEndpoint();
    m_fd = fd;
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { onReadable(); });
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { onWritableFd(); });
    m_readNotifier->setEnabled(state != State::Calling);
    m_writeNotifier->setEnabled(state == State::Calling);
    setState(state);
}

void SocketControl::dropNotifiers()
{
    // The notifiers may be the very senders whose signal is running now.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = nullptr;
    m_writeNotifier = nullptr;
}

void SocketControl::closeDescriptor()
{
    dropNotifiers();
    if (m_fd >= 0) {
        // Reset rather than FIN: the next call between the same two address pairs must
        // not meet a TIME_WAIT.
        const linger abortive{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(m_fd);
        m_fd = -1;
    }
    ++m_generation;
    m_writeQueue.clear();
    m_writeOffset = 0;
    m_writeBlocked = false;
    m_writeFailed = false;
    m_readBuffer.clear();
    m_readOffset = 0;
    m_peerClosed = false;
    m_readEventQueued = false;
    m_peerAddress.clear();
    m_peerPort = 0;
    m_callingName.clear();
    m_callAfterDrain = false;
    m_tls.reset();
    setState(State::Idle);
}

void SocketControl::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void SocketControl::onReadable()
{
    if (m_state == State::Listening) {
        // The call waits in the backlog until AcceptPending; until then the listener
        // would report it again and again.
        m_readNotifier->setEnabled(false);
        Q_EMIT OnAccept();
        return;
    }
    if (m_state != State::Connected)
        return;

    if (m_readOffset > 0) {
        m_readBuffer.remove(0, m_readOffset);
        m_readOffset = 0;
    }
    const qsizetype held = m_readBuffer.size();
    const qsizetype room = m_readBufferBound - held;
    if (room <= 0) {
        m_readNotifier->setEnabled(false);
        return;
    }
    ssize_t n = 0;
    int code = 0;
    if (m_tls) {
        QByteArray raw(room, Qt::Uninitialized);
        n = ::recv(m_fd, raw.data(), room, 0);
        code = errno;
        if (n > 0) {
            raw.resize(n);
            receiveTls(raw);
            if (m_state != State::Connected || m_peerClosed || pendingReadBytes() == 0)
                return;
        }
    } else {
        m_readBuffer.resize(held + room);
        n = ::recv(m_fd, m_readBuffer.data() + held, room, 0);
        code = errno;
        m_readBuffer.resize(held + qMax<ssize_t>(n, 0));
    }

    if (n > 0) {
        // Stop reading only if the handler left the buffer full: turning the notifier off
        // and on costs the event loop a wake-up each time.
        const quint64 generation = m_generation;
        raiseReadEvents();
        if (generation == m_generation && m_state == State::Connected && !m_peerClosed &&
            pendingReadBytes() >= m_readBufferBound)
            m_readNotifier->setEnabled(false);
        return;
    }
    if (n < 0 && wouldBlock(code))
        return;
    readSideClosed(n == 0 ? 0 : code);
}

void SocketControl::readSideClosed(int code)
{
    if (code != 0 && !m_writeFailed)
        failErrno(code);
    m_peerClosed = true;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    if (pendingReadBytes() > 0)
        scheduleReadEvent();
    else
        closeDescriptor();
}

void SocketControl::writeSideFailed(int code)
{
    // The read side goes on until it sees the end too, so that what the peer sent
    // before it went is still delivered.
    failErrno(code);
    m_writeFailed = true;
    m_writeQueue.clear();
    m_writeOffset = 0;
    m_writeBlocked = false;
    m_writeNotifier->setEnabled(false);
}

void SocketControl::onWritableFd()
{
    if (m_state == State::Calling) {
        onConnectFinished();
        return;
    }
    if (m_state != State::Connected)
        return;
    const bool wasBlocked = m_writeBlocked;
    if (flushWriteQueue() && wasBlocked && !m_writeBlocked)
        Q_EMIT writable();
}

void SocketControl::onConnectFinished()
{
    int code = 0;
    socklen_t length = sizeof code;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &code, &length) < 0)
        code = errno;
    if (code == EINPROGRESS || code == EALREADY)
        return;
    if (code != 0) {
        closeDescriptor();
        failErrno(code);
        return;
    }
    m_writeNotifier->setEnabled(false);
    m_readNotifier->setEnabled(true);
    setState(State::Connected);
    rememberPeer(m_fd);
    beginTls(true);
    if (m_state == State::Connected) // unless the secure link failed at its start
        Q_EMIT OnConnect();
}

void SocketControl::onLookupDone(const QString &name, const QHostInfo &info)
{
    m_lookupsInFlight.removeAll(name);
    const QHostAddress address = firstIPv4(info);
    if (!address.isNull())
        m_resolved.insert(name, address);
    const bool current = name == m_remoteHostName.trimmed();
    if (m_autoResolve && current && !address.isNull())
        m_remoteHostAddress = address.toString();

    const QString text = info.error() != QHostInfo::NoError && !info.errorString().isEmpty()
                             ? info.errorString()
                             : QStringLiteral("Host %1 has no IPv4 address").arg(name);
    if (m_state == State::Calling && m_fd < 0 && m_callingName == name) {
        m_callingName.clear();
        if (address.isNull()) {
            setState(State::Idle);
            fail(kErrorHostNotFound, text);
        } else {
            startConnect(address);
        }
    } else if (m_autoResolve && current && address.isNull()) {
        fail(kErrorHostNotFound, text);
    }
}

void SocketControl::onReverseLookupDone(const QString &address, const QHostInfo &info)
{
    if (info.error() != QHostInfo::NoError || address != m_remoteHostAddress)
        return;
    const QString name = info.hostName();
    QHostAddress asAddress;
    if (!name.isEmpty() && !parseIPv4(name, &asAddress))
        m_remoteHostName = name;
}

void SocketControl::startLookup(const QString &name)
{
    if (m_lookupsInFlight.contains(name))
        return;
    m_lookupsInFlight.append(name);
    QHostInfo::lookupHost(name, this,
                          [this, name](const QHostInfo &info) { onLookupDone(name, info); });
}

bool SocketControl::startConnect(const QHostAddress &address)
{
    const int fd = openBoundSocket();
    if (fd < 0)
        return false;
    applyConnectionOptions(fd);
    const sockaddr_in remote = toSockaddr(address, m_remotePort);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&remote), sizeof remote) == 0) {
        adoptDescriptor(fd, State::Connected);
        rememberPeer(fd);
        beginTls(true);
        const quint64 generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == m_generation && m_state == State::Connected)
                    Q_EMIT OnConnect();
            },
            Qt::QueuedConnection);
        return true;
    }
    const int code = errno;
    if (code == EINPROGRESS) {
        adoptDescriptor(fd, State::Calling);
        return true;
    }
    ::close(fd);
    return failErrno(code);
}

bool SocketControl::flushWriteQueue()
{
    while (pendingWriteBytes() > 0) {
        const ssize_t n = ::send(m_fd, m_writeQueue.constData() + m_writeOffset,
                                 pendingWriteBytes(), MSG_NOSIGNAL);
        if (n >= 0) {
            m_writeOffset += n;
            continue;
        }
        const int code = errno;
        if (code == EINTR)
            continue;
        if (wouldBlock(code))
            break;
        writeSideFailed(code);
        return false;
    }
    if (pendingWriteBytes() == 0) {
        m_writeQueue.resize(0);
        m_writeOffset = 0;
        if (m_writeNotifier)
            m_writeNotifier->setEnabled(false);
    }
    if (m_writeBlocked && pendingWriteBytes() < kWriteQueueBound)
        m_writeBlocked = false;
    return true;
}

void SocketControl::scheduleReadEvent()
{
    if (m_readEventQueued)
        return;
    m_readEventQueued = true;
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != m_generation)
                return;
            m_readEventQueued = false;
            raiseReadEvents();
        },
        Qt::QueuedConnection);
}

void SocketControl::raiseReadEvents()
{
    // A reader takes a little per event. Raising the next event at once, while it takes
    // something, spares an event-loop pass (and a poll of every descriptor) per portion;
    // the bound lets other events in between. A reader that takes nothing is not pressed:
    // it reads again when it is ready or when more bytes arrive.
    const quint64 generation = m_generation;
    int events = 0;
    qsizetype before = 0;
    {
        const QScopedValueRollback<bool> raising(m_raisingReadEvents, true);
        do {
            before = pendingReadBytes();
            Q_EMIT OnRead();
            if (generation != m_generation)
                return;
        } while (pendingReadBytes() > 0 && pendingReadBytes() < before &&
                 ++events < kReadEventsPerPass);
    }
    if (pendingReadBytes() > 0 && pendingReadBytes() < before)
        scheduleReadEvent();
}

void SocketControl::rememberPeer(int fd)
{
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) < 0)
        return;
    m_peerAddress = QHostAddress(ntohl(peer.sin_addr.s_addr)).toString();
    m_peerPort = ntohs(peer.sin_port);
}

void SocketControl::beginTls(bool asClient)
{
    m_tls.reset();
    if (m_preSharedKey.isEmpty())
        return;
    m_tls = std::make_unique<TlsSession>(
        asClient ? TlsSession::Role::Client : TlsSession::Role::Server, m_preSharedKey);
    if (!m_tls->hasFailed() && (!asClient || m_tls->start()))
        passTlsOutput();
    else
        tlsFailed();
}

bool SocketControl::passTlsOutput()
{
    const QByteArray raw = m_tls->takeRaw();
    return raw.isEmpty() || writeRaw(raw);
}

void SocketControl::receiveTls(const QByteArray &raw)
{
    const bool wasSecured = m_tls->isEstablished();
    if (!m_tls->receive(raw)) {
        tlsFailed();
        return;
    }
    m_readBuffer += m_tls->takePlain();
    if (!passTlsOutput())
        return;
    if (!wasSecured && m_tls->isEstablished()) {
        const quint64 generation = m_generation;
        Q_EMIT secured(m_tls->description());
        if (generation != m_generation)
            return;
        // Writers held back by bytes waiting for the handshake may go on.
        if (!m_writeBlocked)
            Q_EMIT writable();
        if (generation != m_generation)
            return;
    }
    if (m_tls->peerClosed())
        readSideClosed(0);
}

void SocketControl::tlsFailed()
{
    // The library's alert goes out first, so the peer learns why.
    const QString text = QStringLiteral("Secure link failed: ") + m_tls->error();
    passTlsOutput();
    fail(EPROTO, text);
    if (m_state == State::Connected)
        drainConnection();
    closeDescriptor();
}
