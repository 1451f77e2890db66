// Real tethra processes, each with a pseudo-terminal as Com1 and its status history in a
// file: two stations in network namespaces meeting the faults of months of running; one
// station against a peer played here byte for byte; a station's settings file across a run.
#include "link/LinkProtocol.h"
#include "support/Namespaces.h"
#include "support/StationProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int kWaitMs = 10000;

QByteArray pattern(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + seed * 101 + (i >> 8)) & 0xff);
    return bytes;
}

QByteArray delim()
{
    return LinkProtocol::PacketDelim();
}

QByteArray stateFrom(char flag)
{
    return QByteArray("  ") + delim() + flag + "  " + delim() + flag;
}

QByteArray dataFrom(const QByteArray &payload)
{
    return QByteArray("  ") + delim() + 'D' + payload + delim() + 'E';
}

// Payloads of the data messages in bytes, and whether every message is no longer than the
// layout allows.
QByteArray payloads(const QByteArray &bytes, bool *withinBound = nullptr)
{
    const QByteArray head = QByteArray("  ") + delim() + 'D';
    QByteArray found;
    for (qsizetype at = bytes.indexOf(head); at >= 0; at = bytes.indexOf(head, at + 1)) {
        const qsizetype end = bytes.indexOf(delim() + 'E', at + head.size());
        if (end < 0)
            break;
        found += bytes.mid(at + head.size(), end - at - head.size());
        if (withinBound && end + delim().size() + 1 - at > LinkProtocol::kMaxMessageLength)
            *withinBound = false;
    }
    return found;
}

// Pumps the stations' devices while it waits.
bool waitFor(std::initializer_list<StationProcess *> stations, const std::function<bool()> &done,
             int timeoutMs = kWaitMs)
{
    return QTest::qWaitFor(
        [&] {
            for (StationProcess *station : stations)
                station->pump();
            return done();
        },
        timeoutMs);
}

// Writes a marker at each end until it has come out of the other end, both ways at once,
// then lets stragglers arrive and forgets them.
bool waitForLink(StationProcess &a, StationProcess &b, int timeoutMs = 30000)
{
    const QByteArray marker("link?");
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        for (StationProcess *station : {&a, &b}) {
            if (!(station == &a ? b : a).received.contains(marker))
                station->device().write(marker);
        }
        if (waitFor(
                {&a, &b},
                [&] { return a.received.contains(marker) && b.received.contains(marker); }, 250)) {
            waitFor(
                {&a, &b}, [] { return false; }, 300);
            a.received.clear();
            b.received.clear();
            return true;
        }
    }
    return false;
}

// Sends bytes from one device into the other's and checks they arrive whole.
bool crossesWhole(StationProcess &from, StationProcess &to, const QByteArray &data)
{
    to.received.clear();
    if (!from.device().writeAll(data, kWaitMs))
        return false;
    waitFor({&to}, [&] { return to.received.size() >= data.size(); });
    return to.received == data;
}

QString text(const SettingsRecords &r)
{
    return QStringList{QString::number(r.portNumber),
                       r.remoteHost,
                       QString::number(r.serialPort),
                       r.serialSettings,
                       QString::number(r.handshaking),
                       r.rxLogFile,
                       r.txLogFile,
                       QString::number(r.viewTraffic),
                       QString::number(r.runInServerMode),
                       QString::number(r.autoResolveHostName)}
        .join(QLatin1Char('|'));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 peakMemoryKb(qint64 pid)
{
    const QList<QByteArray> lines =
        fileBytes(QStringLiteral("/proc/%1/status").arg(pid)).split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// The other end of the link, played by hand: listens where the station calls, keeps all
// the station sends, and answers each of its state messages with one of its own.
class RawPeer final
{
public:
    RawPeer()
    {
        m_server.listen(QHostAddress(QStringLiteral("127.0.0.2")));
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                m_socket = socket;
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (socket != m_socket)
                        return;
                    const QByteArray bytes = socket->readAll();
                    received += bytes;
                    for (char flag : {'A', 'L', 'R'}) {
                        if (replyFlag && bytes.contains(stateFrom(flag)))
                            send(stateFrom(replyFlag));
                    }
                });
                QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this] { topUp(); });
            }
        });
    }
    int port() const { return m_server.serverPort(); }
    bool isConnected() const
    {
        return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    }
    void send(const QByteArray &bytes)
    {
        if (isConnected())
            m_socket->write(bytes);
    }
    // Sends `bytes` more from the source, keeping a bounded queue.
    void flood(qint64 bytes, std::function<QByteArray()> source)
    {
        m_floodLeft = bytes;
        m_source = std::move(source);
        topUp();
    }
    bool flooded() const { return m_floodLeft <= 0 && isConnected() && !m_socket->bytesToWrite(); }
    void dropWithReset()
    {
        m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 0);
        m_socket->abort();
    }
    void close() { m_socket->disconnectFromHost(); }

    char replyFlag = 'A';
    QByteArray received;
    int connections = 0;

