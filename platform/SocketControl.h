#pragma once
// One TCP endpoint, driven by the Qt event loop over non-blocking BSD sockets.
//
// Principles of operation
// - The object is idle, listening, calling or connected; AcceptPending turns a listening
//   object into the connection and closes the listener.
// - Calls leave from the bound local port and listening uses the same port, with address
//   reuse, so the port is usable again at once after Close or Abort. Every close is
//   abortive (linger 0): no TIME_WAIT is left between the two fixed address pairs of a link.
// - Nothing blocks: connect, name lookup (cached), read and write are all asynchronous.
//   What the kernel does not take at once is queued in order; IsWritable is false while
//   that queue is at its bound.
// - Events (OnAccept, OnConnect, OnError, OnRead) are delivered from the event loop,
//   never from inside the call that caused them.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

class QSocketNotifier;

class SocketControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketControl)

public:
    enum class State { Idle, Listening, Calling, Connected };
    static constexpr int kWriteQueueBound = 1024 * 1024;

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
    bool Connect();
    bool Listen();
    bool AcceptPending();
    void Close();
    void Abort();
    void Disconnect();
    bool Bind(const QString &address, int port);
    QByteArray Read(int maxBytes = 1024);
    bool Write(const QByteArray &bytes);
    void Cleanup();

    // Start-up options: TCP_NODELAY ("send without delay") and the kernel buffer size.
    void setNoDelay(bool on) { m_noDelay = on; }
    void setBufferSize(int bytes) { m_bufferSize = bytes; }

    QString lastError() const { return m_lastError; }
    qsizetype pendingWriteBytes() const { return m_writeQueue.size(); }

Q_SIGNALS:
    void OnAccept();
    void OnConnect();
    void OnError(int code, const QString &text);
    void OnRead();
    // The write queue fell below its bound again.
    void writable();

private:
    // Implementation details are the platform layer's own; see SocketControl.cpp.
    bool fail(int code, const QString &text);
    void closeDescriptor();
    void setState(State state);
    void onReadable();
    void onWritableFd();
    void onConnectFinished();
    void startLookup(const QString &name);
    bool startConnect(const QHostAddress &address);
    void flushWriteQueue();
    void scheduleReadEvent();

    QString m_remoteHostName;
    QString m_remoteHostAddress;
    int m_remotePort = 0;
    int m_localPort = 0;
    bool m_autoResolve = false;
    bool m_noDelay = true;
    int m_bufferSize = 32768;

    QHostAddress m_bindAddress = QHostAddress::AnyIPv4;
    State m_state = State::Idle;
    int m_fd = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    int m_pendingFd = -1;
    QString m_peerAddress;
    int m_peerPort = 0;
    QByteArray m_writeQueue;
    QByteArray m_readBuffer;
    bool m_peerClosed = false;
    bool m_readEventQueued = false;
    QHash<QString, QHostAddress> m_resolved;
    QString m_lookupInFlight;
    QString m_lastError;
};
