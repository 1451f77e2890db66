// The station's components on real parts: the socket on loopback, where two stations on one
// machine use 127.0.0.1 and 127.0.0.2 with one port as two machines would their own addresses;
// the serial port on pseudo-terminals; files in temporary folders.
#include "platform/Files.h"
#include "platform/LogTarget.h"
#include "platform/SerialControl.h"
#include "platform/SerialProbe.h"
#include "platform/SocketControl.h"
#include "platform/SocketDrain.h"
#include "platform/TlsSession.h"
#include "support/Pty.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace
{
constexpr int kWaitMs = 5000;
const QString kA = QStringLiteral("127.0.0.1"), kB = QStringLiteral("127.0.0.2");

QByteArray pattern(qsizetype size, int seed = 0)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 509 + seed) & 0xff);
    return bytes;
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

// A station's socket with a station's handlers: it accepts calls, reads 1024 bytes a time.
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
        QObject::connect(&socket, &SocketControl::OnRead, &socket, [this] { read(); });
    }
    void read() { received += reading ? socket.Read(1024) : QByteArray(); }
    bool call(const QString &address)
    {
        socket.setRemoteHostAddress(address);
        return socket.Connect();
    }
    // Writes until the socket holds `queued` bytes the kernel did not take, or refuses one.
    QByteArray fill(qsizetype queued)
    {
        QByteArray written;
        for (int seed = 1; socket.pendingWriteBytes() < queued && socket.Write(pattern(1e5, seed));)
            written += pattern(1e5, seed++);
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
    int port = [] {
        QTcpServer server;
        return server.listen(QHostAddress::AnyIPv4, 0) ? int(server.serverPort()) : 0;
    }();
    Station a{kA, port}, b{kB, port};
};

struct Bytes {
    const char *settings; // read back as written, or refused and the old kept
    int handshaking;
    QByteArray sent, received;
};
enum Op { Append, Replace, Rewrite, Read };
struct FileCase {
    Op op;
    const char *name;
    int sizeLimit; // bytes a file may hold, or read may take; 0: none
    QByteArray after;
    const char *error; // empty: succeeds
};
enum Reader { None, Idle, Gone };
const QByteArray kOld(1000, 'o');
const QByteArray kNew = pattern(64 * 1024);
} // namespace
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(FileCase)

class SocketTest final : public QObject
{
    Q_OBJECT
    std::unique_ptr<Link> m;

private Q_SLOTS:
    void init()
    {
        m = std::make_unique<Link>();
        QVERIFY(m->connect());
    }

    void endThenReverseRoles_data()
    {
        QTest::addColumn<bool>("callerEnds");
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("secure");
        for (int row = 0; row < 12; ++row)
            QTest::addRow("%s%s %s", row < 6 ? "" : "secure ", row % 6 < 3 ? "acceptor" : "caller",
                          std::array{"aborts", "closes", "disconnects"}[row % 3])
                << (row % 6 >= 3) << row % 3 << (row >= 6);
    }
    void endThenReverseRoles()
    {
        QFETCH(bool, callerEnds);
        QFETCH(int, how);
        QFETCH(bool, secure);
        if (secure) { // the bytes written before the end still reach the peer, through TLS
            for (Station *s : {&m->a, &m->b}) {
                s->socket.Abort();
                s->socket.setPreSharedKey(QByteArray(TlsSession::kKeyBytes, 'k'));
            }
            QVERIFY(m->connect() && QTest::qWaitFor([&] { return m->a.socket.isSecured(); }));
        }
        const auto end = [how](SocketControl &s) {
            how ? how > 1 ? s.Disconnect() : s.Close() : s.Abort();
        };
        Station &ender = callerEnds ? m->b : m->a, &other = callerEnds ? m->a : m->b;
        // Bytes still queued when the link ends reach the peer, unless it is aborted.
        other.reading = false;
        const QByteArray last = ender.fill(1);
        end(ender.socket);
        QCOMPARE(ender.socket.state(), SocketControl::State::Idle);
        other.reading = true;
        other.read();
        QTRY_COMPARE(other.socket.state(), SocketControl::State::Idle);
        QVERIFY(how == 0 || other.received == last);
        // The same two address pairs at once, the other way round, leaving no TIME_WAIT.
        QVERIFY2(m->b.socket.Listen() && m->a.call(kB), qPrintable(m->a.socket.lastError()));
        QVERIFY(m->linked());
        QCOMPARE(m->b.socket.PeerPort(), m->port);
        end(m->a.socket);
        QTRY_COMPARE(m->b.socket.state(), SocketControl::State::Idle);
        QVERIFY(m->a.socket.Listen());
        QCOMPARE(timeWaitCount(m->port), 0);
    }