private:
    void topUp()
    {
        while (isConnected() && m_floodLeft > 0 && m_socket->bytesToWrite() < 256 * 1024) {
            const QByteArray chunk = m_source();
            m_socket->write(chunk);
            m_floodLeft -= chunk.size();
        }
    }

    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    qint64 m_floodLeft = 0;
    std::function<QByteArray()> m_source;
};

} // namespace

class SystemTest : public QObject
{
    Q_OBJECT

public:
    enum class Fault { PeerKilled, LinkCut, StopOnSlowLink, StopOnDeadLink, FullDisk };
    enum class Peer {
        States,
        LocalLoop,
        RemoteLoop,
        Data,
        UnknownFlag,
        ByteByByte,
        CutPacket,
        ManyThenClose,
        Flood
    };
    enum class Saved { Input, Defaults, DefaultsAndLogs, Unchanged };
    Q_ENUM(Fault)
    Q_ENUM(Peer)
    Q_ENUM(Saved)

private Q_SLOTS:
    void initTestCase();
    void twoStations_data();
    void twoStations();
    void stationAndPeer_data();
    void stationAndPeer();
    void settingsAcrossRun_data();
    void settingsAcrossRun();
    void helpWithoutDisplay_data();
    void helpWithoutDisplay();
};

void SystemTest::initTestCase()
{
    if (StationProcess::binary().isEmpty() || ::geteuid() != 0)
        QSKIP(
            "needs TETHRA_BINARY and root (for namespaces and another user); ctest in CI has both");
}

void SystemTest::twoStations_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("peer killed and started again") << Fault::PeerKilled;
    QTest::newRow("link cut") << Fault::LinkCut;
    QTest::newRow("stop on a slow link") << Fault::StopOnSlowLink;
    QTest::newRow("stop on a dead link") << Fault::StopOnDeadLink;
    QTest::newRow("logs on a full disk") << Fault::FullDisk;
}

