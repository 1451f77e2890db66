// The socket component on loopback: two stations on one machine use 127.0.0.1 and
// 127.0.0.2 with the same port, as two machines would use their own addresses.
#include "platform/SocketControl.h"
#include "platform/SocketDrain.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <memory>

namespace
{
constexpr int kWaitMs = 5000;
const QString kA = QStringLiteral("127.0.0.1");
const QString kB = QStringLiteral("127.0.0.2");
using State = SocketControl::State;

int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::AnyIPv4, 0) ? server.serverPort() : 0;
}

// Connections in TIME_WAIT from or to the port, as the kernel lists them.
int timeWaitCount(int port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    int count = table.open(QIODevice::ReadOnly) ? 0 : -1;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> field = line.simplified().split(' ');
        const auto portOf = [&](int i) { return field[i].split(':').value(1).toInt(nullptr, 16); };
        count += field.size() > 3 && field[3] == "06" && (portOf(1) == port || portOf(2) == port);
    }
    return count;
}

QByteArray pattern(int seed)
{
    QByteArray bytes(100000, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 509 + seed) & 0xff);
    return bytes;
}

// One station's socket with a station's handlers: it accepts calls and reads 1024 bytes per
// read event.
struct Station {
    Station(const QString &address, int port) : bound(socket.Bind(address, port))
    {
        socket.setRemotePort(port);
        QObject::connect(&socket, &SocketControl::OnAccept, &socket, [this] {
            if (++accepts && accepting)
                socket.AcceptPending();
        });
        QObject::connect(&socket, &SocketControl::OnConnect, &socket, [this] { ++connects; });
        QObject::connect(&socket, &SocketControl::OnError, &socket,
                         [this](int code, const QString &text) { errors << code << text; });
        QObject::connect(&socket, &SocketControl::OnRead, &socket, [this] {
            if (reading)
                received += socket.Read(1024);
        });
    }
    bool call(const QString &address)
    {
        socket.setRemoteHostAddress(address);
        return socket.Connect();
    }
    // Writes until the socket holds `queued` bytes the kernel did not take, or refuses one.
    QByteArray fill(qsizetype queued)
    {
        QByteArray written;
        for (int seed = 1; socket.pendingWriteBytes() < queued && socket.Write(pattern(seed));)
            written += pattern(seed++);
        return written;
    }

    SocketControl socket;
    bool bound, accepting = true, reading = true;
    int accepts = 0, connects = 0;
    QByteArray received;
    QVariantList errors; // code, text, code, text...
};

// A listens on 127.0.0.1, B calls it from 127.0.0.2, both from the one port.
struct Link {
    bool connect() { return a.bound && b.bound && a.socket.Listen() && b.call(kA) && linked(); }
    bool linked()
    {
        return QTest::qWaitFor([&] { return a.socket.IsConnected() && b.socket.IsConnected(); },
                               kWaitMs);
    }
    int port = freePort();
    Station a{kA, port}, b{kB, port};
};
} // namespace

