// The socket component on loopback: two stations on one machine use 127.0.0.1 and
// 127.0.0.2 with the same port, as two machines would use their own addresses.
#include "platform/SocketControl.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <memory>

namespace
{

constexpr int kWaitMs = 5000;
const QString kAddressA = QStringLiteral("127.0.0.1");
const QString kAddressB = QStringLiteral("127.0.0.2");

int freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::AnyIPv4, 0))
        return 0;
    return server.serverPort();
}

// Sockets in TIME_WAIT that involve the port, as the kernel lists them.
int timeWaitCount(int port)
{
    static constexpr char kTimeWait[] = "06";
    int count = 0;
    for (const QString &table :
         {QStringLiteral("/proc/net/tcp"), QStringLiteral("/proc/net/tcp6")}) {
        QFile file(table);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 4 || fields.at(3) != kTimeWait)
                continue;
            for (int column : {1, 2}) {
                const QByteArray endpoint = fields.at(column);
                if (endpoint.mid(endpoint.lastIndexOf(':') + 1).toInt(nullptr, 16) == port)
                    ++count;
            }
        }
    }
    return count;
}

QByteArray pattern(qsizetype size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 509 + seed) & 0xff);
    return bytes;
}

// One station's socket with the handlers a station has: it accepts every call and reads
// 1024 bytes per read event.
class Station
{
public:
    Station(const QString &address, int port)
    {
        m_bound = socket.Bind(address, port);
        socket.setRemotePort(port);
        QObject::connect(&socket, &SocketControl::OnAccept, &socket, [this] {
            ++accepts;
            if (autoAccept)
                socket.AcceptPending();
        });
        QObject::connect(&socket, &SocketControl::OnConnect, &socket, [this] { ++connects; });
        QObject::connect(&socket, &SocketControl::OnError, &socket,
                         [this](int code, const QString &text) {
                             codes.append(code);
                             errors.append(text);
                         });
        QObject::connect(&socket, &SocketControl::OnRead, &socket, [this] {
            ++readEvents;
            if (!reading)
                return;
            const QByteArray chunk = socket.Read(1024);
            largestRead = qMax(largestRead, static_cast<int>(chunk.size()));
            received += chunk;
        });
    }

    bool bound() const { return m_bound; }
    bool call(const QString &address)
    {
        socket.setRemoteHostName(QString());
        socket.setRemoteHostAddress(address);
        return socket.Connect();
    }

    SocketControl socket;
    bool autoAccept = true;
    bool reading = true;
    int accepts = 0;
    int connects = 0;
    int readEvents = 0;
    int largestRead = 0;
    QByteArray received;
    QList<int> codes;
    QStringList errors;

private:
    bool m_bound = false;
};

struct Link {
    std::unique_ptr<Station> a;
    std::unique_ptr<Station> b;
};

// A listens on 127.0.0.1, B calls it from 127.0.0.2, both on the same port.
bool makeLink(Link &link, int port)
{
    link.a = std::make_unique<Station>(kAddressA, port);
    link.b = std::make_unique<Station>(kAddressB, port);
    if (!link.a->bound() || !link.b->bound() || !link.a->socket.Listen())
        return false;
    if (!link.b->call(kAddressA))
        return false;
    return QTest::qWaitFor(
        [&] { return link.a->socket.IsConnected() && link.b->socket.IsConnected(); }, kWaitMs);
}

// Lets the event loop run for a while; only for checking that something does not happen.
void runEventsFor(int ms)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    const bool ran = QTest::qWaitFor([&] { return ticks * 10 >= ms; }, ms * 20);
    Q_UNUSED(ran);
}

} // namespace

class SocketTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listenAndCall_sameAddressPair_bytesFlowBothWays();
    void twoAddressesSamePort_bothListenAtOnce();
    void acceptPending_endsListening();
    void unansweredCall_raisesOnAcceptOnceAndWaits();
    void closeThenReverseRoles_portUsableAtOnceWithoutTimeWait_data();
    void closeThenReverseRoles_portUsableAtOnceWithoutTimeWait();
    void gracefulPeerClose_lastBytesDeliveredThenIdle_noTimeWait();
    void listen_despiteTimeWaitLeftOnPortByAnotherProgram();
    void peerClose_lastBytesDeliveredBeforeIdle_data();
    void peerClose_lastBytesDeliveredBeforeIdle();
    void onRead_reRaisedUntilAllRead1024AtATime();
    void largeWrite_arrivesWholeAndInOrder();
    void writeQueue_overHardLimit_refusesWholeWriteAndKeepsOrder();
    void failedCall_raisesErrorFromEventLoopAndLeavesIdle_data();
    void failedCall_raisesErrorFromEventLoopAndLeavesIdle();
    void connectWhileConnected_abortsFirst();
    void errorOfEndedConnection_notRaisedForNewOne();
    void writeWhenNotConnected_fails();
    void hostName_resolvedAsynchronouslyThenCached();
    void hostName_lookupFailure_raisesErrorAndLeavesIdle();
    void autoResolve_fillsAddressFromNameAndNameFromAddress();
    void bind_acceptsOwnAddressesOnly();
    void localAddresses_listLoopback();
};