void SystemTest::twoStations()
{
    QFETCH(Fault, fault);
    NamespacePair hosts;
    QVERIFY2(hosts.isUp(), qPrintable(hosts.errorString()));
    StationProcess stations[2];
    StationProcess &here = stations[0];
    StationProcess &there = stations[1];
    QTemporaryDir disk;
    if (fault == Fault::FullDisk) {
        // Mounted before the station starts, so its namespace sees it.
        QVERIFY(
            NamespacePair::run({"mount", "-t", "tmpfs", "-o", "size=64k", "tethra", disk.path()}));
    }
    const auto unmount = qScopeGuard([&] { NamespacePair::run({"umount", "-l", disk.path()}); });
    const bool slow = fault == Fault::StopOnSlowLink || fault == Fault::StopOnDeadLink;
    if (slow)
        QVERIFY(hosts.setLinkRate(QStringLiteral("4mbit")));
    for (int host = 0; host < 2; ++host) {
        SettingsRecords records = StationProcess::records(hosts.address(1 - host));
        if (host == 0 && fault == Fault::FullDisk) {
            records.rxLogFile = disk.filePath(QStringLiteral("rx.log"));
            records.txLogFile = disk.filePath(QStringLiteral("tx.log"));
        }
        // The receive log shows when the station has read the last byte of a burst.
        if (host == 0 && slow)
            records.rxLogFile = stations[0].path(QStringLiteral("rx.log"));
        records.viewTraffic = !records.rxLogFile.isEmpty();
        QVERIFY(stations[host].writeSettings(records));
        QVERIFY(stations[host].start(hosts.inHost(host)));
    }
    QVERIFY2(waitForLink(here, there), qPrintable(here.output()));
    QByteArray everyValue;
    for (int value = 0; value < 64 * 256; ++value)
        everyValue += char(value);
    QVERIFY(crossesWhole(here, there, everyValue));
    QVERIFY(crossesWhole(there, here, everyValue));
    const qsizetype mark = here.statuses().size();

    switch (fault) {
    case Fault::PeerKilled: {
        // Mid-transfer: this station's device keeps sending while its peer goes.
        QTimer traffic;
        connect(&traffic, &QTimer::timeout, [&] { here.device().write(pattern(512, 3)); });
        traffic.start(10);
        QVERIFY(waitFor({&there}, [&] { return there.received.size() > 8192; }));
        QVERIFY(there.stop(SIGKILL));
        // The survivor says the link is gone and runs on.
        const QStringList linked = {"Connected", "ACCEPTING", "CONNECTING"};
        QVERIFY(waitFor({}, [&] {
            const QStringList seen = here.statuses().mid(mark);
            return std::any_of(seen.cbegin(), seen.cend(),
                               [&](const QString &status) { return !linked.contains(status); });
        }));
        traffic.stop();
        QVERIFY(here.isRunning());
        QVERIFY(there.start(hosts.inHost(1)));
        QVERIFY(waitForLink(here, there));
        break;
    }
    case Fault::LinkCut: {
        // Both send a little every 100 ms: the last bytes out of a device show when its
        // station last heard from the other.
        QElapsedTimer clock;
        clock.start();
        qint64 lastArrival[2] = {0, 0};
        qint64 silenceAtTimeOut[2] = {-1, -1};
        QTimer traffic;
        connect(&traffic, &QTimer::timeout, [&] {
            for (int host = 0; host < 2; ++host) {
                stations[host].device().write("tick");
                const qsizetype before = stations[host].received.size();
                stations[host].pump();
                if (stations[host].received.size() > before)
                    lastArrival[host] = clock.elapsed();
            }
        });
        traffic.start(100);
        QVERIFY(waitFor({}, [&] { return lastArrival[0] > 0 && lastArrival[1] > 0; }));
        QVERIFY(hosts.setLinkUp(false));
        QVERIFY(waitFor({}, [&] {
            for (int host = 0; host < 2; ++host) {
                if (silenceAtTimeOut[host] < 0 &&
                    stations[host].statuses().mid(mark).contains(QStringLiteral("Timed-Out")))
                    silenceAtTimeOut[host] = clock.elapsed() - lastArrival[host];
            }
            return silenceAtTimeOut[0] >= 0 && silenceAtTimeOut[1] >= 0;
        }));
        // Silence is told after the fifth one-second tick without a packet.
        for (qint64 silence : silenceAtTimeOut)
            QVERIFY2(silence >= 3800 && silence <= 5700, qPrintable(QString::number(silence)));
        traffic.stop();
        QVERIFY(hosts.setLinkUp(true));
        QVERIFY(waitForLink(here, there));
        break;
    }
    case Fault::StopOnSlowLink:
    case Fault::StopOnDeadLink: {
        // At 4 Mbit/s the burst needs about 0.6 s; the stop comes once the station has read it.
        const QByteArray burst = pattern(300 * 1024, 31) + "-- end of burst --";
        there.received.clear();
        QVERIFY(here.device().writeAll(burst, kWaitMs));
        QVERIFY(waitFor({&there}, [&] {
            return fileBytes(here.path(QStringLiteral("rx.log"))).endsWith("end of burst --");
        }));
        if (fault == Fault::StopOnDeadLink) {
            // A peer that is gone must not hold the stop up for long.
            QVERIFY(hosts.setLinkUp(false));
            QVERIFY(here.stop(SIGTERM, 6000));
            return;
        }
        QVERIFY(here.stop(SIGTERM));
        QVERIFY(waitFor({&there}, [&] { return there.received.size() >= burst.size(); }));
        QCOMPARE(there.received, burst);
        const QByteArray saved = fileBytes(here.path(QLatin1String(SettingsRecords::kFileName)));
        QCOMPARE(saved.count("\r\n"), qsizetype(SettingsRecords::kRecordCount));
        SettingsRecords expected = StationProcess::records(hosts.address(1));
        expected.rxLogFile = here.path(QStringLiteral("rx.log"));
        expected.viewTraffic = true;
        QCOMPARE(text(decodeSettingsRecords(saved).records), text(expected));
        return;
    }
    case Fault::FullDisk:
        break;
    }
    // Far more than the disk holds crosses, both ways.
    QVERIFY(crossesWhole(here, there, pattern(128 * 1024, 10)));
    QVERIFY(crossesWhole(there, here, pattern(128 * 1024, 20)));
    if (fault == Fault::FullDisk) {
        const qint64 logged = QFileInfo(disk.filePath(QStringLiteral("rx.log"))).size() +
                              QFileInfo(disk.filePath(QStringLiteral("tx.log"))).size();
        QVERIFY2(logged > 0 && logged <= 64 * 1024, qPrintable(QString::number(logged)));
    }
    for (StationProcess &station : stations) {
        QVERIFY(station.stop(SIGTERM));
        for (const char *report :
             {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
            QVERIFY2(!station.output().contains(QLatin1String(report)),
                     qPrintable(station.output()));
    }
}

void SystemTest::stationAndPeer_data()
{
    QTest::addColumn<Peer>("peer");
    QTest::addColumn<char>("replyFlag");
    QTest::addColumn<char>("stationFlag");
    QTest::addColumn<QString>("status");

    QTest::newRow("a state message each tick") << Peer::States << 'A' << 'A' << "Connected";
    QTest::newRow("peer expects loopback") << Peer::LocalLoop << 'R' << 'L' << "Local Loopback";
    QTest::newRow("peer loops back") << Peer::RemoteLoop << 'L' << 'R' << "Remote Loopback";
    QTest::newRow("device data in messages") << Peer::Data << 'A' << 'A' << "Connected";
    QTest::newRow("unknown flag before data") << Peer::UnknownFlag << 'A' << 'A' << "Connected";
    QTest::newRow("a message byte by byte") << Peer::ByteByByte << 'A' << 'A' << "Connected";
    QTest::newRow("connection reset mid-message") << Peer::CutPacket << 'A' << 'A' << "Connected";
    QTest::newRow("many messages, then close") << Peer::ManyThenClose << 'A' << 'A' << "Connected";
    QTest::newRow("flood of garbage") << Peer::Flood << 'A' << 'A' << "Connected";
}

void SystemTest::stationAndPeer()
{
    QFETCH(Peer, peer);
    QFETCH(char, replyFlag);
    QFETCH(char, stationFlag);
    QFETCH(QString, status);
    RawPeer remote;
    QVERIFY(remote.port() > 0);
    StationProcess station;
    QVERIFY(
        station.writeSettings(StationProcess::records(QStringLiteral("127.0.0.2"), remote.port())));
    QVERIFY(station.start({}, {QStringLiteral("--bind"), QStringLiteral("127.0.0.1")}));
    remote.replyFlag = replyFlag;
    QVERIFY2(waitFor({}, [&] { return remote.isConnected(); }), qPrintable(station.output()));
    remote.send(stateFrom(replyFlag));
    QVERIFY(waitFor({}, [&] { return station.statuses().endsWith(status); }));
    // State messages in the mode's flag, one each tick.
    QVERIFY(waitFor({}, [&] {
        return remote.received.count(stateFrom(stationFlag)) >= (peer == Peer::States ? 3 : 1);
    }));
    const qint64 memoryBefore = peakMemoryKb(station.pid());

    QByteArray expected; // out of the station's device
    switch (peer) {
    case Peer::States:
    case Peer::RemoteLoop:
        break;
    case Peer::LocalLoop: {
        // Data from the peer goes back without the blanks; the device's input is echoed.
        remote.send(dataFrom("mirror me"));
        QVERIFY(waitFor({}, [&] {
            return remote.received.contains(delim() + 'D' + "mirror me" + delim() + 'E');
        }));
        QVERIFY(!remote.received.contains(dataFrom("mirror me")));
        QVERIFY(station.device().writeAll("echo"));
        expected = "echo";
        break;
    }
    case Peer::Data: {
        QByteArray sent;
        for (int value = 0; value < 256; ++value)
            sent += char(value);
        sent += pattern(40000, 2);
        QVERIFY(station.device().writeAll(sent));
        QVERIFY(waitFor({}, [&] { return payloads(remote.received).size() >= sent.size(); }));
        bool withinBound = true;
        QCOMPARE(payloads(remote.received, &withinBound), sent);
        QVERIFY(withinBound);
        break;
    }
    case Peer::UnknownFlag:
        remote.send(delim() + 'X' + dataFrom("hello") + delim() + 'Y' + dataFrom("more"));
        expected = "hellomore";
        break;
    case Peer::ByteByByte: {
        const QByteArray message = dataFrom("split into single bytes");
        for (char byte : message) {
            remote.send(QByteArray(1, byte));
            QTest::qWait(5); // the peer's own pace: a byte per segment
        }
        expected = "split into single bytes";
        break;
    }
    case Peer::CutPacket:
        // A packet never spans two connections: the station calls again by itself.
        remote.send(QByteArray("  ") + delim() + 'D' + "partial");
        QVERIFY(waitFor({}, [&] { return remote.isConnected(); }));
        remote.dropWithReset();
        QVERIFY(waitFor({}, [&] { return remote.connections == 2 && remote.isConnected(); }));
        remote.send(dataFrom("fresh") + delim() + 'E');
        expected = "fresh";
        break;
    case Peer::ManyThenClose: {
        // Sizes that cut the station's reads at every kind of place, then the end at once.
        QByteArray wire;
        for (int index = 0; index < 400; ++index) {
            const QByteArray payload = pattern((index * 37) % 1500 + 1, index);
            expected += payload;
            wire += dataFrom(payload);
        }
        remote.send(wire);
        remote.close();
        break;
    }
    case Peer::Flood: {
        // Random bytes without a delimiter, then random bytes cut by delimiters with random
        // flags, some of them opening packets longer than any the station keeps.
        QRandomGenerator random(7);
        bool delimited = false;
        const auto chunk = [&] {
            QByteArray bytes(64 * 1024, Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            for (int at = 0; delimited && at < 8; ++at)
                bytes.replace(random.bounded(bytes.size() - 20), 11,
                              delim() + "ALRDEXz"[random.bounded(7)]);
            return bytes;
        };
        QTimer device;
        connect(&device, &QTimer::timeout, [&] { station.pump(); });
        device.start(5);
        for (bool withDelimiters : {false, true}) {
            delimited = withDelimiters;
            remote.flood((withDelimiters ? 4 : 12) * 1024 * 1024, chunk);
            QVERIFY(waitFor(
                {}, [&] { return remote.flooded(); }, 30000));
        }
        // End whatever packet the flood left open, then send a marker until it comes out.
        remote.send(delim() + 'E' + stateFrom('A'));
        QVERIFY(waitFor({}, [&] {
            remote.send(dataFrom("-- end of flood --"));
            return station.received.endsWith("-- end of flood --");
        }));
        remote.send(dataFrom("-- last --"));
        QVERIFY(waitFor({}, [&] { return station.received.endsWith("-- last --"); }));
        const qint64 grownKb = peakMemoryKb(station.pid()) - memoryBefore;
        // The station's buffers are bounded (a packet, the serial queue), far below a flood.
        QVERIFY2(grownKb < 6 * 1024, qPrintable(QString::number(grownKb)));
        station.received.clear();
        remote.send(dataFrom(pattern(256, 5)));
        expected = pattern(256, 5);
        break;
    }
    }
    QVERIFY(waitFor({&station}, [&] { return station.received.size() >= expected.size(); }));
    QCOMPARE(station.received, expected);
    if (peer != Peer::ManyThenClose)
        QVERIFY(waitFor({}, [&] { return station.statuses().endsWith(status); }));
}

void SystemTest::settingsAcrossRun_data()
{
    QTest::addColumn<QString>("file");     // none, whole, short (ends after the logs), folder
    QTest::addColumn<bool>("asOtherUser"); // in a folder only root may write, without a device
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("limited"); // no file may grow past the old settings file's size
    QTest::addColumn<Saved>("saved");
    QTest::addColumn<bool>("reported");

    QTest::newRow("first run") << "none" << false << 0644 << false << Saved::Defaults << false;
    QTest::newRow("whole file") << "whole" << false << 0644 << false << Saved::Input << false;
    QTest::newRow("short file") << "short" << false << 0644 << false << Saved::DefaultsAndLogs
                                << false;
    QTest::newRow("a folder in its place")
        << "folder" << false << 0644 << false << Saved::Unchanged << true;
    QTest::newRow("write fails") << "short" << false << 0644 << true << Saved::Unchanged << true;
    QTest::newRow("rewritten in place")
        << "short" << true << 0666 << false << Saved::Defaults << false;
    QTest::newRow("file read-only")
        << "short" << true << 0644 << false << Saved::Unchanged << false;
    QTest::newRow("rewrite in place fails")
        << "short" << true << 0666 << true << Saved::Unchanged << true;
}

void SystemTest::settingsAcrossRun()
{
    QFETCH(QString, file);
    QFETCH(bool, asOtherUser);
    QFETCH(int, fileMode);
    QFETCH(bool, limited);
    QFETCH(Saved, saved);
    QFETCH(bool, reported);
    StationProcess station;
    const QString settings = station.path(QLatin1String(SettingsRecords::kFileName));
    const QString logs[] = {station.path(QStringLiteral("rx.log")),
                            station.path(QStringLiteral("tx.log"))};
    SettingsRecords input = StationProcess::records(QStringLiteral("127.0.0.2"), 19811);
    input.serialSettings = QStringLiteral("19200,e,7,1");
    input.handshaking = 2;
    input.rxLogFile = logs[0];
    input.txLogFile = logs[1];
    input.viewTraffic = input.runInServerMode = input.autoResolveHostName = true;
    if (asOtherUser)
        input = SettingsRecords{};
    QVERIFY(station.writeSettings(input));
    if (file == QLatin1String("short")) {
        // Ends after the transmit log's record.
        const QList<QByteArray> lines = fileBytes(settings).split('\n');
        QFile(settings).resize(lines.mid(0, SettingsRecords::kTxLogFileRecord).join('\n').size() +
                               1);
    } else if (file != QLatin1String("whole")) {
        QVERIFY(QFile::remove(settings));
        if (file == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(settings));
    }
    for (const QString &log : logs)
        QFile(log).open(QIODevice::WriteOnly);
    const QByteArray before = fileBytes(settings);
    QStringList wrapper;
    if (limited) // a write past the limit fails, instead of ending the process
        wrapper = QStringList{"sh", "-c",      "trap '' XFSZ; exec \"$@\"",
                              "sh", "prlimit", QStringLiteral("--fsize=%1").arg(before.size())};
    if (asOtherUser) {
        wrapper += QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        QFile(station.path(QStringLiteral("status.log"))).open(QIODevice::WriteOnly);
        QVERIFY(::chmod(qPrintable(station.path("status.log")), 0666) == 0);
        QVERIFY(::chmod(qPrintable(settings), mode_t(fileMode)) == 0);
        QVERIFY(::chmod(qPrintable(station.path({})), 0555) == 0);
    }
    QVERIFY(station.start(wrapper));
    // The stop comes as soon as the station takes it as one, even with a box still open.
    QVERIFY(waitFor({}, [&] {
        const QByteArray status = fileBytes(QStringLiteral("/proc/%1/status").arg(station.pid()));
        const qsizetype at = status.indexOf("SigCgt:");
        return at >= 0 &&
               status.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) & (1 << (SIGTERM - 1));
    }));
    QVERIFY2(station.stop(SIGTERM, 5000), "still running 5 s after SIGTERM");
    // Log files named in the settings are new each run.
    for (const QString &log : logs)
        QCOMPARE(QFile::exists(log), asOtherUser || file == "none" || file == "folder");
    ::chmod(qPrintable(station.path({})), 0700);

    QCOMPARE(station.output().contains(QLatin1String("ERROR - TETHRA.SAV")), reported);
    if (!limited)
        QCOMPARE(fileBytes(station.path("status.log")).contains("ERROR - TETHRA.SAV"), reported);
    const QByteArray after = fileBytes(settings);
    if (saved == Saved::Unchanged) {
        QCOMPARE(after, before);
    } else {
        QVERIFY(after != before); // the filler record is drawn anew each save
        QCOMPARE(after.count("\r\n"), qsizetype(SettingsRecords::kRecordCount));
        SettingsRecords expected = saved == Saved::Input ? input : SettingsRecords{};
        if (saved == Saved::DefaultsAndLogs) {
            expected.rxLogFile = logs[0];
            expected.txLogFile = logs[1];
        }
        QCOMPARE(text(decodeSettingsRecords(after).records), text(expected));
    }
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(station.path({})).entryList(QDir::Files).filter(QStringLiteral("TETHRA")),
             QStringList{QLatin1String(SettingsRecords::kFileName)}.mid(
                 0, file != QLatin1String("folder")));
}

void SystemTest::helpWithoutDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("--help") << "--help"
                            << "Usage: tethra [options]";
    QTest::newRow("-v") << "-v"
                        << "tethra 1.0.4";
}

void SystemTest::helpWithoutDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, firstLine);
    QProcess tethra;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    tethra.setProcessEnvironment(environment);
    tethra.start(StationProcess::binary(), {option});
    QVERIFY(tethra.waitForFinished(kWaitMs));
    QCOMPARE(tethra.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(tethra.readAllStandardOutput()).section('\n', 0, 0), firstLine);
}

QTEST_GUILESS_MAIN(SystemTest)
#include "system_test.moc"