    void tlsSession_data()
    {
        QTest::addColumn<QByteArray>("serverKey");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("same key") << QByteArray(TlsSession::kKeyBytes, 'k') << "TLSv1.3, intact";
        QTest::newRow("other key") << QByteArray(TlsSession::kKeyBytes, 'o')
                                   << "sslv3 alert illegal parameter / binder does not verify";
    }
    void tlsSession()
    {
        QFETCH(QByteArray, serverKey);
        TlsSession client(TlsSession::Role::Client, QByteArray(TlsSession::kKeyBytes, 'k'));
        TlsSession server(TlsSession::Role::Server, serverKey);
        // Written before the handshake: held, then sent encrypted; never on the wire in clear.
        const QByteArray early = pattern(70000, 1);
        QVERIFY(client.start() && client.send(early));
        QByteArray wire, toServer = client.takeRaw();
        for (int flight = 0; flight < 4; ++flight) {
            server.receive(toServer);
            const QByteArray toClient = server.takeRaw();
            client.receive(toClient);
            wire += toServer + toClient;
            toServer = client.takeRaw();
        }
        QVERIFY(!wire.contains(early.mid(5000, 32)));
        QTEST(server.isEstablished() ? client.description().section(' ', 0, 0) +
                                           (server.takePlain() == early ? ", intact" : ", damaged")
                                     : client.error() + " / " + server.error(),
              "outcome");
    }

    void listen_despiteTimeWaitOfAnotherProgram()
    {
        QTcpServer server;
        QTcpSocket client;
        QVERIFY(server.listen(QHostAddress(kA), 0));
        client.connectToHost(QHostAddress(kA), server.serverPort());
        QVERIFY(client.waitForConnected(kWaitMs) && server.waitForNewConnection(kWaitMs));
        server.nextPendingConnection()->disconnectFromHost();
        QTRY_VERIFY(timeWaitCount(server.serverPort()) > 0);
        Station a(kA, server.serverPort());
        server.close();
        QVERIFY2(a.socket.Listen(), qPrintable(a.socket.lastError()));
    }

    void failedCall_toldFromEventLoop_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port"); // 0: the link's
        QTest::addColumn<QVariantList>("error");
        // Calling ends the link first; the peer stopped listening when it answered.
        QTest::newRow("refused") << kA << 0 << QVariantList{ECONNREFUSED, "Connection refused"};
        QTest::newRow("address out of range")
            << "300.1.2.3" << 0 << QVariantList{EINVAL, "300.1.2.3 is not a valid IPv4 address"};
        QTest::newRow("port 70000")
            << kA << 70000 << QVariantList{EINVAL, "Port 70000 is not a valid port"};
    }
    void failedCall_toldFromEventLoop()
    {
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QVariantList, error);
        m->b.socket.setRemotePort(port ? port : m->port);
        m->b.call(address);
        QVERIFY(m->b.errors.isEmpty());
        QTRY_COMPARE(m->b.errors, error);
        QCOMPARE(m->b.socket.state(), SocketControl::State::Idle);
        QTRY_VERIFY(!m->a.socket.IsConnected());
    }

    void unreadBytes_holdWriterBack()
    {
        QSignalSpy writable(&m->b.socket, &SocketControl::writable);
        m->a.reading = false;
        // Past the queue's hard limit a write is refused whole.
        const QByteArray accepted = m->b.fill(SocketControl::kWriteQueueHardLimit);
        QCOMPARE(m->b.socket.lastError(), QStringLiteral("No buffer space available"));
        // The reader's buffer stops at its bound, so the kernel's window holds the writer.
        QTRY_COMPARE(m->a.socket.pendingReadBytes(), 64 * 1024);
        QTest::qWait(100); // time to do what it must not
        QCOMPARE(m->a.socket.pendingReadBytes(), 64 * 1024);
        QVERIFY(!m->b.socket.IsWritable() && writable.isEmpty());
        m->a.reading = true;
        m->a.read();
        QTRY_COMPARE(m->a.received.size(), accepted.size());
        QVERIFY(m->a.received == accepted && !writable.isEmpty());
    }

    void callDuringDrain_goesOutWhenPeerResets()
    {
        // B hangs up and calls at once, as a station's next tick does: the call waits for the
        // drain, which the peer's reset ends; the peer is told of the call once.
        m->a.reading = m->a.accepting = false;
        m->a.accepts = 0;
        m->b.fill(SocketControl::kWriteQueueBound);
        m->b.socket.Disconnect();
        QVERIFY(m->b.socket.isDraining() && m->b.call(kA));
        QCOMPARE(m->b.socket.state(), SocketControl::State::Calling);
        QVERIFY(m->a.socket.Listen());
        QTRY_COMPARE_WITH_TIMEOUT(m->a.accepts, 1, SocketDrain::kStallMs / 2);
        QTest::qWait(100); // time to do what it must not
        QVERIFY(m->a.accepts == 1 && m->a.socket.AcceptPending() && m->b.connects == 2);
        QVERIFY(m->linked() && m->b.errors.isEmpty());
    }

    void errorOfEndedConnection_notToldForNewOne()
    {
        // A resets the link and listens again; B writes, with no pass of the event loop, until
        // it meets the reset, and calls anew, by name, before its error has left the queue.
        m->a.socket.Abort();
        QVERIFY(m->a.socket.Listen());
        for (QDeadlineTimer deadline(kWaitMs); m->b.socket.Write("x") && !deadline.hasExpired();)
            ;
        QVERIFY(!m->b.socket.lastError().isEmpty());
        m->b.socket.setRemoteHostName(QStringLiteral("localhost"));
        QVERIFY(m->b.call(QString()));
        QTRY_VERIFY(m->a.socket.IsConnected() && m->b.connects == 2);
        QTest::qWait(100); // time to do what it must not
        QCOMPARE(m->b.errors, QVariantList());
    }
};