class SocketTest final : public QObject
{
    Q_OBJECT
    std::unique_ptr<Link> m;
    // A drain whose peer has stopped reading is given up after kStallMs; it runs alongside
    // the other cases and is checked in the last.
    Link m_stalled;
    QElapsedTimer m_stallClock;
    std::unique_ptr<QSignalSpy> m_stallEnded;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_stalled.connect());
        m_stalled.a.reading = false;
        m_stalled.b.fill(SocketControl::kWriteQueueBound);
        m_stallEnded = std::make_unique<QSignalSpy>(&m_stalled.b.socket, &SocketControl::drained);
        m_stallClock.start();
        m_stalled.b.socket.Close();
        QVERIFY(m_stalled.b.socket.isDraining());
    }
    void init()
    {
        m = std::make_unique<Link>();
        QVERIFY(m->connect());
    }

    void endThenReverseRoles_data()
    {
        QTest::addColumn<bool>("callerEnds");
        QTest::addColumn<int>("how");
        for (const char *who : {"acceptor", "caller"}) {
            for (int how = 0; how < 3; ++how)
                QTest::addRow("%s %s", who, how ? how > 1 ? "disconnects" : "closes" : "aborts")
                    << (*who == 'c') << how;
        }
    }
    void endThenReverseRoles()
    {
        QFETCH(bool, callerEnds);
        QFETCH(int, how);
        Station &ender = callerEnds ? m->b : m->a;
        Station &other = callerEnds ? m->a : m->b;
        // Bytes still queued when the link ends reach the peer, unless it is aborted.
        other.reading = false;
        const QByteArray last = ender.fill(1);
        how ? how > 1 ? ender.socket.Disconnect() : ender.socket.Close() : ender.socket.Abort();
        QCOMPARE(ender.socket.state(), State::Idle);
        other.reading = true;
        other.received += other.socket.Read(1024);
        QTRY_COMPARE_WITH_TIMEOUT(other.socket.state(), State::Idle, kWaitMs);
        QVERIFY(how == 0 || other.received == last);
        // The same two address pairs at once, the other way round, leaving no TIME_WAIT.
        QVERIFY2(m->b.socket.Listen(), qPrintable(m->b.socket.lastError()));
        QVERIFY2(m->a.call(kB), qPrintable(m->a.socket.lastError()));
        QVERIFY(m->linked());
        QCOMPARE(m->b.socket.PeerPort(), m->port);
        QCOMPARE(timeWaitCount(m->port), 0);
    }

    void listen_despiteTimeWaitOfAnotherProgram()
    {
        QTcpServer server;
        QTcpSocket client;
        QVERIFY(server.listen(QHostAddress(kA), 0));
        client.connectToHost(QHostAddress(kA), server.serverPort());
        QVERIFY(client.waitForConnected(kWaitMs) && server.waitForNewConnection(kWaitMs));
        server.nextPendingConnection()->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(timeWaitCount(server.serverPort()) > 0, kWaitMs);
        Station a(kA, server.serverPort());
        server.close();
        QVERIFY2(a.socket.Listen(), qPrintable(a.socket.lastError()));
    }

    void failedCall_reportedFromEventLoop_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port"); // 0: the link's port
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("nobody listens") << false << kA << 0 << ECONNREFUSED << "Connection refused";
        // Calling again ends the link first; the peer stopped listening when it answered.
        QTest::newRow("calling again") << true << kA << 0 << ECONNREFUSED << "Connection refused";
        QTest::newRow("address out of range")
            << false << "300.1.2.3" << 0 << EINVAL << "300.1.2.3 is not a valid IPv4 address";
        QTest::newRow("port 70000")
            << true << kA << 70000 << EINVAL << "Port 70000 is not a valid port";
    }
    void failedCall_reportedFromEventLoop()
    {
        QFETCH(bool, linked);
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(int, code);
        QFETCH(QString, text);
        if (!linked) {
            m->a.socket.Abort();
            m->b.socket.Abort();
        }
        m->b.socket.setRemotePort(port ? port : m->port);
        m->b.call(address);
        QVERIFY(m->b.errors.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(m->b.errors, QVariantList({code, text}), kWaitMs);
        QCOMPARE(m->b.socket.state(), State::Idle);
        QTRY_VERIFY_WITH_TIMEOUT(!m->a.socket.IsConnected(), kWaitMs);
    }

    void unreadBytes_holdWriterBack()
    {
        QSignalSpy writable(&m->b.socket, &SocketControl::writable);
        m->a.reading = false;
        // Past the queue's hard limit a write is refused whole.
        const QByteArray accepted = m->b.fill(SocketControl::kWriteQueueHardLimit);
        QCOMPARE(m->b.socket.lastError(), QStringLiteral("No buffer space available"));
        // The reader's buffer stops at its bound, so the kernel's window holds the writer.
        constexpr int kReadBound = 64 * 1024;
        QTRY_COMPARE_WITH_TIMEOUT(m->a.socket.pendingReadBytes(), kReadBound, kWaitMs);
        QTest::qWait(100); // time to do what it must not
        QCOMPARE(m->a.socket.pendingReadBytes(), kReadBound);
        QVERIFY(!m->b.socket.IsWritable() && writable.isEmpty());
        m->a.reading = true;
        m->a.received += m->a.socket.Read(1024);
        QTRY_COMPARE_WITH_TIMEOUT(m->a.received.size(), accepted.size(), kWaitMs);
        QVERIFY(m->a.received == accepted && !writable.isEmpty());
    }

    void callDuringDrain_goesOutWhenPeerResets()
    {
        // B hangs up and at once calls again by name, as a station's next tick does: the
        // drain holds the address pair, so the call waits for it and for the lookup. The
        // peer's reset ends the drain long before its stall bound, and the peer is told of
        // the call once, however long it leaves it waiting.
        m->a.reading = m->a.accepting = false;
        m->a.accepts = 0;
        m->b.fill(SocketControl::kWriteQueueBound);
        m->b.socket.Disconnect();
        QVERIFY(m->b.socket.isDraining());
        m->b.socket.setRemoteHostName(QStringLiteral("localhost"));
        QVERIFY(m->b.call(QString()) && m->b.socket.Connect());
        QCOMPARE(m->b.socket.state(), State::Calling);
        QVERIFY(m->a.socket.Listen());
        QTRY_COMPARE_WITH_TIMEOUT(m->a.accepts, 1, SocketDrain::kStallMs / 2);
        QTest::qWait(100); // time to do what it must not
        QVERIFY(m->a.accepts == 1 && m->a.socket.AcceptPending() && m->b.connects == 2);
        QVERIFY(m->linked() && m->b.errors.isEmpty());
    }

    void errorOfEndedConnection_notRaisedForNewOne()
    {
        // A resets the link and listens again; B's next write meets the reset, and B calls
        // anew before its error has left the event queue.
        m->a.socket.Abort();
        QVERIFY(m->a.socket.Listen());
        for (QDeadlineTimer deadline(kWaitMs); m->b.socket.Write("x") && !deadline.hasExpired();)
            ;
        QVERIFY(!m->b.socket.lastError().isEmpty());
        QVERIFY(m->b.call(kA));
        QTRY_VERIFY_WITH_TIMEOUT(m->a.socket.IsConnected() && m->b.connects == 2, kWaitMs);
        QTest::qWait(100); // time to do what it must not
        QCOMPARE(m->b.errors, QVariantList());
    }

    void stalledDrain_givenUpAfterStallBound()
    {
        QVERIFY(m_stallEnded->count() == 1 || m_stallEnded->wait(kWaitMs));
        QVERIFY(m_stallClock.elapsed() >= SocketDrain::kStallMs);
    }
};

QTEST_GUILESS_MAIN(SocketTest)
#include "socket_test.moc"