void SocketTest::listenAndCall_sameAddressPair_bytesFlowBothWays()
{
    const int port = freePort();
    Link link;
    QVERIFY(makeLink(link, port));
    QCOMPARE(link.b->connects, 1);
    QCOMPARE(link.a->accepts, 1);

    // Both ends use the one port: the accepting end sees the caller's bound port.
    QCOMPARE(link.a->socket.PeerAddress(), kAddressB);
    QCOMPARE(link.a->socket.PeerPort(), port);
    QCOMPARE(link.b->socket.PeerAddress(), kAddressA);
    QCOMPARE(link.b->socket.PeerPort(), port);
    QCOMPARE(link.a->socket.LocalAddress(), kAddressA);
    QCOMPARE(link.b->socket.LocalAddress(), kAddressB);
    QVERIFY(link.a->socket.IsWritable());

    const QByteArray toB = pattern(3000, 1);
    const QByteArray toA = pattern(2000, 2);
    QVERIFY(link.a->socket.Write(toB));
    QVERIFY(link.b->socket.Write(toA));
    QTRY_COMPARE_WITH_TIMEOUT(link.b->received.size(), toB.size(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(link.a->received.size(), toA.size(), kWaitMs);
    QCOMPARE(link.b->received, toB);
    QCOMPARE(link.a->received, toA);
    QVERIFY(link.a->errors.isEmpty());
    QVERIFY(link.b->errors.isEmpty());
}

void SocketTest::twoAddressesSamePort_bothListenAtOnce()
{
    const int port = freePort();
    Station a(kAddressA, port);
    Station b(kAddressB, port);
    QVERIFY(a.bound());
    QVERIFY(b.bound());
    QVERIFY2(a.socket.Listen(), qPrintable(a.socket.lastError()));
    QVERIFY2(b.socket.Listen(), qPrintable(b.socket.lastError()));
    QCOMPARE(a.socket.state(), SocketControl::State::Listening);
    QCOMPARE(b.socket.state(), SocketControl::State::Listening);

    // Whichever leaves listening first calls the other.
    b.socket.Abort();
    QVERIFY(b.call(kAddressA));
    QTRY_VERIFY_WITH_TIMEOUT(a.socket.IsConnected() && b.socket.IsConnected(), kWaitMs);
}

void SocketTest::acceptPending_endsListening()
{
    const int port = freePort();
    Link link;
    QVERIFY(makeLink(link, port));
    QCOMPARE(link.a->socket.state(), SocketControl::State::Connected);

    Station third(QStringLiteral("127.0.0.3"), port);
    QVERIFY(third.call(kAddressA));
    QTRY_COMPARE_WITH_TIMEOUT(third.errors.size(), 1, kWaitMs);
    QCOMPARE(third.codes.first(), ECONNREFUSED);
    QVERIFY(link.a->socket.IsConnected());
    QCOMPARE(link.a->accepts, 1);
}

void SocketTest::unansweredCall_raisesOnAcceptOnceAndWaits()
{
    const int port = freePort();
    Station a(kAddressA, port);
    Station b(kAddressB, port);
    a.autoAccept = false;
    QVERIFY(a.socket.Listen());
    QVERIFY(b.call(kAddressA));
    QTRY_COMPARE_WITH_TIMEOUT(a.accepts, 1, kWaitMs);

    // The call waits, reported once rather than on every pass of the event loop.
    runEventsFor(200);
    QCOMPARE(a.accepts, 1);
    QCOMPARE(a.socket.state(), SocketControl::State::Listening);

    QVERIFY2(a.socket.AcceptPending(), qPrintable(a.socket.lastError()));
    QVERIFY(a.socket.IsConnected());
    QVERIFY(b.socket.Write("late answer"));
    QTRY_COMPARE_WITH_TIMEOUT(a.received, QByteArray("late answer"), kWaitMs);

    // With no call waiting, accepting fails and says so.
    Station c(QStringLiteral("127.0.0.3"), freePort());
    QVERIFY(c.socket.Listen());
    QVERIFY(!c.socket.AcceptPending());
    QVERIFY(!c.socket.lastError().isEmpty());
}

void SocketTest::closeThenReverseRoles_portUsableAtOnceWithoutTimeWait_data()
{
    QTest::addColumn<bool>("callerCloses");
    QTest::addColumn<int>("how");
    enum { Abort, Close, Disconnect };
    for (bool callerCloses : {false, true}) {
        const char *who = callerCloses ? "caller" : "acceptor";
        QTest::addRow("%s aborts", who) << callerCloses << int(Abort);
        QTest::addRow("%s closes", who) << callerCloses << int(Close);
        QTest::addRow("%s disconnects", who) << callerCloses << int(Disconnect);
    }
}

void SocketTest::closeThenReverseRoles_portUsableAtOnceWithoutTimeWait()
{
    QFETCH(bool, callerCloses);
    QFETCH(int, how);
    const int port = freePort();
    Link link;
    QVERIFY(makeLink(link, port));
    Station &closer = callerCloses ? *link.b : *link.a;
    Station &other = callerCloses ? *link.a : *link.b;

    const auto end = [how](SocketControl &socket) {
        if (how == 0)
            socket.Abort();
        else if (how == 1)
            socket.Close();
        else
            socket.Disconnect();
    };
    end(closer.socket);
    QCOMPARE(closer.socket.state(), SocketControl::State::Idle);
    QTRY_VERIFY_WITH_TIMEOUT(!other.socket.IsConnected(), kWaitMs);
    other.socket.Abort();

    // The same two address pairs at once, the other way round.
    QVERIFY2(link.b->socket.Listen(), qPrintable(link.b->socket.lastError()));
    QVERIFY2(link.a->call(kAddressB), qPrintable(link.a->socket.lastError()));
    QTRY_VERIFY_WITH_TIMEOUT(link.a->socket.IsConnected() && link.b->socket.IsConnected(), kWaitMs);
    QCOMPARE(link.b->socket.PeerPort(), port);

    end(link.a->socket);
    QTRY_VERIFY_WITH_TIMEOUT(!link.b->socket.IsConnected(), kWaitMs);
    QVERIFY2(link.a->socket.Listen(), qPrintable(link.a->socket.lastError()));
    QCOMPARE(timeWaitCount(port), 0);
}

void SocketTest::gracefulPeerClose_lastBytesDeliveredThenIdle_noTimeWait()
{
    const int port = freePort();
    Station a(kAddressA, port);
    QVERIFY(a.socket.Listen());

    // A peer that ends with an ordinary FIN, as other programs do.
    QTcpSocket peer;
    QVERIFY(peer.bind(QHostAddress(kAddressB), port));
    peer.connectToHost(QHostAddress(kAddressA), port);
    QVERIFY(peer.waitForConnected(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(a.socket.IsConnected(), kWaitMs);
    const QByteArray last = pattern(5000, 3);
    peer.write(last);
    peer.disconnectFromHost();

    QTRY_VERIFY_WITH_TIMEOUT(!a.socket.IsConnected(), kWaitMs);
    QCOMPARE(a.received, last);
    QCOMPARE(a.socket.state(), SocketControl::State::Idle);
    QVERIFY2(a.socket.Listen(), qPrintable(a.socket.lastError()));
    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QAbstractSocket::UnconnectedState, kWaitMs);
    QCOMPARE(timeWaitCount(port), 0);
}

void SocketTest::listen_despiteTimeWaitLeftOnPortByAnotherProgram()
{
    const int port = freePort();
    {
        // A server of another program that closes first keeps the port in TIME_WAIT.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(kAddressA), port));
        QTcpSocket client;
        client.connectToHost(QHostAddress(kAddressA), port);
        QVERIFY(client.waitForConnected(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), kWaitMs);
        QTcpSocket *accepted = server.nextPendingConnection();
        accepted->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(timeWaitCount(port) > 0, kWaitMs);
    }

    Station a(kAddressA, port);
    Station b(kAddressB, port);
    QVERIFY2(a.socket.Listen(), qPrintable(a.socket.lastError()));
    QVERIFY(b.call(kAddressA));
    QTRY_VERIFY_WITH_TIMEOUT(a.socket.IsConnected() && b.socket.IsConnected(), kWaitMs);
}

void SocketTest::peerClose_lastBytesDeliveredBeforeIdle_data()
{
    QTest::addColumn<bool>("disconnect");
    QTest::newRow("peer closes") << false;
    QTest::newRow("peer disconnects") << true;
}

void SocketTest::peerClose_lastBytesDeliveredBeforeIdle()
{
    QFETCH(bool, disconnect);
    Link link;
    QVERIFY(makeLink(link, freePort()));
    SocketControl &peer = link.b->socket;

    const QByteArray last = pattern(20000, 4);
    QVERIFY(peer.Write(last));
    if (disconnect)
        peer.Disconnect();
    else
        peer.Close();

    QTRY_VERIFY_WITH_TIMEOUT(!link.a->socket.IsConnected(), kWaitMs);
    QCOMPARE(link.a->received.size(), last.size());
    QCOMPARE(link.a->received, last);

    // The end of the stream is not reported again and again.
    const int readEvents = link.a->readEvents;
    runEventsFor(100);
    QCOMPARE(link.a->readEvents, readEvents);
}

void SocketTest::onRead_reRaisedUntilAllRead1024AtATime()
{
    Link link;
    QVERIFY(makeLink(link, freePort()));
    const QByteArray bytes = pattern(10000, 5);
    QVERIFY(link.b->socket.Write(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(link.a->received.size(), bytes.size(), kWaitMs);
    QCOMPARE(link.a->received, bytes);
    QCOMPARE(link.a->largestRead, 1024);
    QVERIFY(link.a->readEvents >= 10);
    QCOMPARE(link.a->socket.pendingReadBytes(), 0);
    QVERIFY(link.a->socket.IsConnected());
}

void SocketTest::largeWrite_arrivesWholeAndInOrder()
{
    Link link;
    QVERIFY(makeLink(link, freePort()));
    SocketControl &writer = link.b->socket;
    QSignalSpy writable(&writer, &SocketControl::writable);

    constexpr qsizetype kChunk = 32 * 1024;
    const QByteArray bytes = pattern(6 * 1024 * 1024, 6);
    qsizetype offered = 0;
    qsizetype largestQueue = 0;
    const auto pump = [&] {
        while (offered < bytes.size() && writer.IsWritable()) {
            QVERIFY(writer.Write(bytes.mid(offered, kChunk)));
            offered += qMin(kChunk, bytes.size() - offered);
            largestQueue = qMax(largestQueue, writer.pendingWriteBytes());
        }
    };
    connect(&writer, &SocketControl::writable, &writer, pump);
    pump();

    QTRY_COMPARE_WITH_TIMEOUT(link.a->received.size(), bytes.size(), 60000);
    QVERIFY(link.a->received == bytes);
    // The writer really had to wait for the queue to drain.
    QVERIFY(largestQueue >= SocketControl::kWriteQueueBound);
    QVERIFY(writable.count() >= 1);
    QCOMPARE(writer.pendingWriteBytes(), 0);
    QVERIFY(link.a->largestRead <= 1024);
}

void SocketTest::writeQueue_overHardLimit_refusesWholeWriteAndKeepsOrder()
{
    Link link;
    QVERIFY(makeLink(link, freePort()));
    link.a->reading = false;
    SocketControl &writer = link.b->socket;

    constexpr qsizetype kChunk = 100 * 1000;
    QByteArray accepted;
    int seed = 0;
    for (;;) {
        const QByteArray chunk = pattern(kChunk, ++seed);
        if (!writer.Write(chunk))
            break;
        accepted += chunk;
        QVERIFY(seed < 1000);
    }
    QCOMPARE(writer.lastError(), QStringLiteral("No buffer space available"));
    QVERIFY(writer.pendingWriteBytes() <= SocketControl::kWriteQueueHardLimit);
    QVERIFY(!writer.IsWritable());
    QVERIFY(writer.IsConnected());

    link.a->reading = true;
    link.a->received += link.a->socket.Read(1024);
    QTRY_COMPARE_WITH_TIMEOUT(link.a->received.size(), accepted.size(), 30000);
    QVERIFY(link.a->received == accepted);
}

void SocketTest::failedCall_raisesErrorFromEventLoopAndLeavesIdle_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("remotePort");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    const int closedPort = freePort();
    QTest::newRow("nobody listens")
        << kAddressA << closedPort << ECONNREFUSED << QStringLiteral("Connection refused");
    QTest::newRow("address out of range")
        << QStringLiteral("300.1.2.3") << closedPort << EINVAL
        << QStringLiteral("300.1.2.3 is not a valid IPv4 address");
    QTest::newRow("port 0") << kAddressA << 0 << EINVAL
                            << QStringLiteral("Port 0 is not a valid port");
    QTest::newRow("port above 65535")
        << kAddressA << 70000 << EINVAL << QStringLiteral("Port 70000 is not a valid port");
}

void SocketTest::failedCall_raisesErrorFromEventLoopAndLeavesIdle()
{
    QFETCH(QString, address);
    QFETCH(int, remotePort);
    QFETCH(int, code);
    QFETCH(QString, text);
    Station b(kAddressB, freePort());
    b.socket.setRemotePort(remotePort);
    b.socket.setRemoteHostAddress(address);
    b.socket.Connect();
    QVERIFY(b.errors.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(b.errors.size(), 1, kWaitMs);
    QCOMPARE(b.errors.first(), text);
    QCOMPARE(b.codes.first(), code);
    QCOMPARE(b.socket.lastError(), text);
    QCOMPARE(b.socket.state(), SocketControl::State::Idle);
    QCOMPARE(b.connects, 0);
}

void SocketTest::connectWhileConnected_abortsFirst()
{
    Link link;
    QVERIFY(makeLink(link, freePort()));
    // A has stopped listening, so the new call is refused; the old link must be gone too.
    QVERIFY(link.b->call(kAddressA));
    QTRY_COMPARE_WITH_TIMEOUT(link.b->errors.size(), 1, kWaitMs);
    QCOMPARE(link.b->codes.first(), ECONNREFUSED);
    QCOMPARE(link.b->socket.state(), SocketControl::State::Idle);
    QTRY_VERIFY_WITH_TIMEOUT(!link.a->socket.IsConnected(), kWaitMs);
}

void SocketTest::errorOfEndedConnection_notRaisedForNewOne()
{
    const int port = freePort();
    Link link;
    QVERIFY(makeLink(link, port));
    // A resets the link and listens again; B's next write meets the reset, and B calls anew
    // before its error has left the event queue.
    link.a->socket.Abort();
    QVERIFY(link.a->socket.Listen());
    QDeadlineTimer deadline(kWaitMs);
    while (link.b->socket.Write("x") && !deadline.hasExpired()) {
    }
    QVERIFY(!link.b->socket.lastError().isEmpty());
    QVERIFY(link.b->call(kAddressA));

    QTRY_VERIFY_WITH_TIMEOUT(link.a->socket.IsConnected() && link.b->connects == 2, kWaitMs);
    runEventsFor(100);
    QCOMPARE(link.b->errors, QStringList());
}

void SocketTest::writeWhenNotConnected_fails()
{
    Station a(kAddressA, freePort());
    QVERIFY(!a.socket.IsWritable());
    QVERIFY(!a.socket.Write("x"));
    QVERIFY(a.errors.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(a.errors.size(), 1, kWaitMs);
    QCOMPARE(a.codes.first(), ENOTCONN);
    QVERIFY(a.socket.Read(1024).isEmpty());
}

void SocketTest::hostName_resolvedAsynchronouslyThenCached()
{
    const int port = freePort();
    Station a(kAddressA, port);
    Station b(kAddressB, port);
    QVERIFY(a.socket.Listen());
    b.socket.setRemoteHostAddress(QString());
    b.socket.setRemoteHostName(QStringLiteral("localhost"));

    // The answer is not there yet: the call waits for it, and a new call cycle before it
    // comes (the connection manager aborts and calls again) still gets through.
    QVERIFY(b.socket.Connect());
    QCOMPARE(b.socket.state(), SocketControl::State::Calling);
    QVERIFY(b.socket.cachedAddress(QStringLiteral("localhost")).isEmpty());
    b.socket.Abort();
    QVERIFY(b.socket.Connect());
    QTRY_VERIFY_WITH_TIMEOUT(a.socket.IsConnected() && b.socket.IsConnected(), kWaitMs);
    QCOMPARE(b.socket.PeerAddress(), kAddressA);
    QCOMPARE(b.socket.cachedAddress(QStringLiteral("localhost")), kAddressA);
    QCOMPARE(b.connects, 1);

    b.socket.Abort();
    QTRY_VERIFY_WITH_TIMEOUT(!a.socket.IsConnected(), kWaitMs);
    QVERIFY(a.socket.Listen());
    QVERIFY(b.socket.Connect());
    QTRY_VERIFY_WITH_TIMEOUT(a.socket.IsConnected() && b.socket.IsConnected(), kWaitMs);
    QVERIFY(b.errors.isEmpty());
}

void SocketTest::hostName_lookupFailure_raisesErrorAndLeavesIdle()
{
    Station b(kAddressB, freePort());
    b.socket.setRemoteHostAddress(QString());
    // Not a valid host name at all: refused before any resolver is asked.
    b.socket.setRemoteHostName(QStringLiteral("no..such..host"));
    QVERIFY(b.socket.Connect());
    QTRY_COMPARE_WITH_TIMEOUT(b.errors.size(), 1, kWaitMs);
    QCOMPARE(b.codes.first(), SocketControl::kErrorHostNotFound);
    QVERIFY(!b.errors.first().isEmpty());
    QCOMPARE(b.socket.state(), SocketControl::State::Idle);
}

void SocketTest::autoResolve_fillsAddressFromNameAndNameFromAddress()
{
    SocketControl socket;
    socket.setRemoteHostName(QStringLiteral("localhost"));
    QVERIFY(socket.RemoteHostAddress().isEmpty());

    socket.setAutoResolve(true);
    // Assigning the name its own value is what starts the lookup.
    socket.setRemoteHostName(socket.RemoteHostName());
    QTRY_COMPARE_WITH_TIMEOUT(socket.RemoteHostAddress(), kAddressA, kWaitMs);

    socket.setRemoteHostName(QString());
    socket.setRemoteHostAddress(kAddressA);
    QTRY_COMPARE_WITH_TIMEOUT(socket.RemoteHostName(), QStringLiteral("localhost"), kWaitMs);
}

void SocketTest::bind_acceptsOwnAddressesOnly()
{
    SocketControl socket;
    QVERIFY(socket.LocalAddress().isEmpty());
    QVERIFY(socket.Bind(kAddressA, 4000));
    QCOMPARE(socket.LocalAddress(), kAddressA);
    QCOMPARE(socket.LocalPort(), 4000);

    QSignalSpy errors(&socket, &SocketControl::OnError);
    QVERIFY(!socket.Bind(QStringLiteral("not an address"), 4001));
    // 192.0.2.1 is reserved for documentation: no machine has it.
    QVERIFY(!socket.Bind(QStringLiteral("192.0.2.1"), 4001));
    QCOMPARE(socket.lastError(), QStringLiteral("Cannot assign requested address"));
    QVERIFY(!socket.Bind(kAddressA, 65536));
    QCOMPARE(socket.LocalAddress(), kAddressA);
    QCOMPARE(socket.LocalPort(), 4000);
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 3, kWaitMs);

    QVERIFY(socket.Bind(QString(), 4002));
    QVERIFY(socket.LocalAddress().isEmpty());
    QVERIFY(socket.Bind(QStringLiteral("0.0.0.0"), 4002));
    QVERIFY(socket.LocalAddress().isEmpty());
}

void SocketTest::localAddresses_listLoopback()
{
    SocketControl socket;
    const int count = socket.LocalAddressCount();
    QVERIFY(count > 0);
    QStringList addresses;
    for (int i = 0; i < count; ++i)
        addresses.append(socket.LocalAddressAt(i));
    QVERIFY2(addresses.contains(kAddressA), qPrintable(addresses.join(QLatin1Char(' '))));
    for (const QString &address : addresses)
        QCOMPARE(QHostAddress(address).protocol(), QAbstractSocket::IPv4Protocol);
    QVERIFY(socket.LocalAddressAt(count).isEmpty());
    QVERIFY(socket.LocalAddressAt(-1).isEmpty());
}

QTEST_GUILESS_MAIN(SocketTest)
#include "socket_test.moc"
