#pragma once
// One TCP endpoint, driven by the Qt event loop over non-blocking BSD sockets.
//
// Principles of operation
// - The object is idle, listening, calling or connected; AcceptPending turns a listening
//   object into the connection and closes the listener.
// - Calls leave from the bound local port and listening uses the same port, with address
//   reuse, so the port is usable again at once after Close or Abort. Every close ends in a
//   reset (linger 0): no TIME_WAIT is left between the two fixed address pairs of a link.
// - Abort resets at once. Close and Disconnect of a connection hand it to a SocketDrain,
//   which lets the peer take what was written first and resets after; the object is idle
//   at once, and drained() says when the last drain has ended.
// - OnError carries the endpoint it belongs to: an error still on its way when a new call,
//   listener or connection begins is dropped, so it cannot stand for the new one.
// - Nothing blocks: connect, name lookup (cached), read and write are all asynchronous.
//   What the kernel does not take at once is queued in order; IsWritable is false while
//   that queue is at its bound. Write refuses (returns false, takes nothing) only when a
//   write would carry the queue past kWriteQueueHardLimit.
// - Received bytes wait in a bounded buffer; while it is full the socket is not read, so the
//   kernel's window holds the sender back. After the peer closes, the bytes it sent before
//   are still handed out by Read; the object turns idle when they are gone. OnRead is
//   raised again at once while bytes remain and the handler took some, up to
//   kReadEventsPerPass times; past that, or after a Read outside the handler, from the
//   event loop. A handler that reads nothing gets no new event until more bytes arrive or
//   it reads again.
// - Events (OnAccept, OnConnect, OnError, OnRead) are delivered from the event loop,
//   never from inside the call that caused them.
// - With a pre-shared key set, every connection speaks TLS (TlsSession): the caller as
//   client, the acceptor as server. Read and Write carry the plain bytes; none goes out
//   before the handshake is done, and none comes in that the peer did not encrypt with the
//   same key. secured() tells the handshake is done; a failed handshake is an OnError
//   ("Secure link failed: " and the reason) and ends the connection. The TLS records sit
//   between the socket and the read buffer and write queue, so the bounds stay as they are
//   (the read buffer may pass its bound by one record), and Close sends what was written,
//   then the close notification, before the drain.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QHostInfo;
class QSocketNotifier;
class TlsSession;

class SocketControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketControl)

public:
    enum class State { Idle, Listening, Calling, Connected };
    static constexpr int kWriteQueueBound = 1024 * 1024;
    static constexpr int kWriteQueueHardLimit = 2 * kWriteQueueBound;
    static constexpr int kLeastBufferSize = 1024;
    // OnRead events raised back to back while the reader keeps taking bytes.
    static constexpr int kReadEventsPerPass = 64;
    // OnError codes are errno values, except for a failed name lookup.
    static constexpr int kErrorHostNotFound = -1;

    explicit SocketControl(QObject *parent = nullptr);
    ~SocketControl() override;

    QString RemoteHostName() const { return m_remoteHostName; }
    // With AutoResolve on, setting a name (even to its own value) starts a lookup that
    // fills in RemoteHostAddress, and setting an address looks up the name.
    void setRemoteHostName(const QString &name);
    QString RemoteHostAddress() const { return m_remoteHostAddress; }
    void setRemoteHostAddress(const QString &address);
    int RemotePort() const { return m_remotePort; }
    void setRemotePort(int port) { m_remotePort = port; }
    int LocalPort() const { return m_localPort; }
    void setLocalPort(int port) { m_localPort = port; }
    bool AutoResolve() const { return m_autoResolve; }
    void setAutoResolve(bool on) { m_autoResolve = on; }

    State state() const { return m_state; }
    bool IsConnected() const { return m_state == State::Connected; }
    bool IsWritable() const;
    QString PeerAddress() const { return m_peerAddress; }
    int PeerPort() const { return m_peerPort; }
    // The bound local address, or the one in use by the connection; empty when unbound.
    QString LocalAddress() const;
    int LocalAddressCount() const;
    QString LocalAddressAt(int index) const;

    // Each operation returns false on failure; lastError() then holds a readable text and
    // OnError is raised with it from the event loop.
    // Connect calls RemoteHostAddress when it is set, else RemoteHostName. A name that has
    // not been resolved yet is looked up once; the object stays calling meanwhile and the
    // call goes out when the answer comes, if it is still calling that name.
    bool Connect();
    bool Listen();
    bool AcceptPending();
    void Close();
    void Abort();
    // Ends a connection or a call in progress; a listener stays open.
    void Disconnect();
    // A connection ended by Close or Disconnect is still passing its last bytes to the peer.
    bool isDraining() const { return m_drains > 0; }
    // An empty address or "0.0.0.0" means every IPv4 address of the machine.
    bool Bind(const QString &address, int port);
    QByteArray Read(int maxBytes = 1024);
    bool Write(const QByteArray &bytes);
    void Cleanup();

    // Start-up options: TCP_NODELAY ("send without delay"), and the size of the buffer
    // that holds received bytes until Read takes them. The kernel's own buffers are left
    // to its automatic sizing: fixing them caps the window, and a send buffer that holds
    // one segment of loopback's 64 KiB waits out the peer's delayed acknowledgement (about
    // 40 ms) before every segment.
    void setNoDelay(bool on) { m_noDelay = on; }
    void setBufferSize(int bytes) { m_readBufferBound = qMax(bytes, kLeastBufferSize); }
    // The key of the secure link (TlsSession::deriveKey), for the connections that begin
    // from now on; empty for plain TCP.
    void setPreSharedKey(const QByteArray &key) { m_preSharedKey = key; }
    // The connection's handshake is done; its protocol and cipher.
    bool isSecured() const;
    QString securityDescription() const;

    QString lastError() const { return m_lastError; }
    qsizetype pendingWriteBytes() const { return m_writeQueue.size() - m_writeOffset; }
    qsizetype pendingReadBytes() const { return m_readBuffer.size() - m_readOffset; }
    // The address a name lookup gave, empty while the name is not resolved.
    QString cachedAddress(const QString &name) const;
    // Looks RemoteHostName up, unless it is an address or known already; cachedAddress
    // has the answer when it comes.
    void resolveRemoteHostName();