// The test plays the device on the master side; the component opens the slave through a
// com link in a temporary settings folder.
class SerialTest final : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Pty> m_pty;
    std::unique_ptr<SerialControl> m_port;
    QByteArray m_in; // what the station took through OnComm, the way it reads it
    qsizetype m_largestInput = 0;
    int m_comms = 0;
    QString path(const char *name) const { return m_dir->filePath(QLatin1String(name)); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_pty = std::make_unique<Pty>();
        QVERIFY2(m_pty->isOpen(), qPrintable(m_pty->errorString()));
        const QString device = m_pty->slavePath();
        QVERIFY(QFile::link(device, path("com1")) && QFile::link(device, path("com2")));
        QVERIFY(QFile::link(path("unplugged"), path("com5")) &&
                QFile::link("/dev/null", path("com17")));
        m_port = std::make_unique<SerialControl>(SerialPortMap(m_dir->path()));
        QVERIFY(m_port->setSettings(QStringLiteral("115200,n,8,1")) && m_port->setPortOpen(true));
        m_in.clear();
        m_largestInput = m_comms = 0;
        connect(m_port.get(), &SerialControl::OnComm, this, [this] {
            const QByteArray piece = m_port->Input();
            m_largestInput = qMax(m_largestInput, piece.size());
            m_in += piece;
            ++m_comms;
        });
    }
    void cleanup() { m_port.reset(); }

    void open_failsReadablyAndStaysClosed_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("expected"); // %1: the settings folder
        QTest::newRow("port 17, though linked") << 17 << "Com17 is not a valid port";
        // A dangling link still names the port: no other device is opened behind its back.
        QTest::newRow("unplugged") << 5 << "%1/com5: No such file or directory";
        QTest::newRow("held, other link") << 2 << "%1/com2: the port is in use by another program";
    }
    void open_failsReadablyAndStaysClosed()
    {
        QFETCH(int, port);
        QFETCH(QString, expected);
        SerialControl second{SerialPortMap(m_dir->path())};
        second.setCommPort(port);
        QVERIFY(!second.setPortOpen(true) && !second.PortOpen());
        QCOMPARE(second.errorString(),
                 expected.contains(u'%') ? expected.arg(m_dir->path()) : expected);
        QCOMPARE(SerialPortMap(m_dir->path()).devicePath(16), QStringLiteral("/dev/ttyS15"));
        QVERIFY(!SerialProbe::canOpenSerialDevice(path("com2")));
        QVERIFY(m_pty->writeAll("ok"));
        QTRY_COMPARE(m_in, QByteArray("ok"));
    }

    void bytesPassUnderSettings_data()
    {
        QTest::addColumn<Bytes>("b");
        QByteArray all;
        for (int value = 0; value < 512; ++value)
            all.append(static_cast<char>(value));
        const QByteArray xonXoff("a\x13"
                                 "b\x11"
                                 "c");
        QTest::newRow("even 7 data bits") << Bytes{"9600,e,7,1", 0, all, all};
        QTest::newRow("RTS/CTS, 2 stop bits") << Bytes{"115200,N,8,2", 2, all, all};
        QTest::newRow("XON/XOFF eaten") << Bytes{"300,o,7,1.5", 1, xonXoff, "abc"};
        QTest::newRow("XON/XOFF passed") << Bytes{"1200,M,5,1.5", 0, xonXoff, xonXoff};
        QTest::newRow("space") << Bytes{"19200,s,6,2", 0, all, all};
        for (const char *refused :
             {"", "9600", "9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,1.0",
              "0,n,8,1", "9600, n,8,1", "9600,n,8,1,", "9600,even,8,1"})
            QTest::newRow(refused) << Bytes{refused, 3, all, all};
    }
    void bytesPassUnderSettings()
    {
        // A device that keeps its own line format (as a pseudo-terminal does) is used as it is.
        QFETCH(Bytes, b);
        const bool valid = b.handshaking < 3;
        QCOMPARE(m_port->setSettings(QLatin1String(b.settings)), valid);
        QCOMPARE(m_port->setHandshaking(b.handshaking), valid);
        QCOMPARE(m_port->Settings(), QLatin1String(valid ? b.settings : "115200,n,8,1"));
        QVERIFY(valid || !m_port->errorString().isEmpty());
        QVERIFY(m_pty->writeAll(b.sent));
        QTRY_VERIFY(m_in.size() >= b.received.size());
        QCOMPARE(m_in, b.received);
        m_port->Output(b.received);
        QCOMPARE(m_pty->readUntil(b.received.size()), b.received);
    }

    void inputPaused_burstStaysInDeviceThenReadOnPastOneTtyRead()
    {
        // The burst waits in the terminal, which hands out 4 KB per read.
        m_port->setInputPaused(true);
        const QByteArray burst = pattern(40 * 1024).left(m_pty->write(pattern(40 * 1024)));
        QVERIFY(burst.size() > 2 * SerialControl::kTtyBufferSize);
        QTest::qWait(100); // time to do what it must not
        QVERIFY(m_comms == 0 && m_port->InBufferCount() <= 1);
        m_port->setInputPaused(false);
        QTRY_COMPARE(m_in.size(), burst.size());
        QVERIFY(m_in == burst && m_largestInput > SerialControl::kTtyBufferSize);
        QVERIFY(m_largestInput <= SerialControl::kInputBound);
    }

    void output_queuedInOrderAndOverflowTold()
    {
        QSignalSpy written(m_port.get(), &SerialControl::bytesWritten);
        QSignalSpy overflowStarted(m_port.get(), &SerialControl::outputOverflowStarted);
        QSignalSpy overflowEnded(m_port.get(), &SerialControl::outputOverflowEnded);
        // More than a terminal holds, in pieces; the device drains between some of them,
        // so later pieces meet a queue and must wait behind it.
        const QByteArray bytes = pattern(400 * 1024);
        QByteArray out;
        for (qsizetype at = 0; at < bytes.size(); at += 40 * 1024) {
            m_port->Output(bytes.mid(at, 40 * 1024));
            out += m_pty->read();
        }
        // Past the queue's bound whole writes are dropped, and the overflow told once.
        const QByteArray tooMuch(SerialControl::kWriteBufferBound, 'x');
        m_port->Output(tooMuch);
        m_port->Output(tooMuch);
        QCOMPARE(overflowStarted.count(), 1);
        out += m_pty->readUntil(bytes.size() - out.size());
        QVERIFY(out == bytes);
        QTRY_COMPARE(overflowEnded.count(), 1);
        QCOMPARE(overflowEnded.at(0).at(0).toLongLong(), 2 * tooMuch.size());
        QVERIFY(m_port->OutBufferCount() == 0 && !written.isEmpty());
    }
};