Q_SIGNALS:
    void OnAccept();
    void OnConnect();
    void OnError(int code, const QString &text);
    void OnRead();
    // The write queue fell below its bound again.
    void writable();
    // Idle, listening, calling or connected changed.
    void stateChanged();
    // The last connection handed to a drain has ended.
    void drained();
    // The secure link's handshake is done: its protocol and cipher.
    void secured(const QString &description);

private:
    bool fail(int code, const QString &text);
    bool failErrno(int code);
    int openBoundSocket();
    void applyConnectionOptions(int fd);
    void adoptDescriptor(int fd, State state);
    void closeDescriptor();
    void beginEndpoint();
    bool placeCall();
    void drainConnection();
    void dropNotifiers();
    void setState(State state);
    void onReadable();
    void onWritableFd();
    void onConnectFinished();
    void onLookupDone(const QString &name, const QHostInfo &info);
    void onReverseLookupDone(const QString &address, const QHostInfo &info);
    void startLookup(const QString &name);
    bool startConnect(const QHostAddress &address);
    bool flushWriteQueue();
    void readSideClosed(int code);
    void writeSideFailed(int code);
    void scheduleReadEvent();
    void raiseReadEvents();
    void rememberPeer(int fd);
    bool writeRaw(const QByteArray &bytes);
    void beginTls(bool asClient);
    bool passTlsOutput();
    void receiveTls(const QByteArray &raw);
    void tlsFailed();

    QString m_remoteHostName;
    QString m_remoteHostAddress;
    int m_remotePort = 0;
    int m_localPort = 0;
    bool m_autoResolve = false;
    bool m_noDelay = true;
    int m_readBufferBound = 64 * 1024;

    QHostAddress m_bindAddress = QHostAddress::AnyIPv4;
    State m_state = State::Idle;
    int m_fd = -1;
    // Bumped on every close, so that events queued for an earlier connection are dropped.
    quint64 m_generation = 0;
    // Bumped when a call, listener or connection begins; errors of earlier ones are dropped.
    quint64 m_endpoint = 0;
    int m_drains = 0;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QString m_peerAddress;
    int m_peerPort = 0;
    QByteArray m_writeQueue;
    qsizetype m_writeOffset = 0;
    bool m_writeBlocked = false;
    QByteArray m_readBuffer;
    qsizetype m_readOffset = 0;
    bool m_peerClosed = false;
    bool m_writeFailed = false;
    bool m_readEventQueued = false;
    bool m_raisingReadEvents = false;
    QHash<QString, QHostAddress> m_resolved;
    QStringList m_lookupsInFlight;
    QString m_callingName;
    bool m_callAfterDrain = false;
    QString m_lastError;
    QByteArray m_preSharedKey;
    std::unique_ptr<TlsSession> m_tls;
};