// What replaces data is atomic, what fails says where and why and loses nothing; a traffic
// log may be a FIFO or a device.
class FilesTest final : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void init()
    {
        QFile::remove(path(QStringLiteral("old")));
        QVERIFY(Files::append(path(QStringLiteral("old")), kOld));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder/inside")));
        QVERIFY(QFile::exists(path("fifo")) ||
                ::mkfifo(QFile::encodeName(path("fifo")), 0600) == 0);
    }

    void files_data()
    {
        QTest::addColumn<FileCase>("c");
        const QByteArray none("<none>");
        QTest::newRow("append") << FileCase{Append, "old", 0, kOld + kNew, ""};
        QTest::newRow("append cut short") << FileCase{Append, "old", 4096, kOld, "File too large"};
        QTest::newRow("replace") << FileCase{Replace, "old", 0, kNew, ""};
        QTest::newRow("replace cut short") << FileCase{Replace, "old", 4096, kOld, "old"};
        QTest::newRow("replace, new folders") << FileCase{Replace, "etc/t/SAV", 0, kNew, ""};
        QTest::newRow("rewrite in place") << FileCase{Rewrite, "old", 0, kNew, ""};
        QTest::newRow("rewrite cut short") << FileCase{Rewrite, "old", 4096, kOld, "old"};
        QTest::newRow("append, no folder") << FileCase{Append, "no/rx", 0, none, "No such file"};
        // Never waits for a reader; a FIFO or device belongs to LogTarget.
        QTest::newRow("append to FIFO") << FileCase{Append, "fifo", 0, {}, "No such device"};
        QTest::newRow("replace a folder") << FileCase{Replace, "folder", 0, none, "is a folder"};
        QTest::newRow("replace under a file") << FileCase{Replace, "old/S", 0, none, "in the way"};
        QTest::newRow("read") << FileCase{Read, "old", 0, kOld, ""};
        QTest::newRow("read, too large") << FileCase{Read, "old", 999, none, "larger than 999"};
        QTest::newRow("read, missing") << FileCase{Read, "no", 0, none, "No such file"};
    }
    void files()
    {
        QFETCH(FileCase, c);
        const QString where = path(QLatin1String(c.name));
        QByteArray read("<none>");
        const auto limitFileSize = [](rlim_t bytes) {
            const rlimit limit{bytes, RLIM_INFINITY};
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        };
        QVERIFY(limitFileSize(c.op == Read || !c.sizeLimit ? RLIM_INFINITY : c.sizeLimit));
        const Files::Result result =
            c.op == Append    ? Files::append(where, kNew)
            : c.op == Replace ? Files::replaceAtomically(where, kNew)
            : c.op == Rewrite ? Files::rewriteInPlace(where, kNew)
                              : Files::read(where, &read, c.sizeLimit ? c.sizeLimit : 4096);
        QVERIFY(limitFileSize(RLIM_INFINITY));
        if (QFile file(where); c.op != Read && !c.after.isEmpty())
            read = file.open(QIODevice::ReadOnly) ? file.readAll() : "<none>";
        QCOMPARE(result.ok, !*c.error);
        QVERIFY2(result.ok || (result.error.contains(where.section(u'/', 0, -2)) &&
                               result.error.contains(QLatin1String(c.error))),
                 qPrintable(result.error));
        QVERIFY(c.after.isEmpty() || read == c.after);
        // Nothing else is left behind or harmed.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old"});
        QVERIFY(QFileInfo(path("folder/inside")).isDir());
    }

    void logTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("reader");
        QTest::addColumn<QString>("error"); // empty: none
        QTest::newRow("device") << "/dev/null" << int(None) << "";
        QTest::newRow("FIFO full: takes what fits") << "fifo" << int(Idle) << "";
        QTest::newRow("FIFO, no reader") << "fifo" << int(None) << "no program is reading it";
        QTest::newRow("FIFO, reader gone")
            << "fifo" << int(Gone) << "the program reading it has gone";
    }
    void logTarget()
    {
        QFETCH(QString, target);
        QFETCH(int, reader);
        QFETCH(QString, error);
        const QString where = target.startsWith(u'/') ? target : path(target);
        const int fd = reader ? ::open(QFile::encodeName(where), O_RDONLY | O_NONBLOCK) : -1;
        LogTarget logTarget;
        const QByteArray bytes(reader == Idle ? 1024 * 1024 : 1000, 'x');
        QCOMPARE(logTarget.append(where, "first").written, error.isEmpty() || reader ? 5 : 0);
        if (reader)
            ::close(reader == Gone ? fd : -1);
        const LogTarget::Result result = logTarget.append(where, bytes);
        QCOMPARE(result.error, error.isEmpty() ? error : where + QStringLiteral(": ") + error);
        QVERIFY(reader == Idle ? result.written > 0 && result.written < bytes.size()
                               : result.written == (error.isEmpty() ? bytes.size() : 0));
        // A FIFO is the user's own: removing logs leaves it.
        QVERIFY(target != "fifo" || (!Files::remove(where) && QFile::exists(where)));
        ::close(reader == Idle ? fd : -1);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::signal(SIGXFSZ, SIG_IGN); // a full disk, also for root, is a file size limit
    SocketTest socket;
    SerialTest serial;
    FilesTest files;
    return QTest::qExec(&socket, argc, argv) | QTest::qExec(&serial, argc, argv) |
           QTest::qExec(&files, argc, argv);
}

#include "components_test.moc"