// Real tethra processes, each with a pseudo-terminal as Com1 and its status history in a
// file: two stations in network namespaces meeting the faults of months of running; one
// station against a peer played here byte for byte; a station's settings file across a run.
#include "app/SecuritySettings.h"
#include "link/LinkProtocol.h"
#include "support/FakeServices.h"
#include "support/Namespaces.h"
#include "support/StationProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
constexpr int kWaitMs = 10000;
#ifdef __SANITIZE_ADDRESS__
// The sanitizer keeps freed memory in quarantine (up to 256 MB): the tight bound is the normal
// build's; here the check only catches a runaway.
constexpr qint64 kFloodGrowthKb = 200 * 1024;
#else
constexpr qint64 kFloodGrowthKb = 6 * 1024;
#endif
const QByteArray kDelim = LinkProtocol::PacketDelim();

QByteArray pattern(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + seed * 101 + (i >> 8)) & 0xff);
    return bytes;
}

const auto stateFrom = [](char flag) { return "  " + kDelim + flag + "  " + kDelim + flag; };
const auto dataFrom = [](const QByteArray &data) {
    return "  " + kDelim + 'D' + data + kDelim + 'E';
};

// A field of /proc/<pid>/status, such as VmHWM (kB) or SigCgt (hex).
quint64 procStatus(qint64 pid, const QByteArray &field, int base = 10)
{
    const QRegularExpression line('\n' + field + ":\\s*(\\w+)");
    return line.match(fileBytes(QStringLiteral("/proc/%1/status").arg(pid)))
        .captured(1)
        .toULongLong(nullptr, base);
}

// Writes a numbered marker at each end until the latest has come out of the other end. Bytes
// written before the link is up are lost and the link keeps order, so none is left on the way.
bool waitForLink(StationProcess &a, StationProcess &b)
{
    StationProcess *ends[2] = {&a, &b};
    QByteArray marker[2];
    const auto arrived = [&](int end) { return ends[1 - end]->received.endsWith(marker[end]); };
    bool linked = false;
    for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
        for (int end : {0, 1}) {
            if (marker[end].isEmpty() || !arrived(end))
                ends[end]->device().write(marker[end] = "link" + QByteArray::number(attempt));
        }
        linked = QTest::qWaitFor([&] { return arrived(0) && arrived(1); }, 300);
    }
    a.received.clear();
    b.received.clear();
    return linked;
}

bool crossesWhole(StationProcess &from, StationProcess &to, const QByteArray &data)
{
    to.received.clear();
    return from.device().writeAll(data, kWaitMs) &&
           QTest::qWaitFor([&] { return to.received.size() >= data.size(); }, kWaitMs) &&
           to.received == data;
}

// Settings as bytes with a fixed filler record; none for a file read short.
QByteArray canonical(const SettingsReadResult &read)
{
    FakeRandom random;
    return read.complete ? encode(read.records, random) : QByteArray();
}

// A station without a window where nothing of a display is left.
const QStringList kHeadless{"env",     "-u", "QT_QPA_PLATFORM", "-u",
                            "DISPLAY", "-u", "WAYLAND_DISPLAY"};

// The status history lines a station printed, as its status log has them.
QString printedStatuses(StationProcess &station)
{
    const QRegularExpression line("^\\d\\d-\\w+-\\d{4}  \\d\\d:\\d\\d:\\d\\d  .*$",
                                  QRegularExpression::MultilineOption);
    QString printed;
    for (QRegularExpressionMatchIterator found = line.globalMatch(station.output());
         found.hasNext();)
        printed += found.next().captured() + "\r\n";
    return printed;
}

// The service manager's end of the notify protocol: a datagram socket that keeps every
// message the station sends it.
struct ServiceManager {
    explicit ServiceManager(const QString &path) : path(path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, qPrintable(path), sizeof address.sun_path);
        ::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [this] {
            for (char message[256];
                 const ssize_t size = ::recv(socket, message, sizeof message, 0);)
                if (size > 0)
                    messages += QByteArray(message, size);
                else
                    break;
        });
    }
    ~ServiceManager() { ::close(socket); }

    QString path;
    int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    QSocketNotifier notifier{socket, QSocketNotifier::Read};
    QByteArrayList messages;
};

// The other end of the link, played by hand: listens where the station calls, keeps all
// the station sends, and answers each of its state messages with one of its own.
struct RawPeer {
    RawPeer()
    {
        m_server.listen(QHostAddress(QStringLiteral("127.0.0.2")));
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            QTcpSocket *link = socket = m_server.nextPendingConnection();
            ++connections;
            QObject::connect(link, &QTcpSocket::readyRead, link, [this, link] {
                const QByteArray bytes = link->readAll();
                received += bytes;
                for (char flag : {'A', 'L', 'R'}) {
                    if (link == socket && bytes.contains(stateFrom(flag)))
                        send(stateFrom(replyFlag));
                }
            });
        });
    }
    bool isConnected() const { return socket && socket->state() == QTcpSocket::ConnectedState; }
    void send(const QByteArray &bytes)
    {
        if (isConnected())
            socket->write(bytes);
    }

    QTcpServer m_server;
    QTcpSocket *socket = nullptr;
    char replyFlag = 'A';
    QByteArray received;
    int connections = 0;
};

// Every frame on the loopback interface while it lives (bounded), as a tap on the wire.
struct LoopbackTap {
    LoopbackTap() : fd(::socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK, htons(ETH_P_ALL)))
    {
        sockaddr_ll lo{};
        lo.sll_family = AF_PACKET;
        lo.sll_protocol = htons(ETH_P_ALL);
        lo.sll_ifindex = int(::if_nametoindex("lo"));
        ::bind(fd, reinterpret_cast<sockaddr *>(&lo), sizeof lo);
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [this] {
            char frame[65536];
            for (ssize_t n; (n = ::recv(fd, frame, sizeof frame, 0)) > 0;)
                if (seen.size() < 64 * 1024 * 1024)
                    seen.append(frame, n);
        });
    }
    ~LoopbackTap() { ::close(fd); }
    int fd;
    QSocketNotifier notifier{fd, QSocketNotifier::Read};
    QByteArray seen;
};

} // namespace

class SystemTest : public QObject
{
    Q_OBJECT

public:
    enum class Fault { PeerKilled, LinkCut, StopOnSlowLink, StopOnDeadLink, FullDisk };
    enum class Peer { LocalLoop, RemoteLoop, Data, ManyThenClose, Flood, NamedByReload };
    enum class File { None, Whole, Short, WholeNoDevice };
    // Another user may not write the folder, nor use the device.
    enum class Runner { Root, Nobody, NobodyFileReadOnly };
    enum class Saved { Input, Defaults, DefaultsAndLogs, Unchanged };
    // Who meets the first station: the second one, or a caller from a third address.
    enum class Meets { Station, Stranger };
    Q_ENUM(Fault)
    Q_ENUM(Peer)
    Q_ENUM(File)
    Q_ENUM(Runner)
    Q_ENUM(Saved)
    Q_ENUM(Meets)

private Q_SLOTS:
    void initTestCase();
    void twoStations_data();
    void twoStations();
    void stationAndPeer_data();
    void stationAndPeer();
    void secureLink_data();
    void secureLink();
    void settingsAcrossRun_data();
    void settingsAcrossRun();
};

void SystemTest::initTestCase()
{
    if (StationProcess::binary().isEmpty() || ::geteuid() != 0)
        QSKIP("needs TETHRA_BINARY and root (namespaces, another user); ctest in CI has both");
}

void SystemTest::twoStations_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("headless"); // this station has no window; its peer has one
    QTest::newRow("peer killed and started again") << Fault::PeerKilled << false;
    QTest::newRow("link cut, one without a window") << Fault::LinkCut << true;
    QTest::newRow("stop on a slow link") << Fault::StopOnSlowLink << false;
    QTest::newRow("stop on a dead link") << Fault::StopOnDeadLink << false;
    QTest::newRow("logs on a full disk") << Fault::FullDisk << false;
}

void SystemTest::twoStations()
{
    QFETCH(Fault, fault);
    QFETCH(bool, headless);
    NamespacePair hosts;
    QVERIFY2(hosts.isUp(), qPrintable(hosts.errorString()));
    StationProcess stations[2];
    StationProcess &here = stations[0], &there = stations[1];
    SettingsRecords records[2] = {StationProcess::records(hosts.address(1)),
                                  StationProcess::records(hosts.address(0))};
    QTemporaryDir disk;
    const auto unmount = qScopeGuard([&] { NamespacePair::run({"umount", "-l", disk.path()}); });
    if (fault == Fault::FullDisk) { // mounted before the station starts, so its namespace sees it
        QVERIFY(NamespacePair::run({"mount", "-t", "tmpfs", "-o", "size=64k", "t", disk.path()}));
        records[0].rxLogFile = disk.filePath(QStringLiteral("rx.log"));
        records[0].txLogFile = disk.filePath(QStringLiteral("tx.log"));
    }
    const bool slow = fault == Fault::StopOnSlowLink || fault == Fault::StopOnDeadLink;
    if (slow) { // the receive log shows when the station has read the last byte of a burst
        QVERIFY(hosts.setLinkRate(QStringLiteral("4mbit")));
        records[0].rxLogFile = here.path(QStringLiteral("rx.log"));
    }
    records[0].viewTraffic = !records[0].rxLogFile.isEmpty();
    for (int host : {0, 1}) {
        QVERIFY(stations[host].writeSettings(records[host]));
        QVERIFY(host == 0 && headless
                    ? here.start(hosts.inHost(0) + kHeadless, {QStringLiteral("--headless")})
                    : stations[host].start(hosts.inHost(host)));
    }
    QVERIFY2(waitForLink(here, there), qPrintable(here.output()));
    QVERIFY(crossesWhole(here, there, pattern(16384, 1))); // every byte value
    QVERIFY(crossesWhole(there, here, pattern(16384, 2)));
    // Each station's history so far: what a row looks for comes after it.
    const qsizetype mark[2] = {here.statuses().size(), there.statuses().size()};
    QTimer traffic;
    traffic.start(100);

    if (fault == Fault::PeerKilled) {
        // Mid-transfer: this station's device keeps sending while its peer goes.
        connect(&traffic, &QTimer::timeout, [&] { here.device().write(pattern(5120, 3)); });
        QTRY_VERIFY_WITH_TIMEOUT(there.received.size() > 8192, kWaitMs);
        QVERIFY(there.stop(SIGKILL));
        // The survivor says the link is gone and runs on.
        const auto unlinked = [&] {
            const QStringList seen = here.statuses().mid(mark[0]);
            return seen.size() >
                   seen.count("Connected") + seen.count("ACCEPTING") + seen.count("CONNECTING");
        };
        QTRY_VERIFY_WITH_TIMEOUT(unlinked(), kWaitMs);
        QVERIFY(here.isRunning());
        QVERIFY(there.start(hosts.inHost(1)));
    } else if (fault == Fault::LinkCut) {
        // Both send a little every 100 ms, so each station has just heard from the other.
        connect(&traffic, &QTimer::timeout, [&] {
            for (StationProcess &station : stations)
                station.device().write("tick");
        });
        QTRY_VERIFY_WITH_TIMEOUT(here.received.contains("tick") && there.received.contains("tick"),
                                 kWaitMs);
        QVERIFY(hosts.setLinkUp(false));
        QElapsedTimer clock;
        clock.start();
        qint64 silence[2] = {-1, -1};
        const auto timedOut = [&] {
            for (int host : {0, 1}) {
                if (silence[host] < 0 &&
                    stations[host].statuses().mid(mark[host]).contains("Timed-Out"))
                    silence[host] = clock.elapsed();
            }
            return silence[0] >= 0 && silence[1] >= 0;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(timedOut(),
                                  qPrintable(stations[0].statuses().mid(mark[0]).join(" | ") +
                                             " / " +
                                             stations[1].statuses().mid(mark[1]).join(" | ")),
                                  kWaitMs);
        // Silence is told after the fifth one-second tick without a packet.
        for (qint64 since : silence)
            QVERIFY2(since >= 3800 && since <= 5700, qPrintable(QString::number(since)));
        QVERIFY(hosts.setLinkUp(true));
    } else if (slow) {
        // At 4 Mbit/s the burst needs about 0.6 s; the stop comes once the station has read it.
        const QByteArray burst = pattern(300 * 1024, 31) + "-- end of burst --";
        there.received.clear();
        QVERIFY(here.device().writeAll(burst, kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(fileBytes(records[0].rxLogFile).endsWith("end of burst --"),
                                 kWaitMs);
        if (fault == Fault::StopOnDeadLink) { // a peer that is gone holds the stop up briefly
            QVERIFY(hosts.setLinkUp(false));
            QVERIFY(here.stop(SIGTERM, 6000));
            return;
        }
        QVERIFY(here.stop(SIGTERM));
        QTRY_COMPARE_WITH_TIMEOUT(there.received.size(), burst.size(), kWaitMs);
        QCOMPARE(there.received, burst);
        const QString saved = here.path(QLatin1String(SettingsRecords::kFileName));
        QCOMPARE(canonical(decodeSettingsRecords(fileBytes(saved))), canonical({true, records[0]}));
        return;
    }
    traffic.stop();
    QVERIFY(waitForLink(here, there));
    // Far more than the disk holds crosses, both ways.
    QVERIFY(crossesWhole(here, there, pattern(128 * 1024, 10)));
    QVERIFY(crossesWhole(there, here, pattern(128 * 1024, 20)));
    const qint64 logged =
        QFileInfo(records[0].rxLogFile).size() + QFileInfo(records[0].txLogFile).size();
    QVERIFY2(fault != Fault::FullDisk || (logged > 0 && logged <= 64 * 1024),
             qPrintable(QString::number(logged)));
    // Without a window, the whole history comes out as it is made.
    if (headless)
        QTRY_COMPARE_WITH_TIMEOUT(printedStatuses(here),
                                  QString::fromUtf8(fileBytes(here.path("status.log"))), kWaitMs);
    for (StationProcess &station : stations) {
        QVERIFY(station.stop(SIGTERM));
        const QRegularExpression report("ERROR: (Address|Leak)Sanitizer|runtime error:");
        QVERIFY2(!station.output().contains(report), qPrintable(station.output()));
    }
}

void SystemTest::stationAndPeer_data()
{
    QTest::addColumn<Peer>("peer");
    QTest::addColumn<char>("replyFlag");
    QTest::addColumn<char>("stationFlag");
    QTest::addColumn<QString>("status");
    QTest::newRow("peer expects loopback") << Peer::LocalLoop << 'R' << 'L' << "Local Loopback";
    QTest::newRow("peer loops back") << Peer::RemoteLoop << 'L' << 'R' << "Remote Loopback";
    QTest::newRow("device data in messages") << Peer::Data << 'A' << 'A' << "Connected";
    QTest::newRow("many messages, close mid-message")
        << Peer::ManyThenClose << 'A' << 'A' << "Connected";
    QTest::newRow("flood of garbage") << Peer::Flood << 'A' << 'A' << "Connected";
    QTest::newRow("no window, host named by SIGHUP")
        << Peer::NamedByReload << 'A' << 'A' << "Connected";
}

void SystemTest::stationAndPeer()
{
    QFETCH(Peer, peer);
    QFETCH(char, replyFlag);
    QFETCH(char, stationFlag);
    QFETCH(QString, status);
    RawPeer remote;
    remote.replyFlag = replyFlag;
    QVERIFY(remote.m_server.isListening());
    StationProcess station;
    const bool reload = peer == Peer::NamedByReload;
    const auto settings = [&](const char *host) {
        return station.writeSettings(StationProcess::records(host, remote.m_server.serverPort()));
    };
    QVERIFY(settings(reload ? "127.0.0.3" : "127.0.0.2"));
    QStringList options{QStringLiteral("--bind"), QStringLiteral("127.0.0.1")};
    ServiceManager manager(station.path("notify"));
    QVERIFY(reload ? station.start(kHeadless +
                                       QStringList{"NOTIFY_SOCKET=" + manager.path,
                                                   "WATCHDOG_USEC=200000"}, // a ping every 100 ms
                                   options << QStringLiteral("--headless"))
                   : station.start({}, options));
    if (reload) { // calls elsewhere until the settings it reads again name the peer
        QTRY_VERIFY_WITH_TIMEOUT(manager.messages.count("WATCHDOG=1") >= 3, kWaitMs);
        QCOMPARE(manager.messages.first(), "READY=1");
        QTRY_VERIFY_WITH_TIMEOUT(station.statuses().contains("Not Connected"), kWaitMs);
        QCOMPARE(remote.connections, 0);
        QVERIFY(settings("127.0.0.2"));
        ::kill(pid_t(station.pid()), SIGHUP);
    }
    QTRY_VERIFY2_WITH_TIMEOUT(remote.isConnected(), qPrintable(station.output()), kWaitMs);
    remote.send(stateFrom(replyFlag));
    QTRY_VERIFY_WITH_TIMEOUT(station.statuses().endsWith(status), kWaitMs);
    // State messages in the mode's flag, one each tick.
    QTRY_VERIFY_WITH_TIMEOUT(
        remote.received.count(stateFrom(stationFlag)) >= 1 + 2 * (peer == Peer::Data), kWaitMs);
    const quint64 memoryBefore = procStatus(station.pid(), "VmHWM");

    QByteArray expected; // out of the station's device
    if (peer == Peer::LocalLoop) {
        // Data from the peer goes back without the blanks; the device's input is echoed.
        remote.send(dataFrom("mirror me"));
        QTRY_VERIFY_WITH_TIMEOUT(remote.received.contains(kDelim + "Dmirror me" + kDelim + 'E'),
                                 kWaitMs);
        QVERIFY(!remote.received.contains(dataFrom("mirror me")));
        QVERIFY(station.device().writeAll("echo"));
        expected = "echo";
    } else if (peer == Peer::Data) {
        // Every message whole and within the layout's bound, the data in order.
        const QByteArray sent = pattern(40256, 2);
        QVERIFY(station.device().writeAll(sent));
        const auto payloads = [&] { // bad messages show as such
            const QByteArray rest = QByteArray(remote.received).replace(stateFrom('A'), "");
            QByteArray found;
            for (qsizetype at = 0, end; (end = rest.indexOf(kDelim + 'E', at) + 11) > 10;
                 at = end) {
                const QByteArray message = rest.mid(at, end - at);
                found += message.size() <= LinkProtocol::kMaxMessageLength &&
                                 message.startsWith("  " + kDelim + 'D')
                             ? message.mid(13, message.size() - 24)
                             : "<bad>";
            }
            return found;
        };
        QTRY_COMPARE_WITH_TIMEOUT(payloads(), sent, kWaitMs);
    } else if (peer == Peer::ManyThenClose) {
        // Unknown flags skipped; sizes that cut the station's reads at every kind of place, then
        // the close at once, in the middle of a message that must not span two connections.
        QByteArray wire = kDelim + 'X';
        for (int index = 0; index < 400; ++index) {
            const QByteArray payload = pattern((index * 37) % 1500 + 1, index);
            expected += payload;
            wire += dataFrom(payload) + kDelim + 'Y';
        }
        remote.send(wire + "  " + kDelim + "Dpartial");
        remote.socket->disconnectFromHost(); // after the bytes are out
        QTRY_VERIFY_WITH_TIMEOUT(remote.connections == 2 && remote.isConnected(), kWaitMs);
        remote.send(dataFrom("fresh") + kDelim + 'E');
        expected += "fresh";
    } else if (peer == Peer::Flood) {
        // Random bytes without a delimiter, then random bytes cut by delimiters with random
        // flags, some of them opening packets longer than any the station keeps.
        QRandomGenerator random(7);
        for (int megabytes : {12, 4}) {
            qint64 left = megabytes * 1024 * 1024;
            const auto sent = [&] {
                for (QByteArray bytes(64 * 1024, 0);
                     left > 0 && remote.socket->bytesToWrite() < 256 * 1024; left -= bytes.size()) {
                    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
                    for (int at = 0; megabytes == 4 && at < 8; ++at)
                        bytes.replace(random.bounded(bytes.size() - 20), 11,
                                      kDelim + "ALRDEXz"[random.bounded(7)]);
                    remote.send(bytes);
                }
                return left <= 0 && !remote.socket->bytesToWrite();
            };
            QTRY_VERIFY_WITH_TIMEOUT(sent(), 30000);
        }
        // End whatever packet the flood left open, then send a marker until it comes out.
        remote.send(kDelim + 'E' + stateFrom('A'));
        QTRY_VERIFY_WITH_TIMEOUT(
            (remote.send(dataFrom("-- end --")), station.received.endsWith("-- end --")), kWaitMs);
        // The station's buffers are bounded (a packet, the serial queue), far below a flood.
        const qint64 grownKb = procStatus(station.pid(), "VmHWM") - memoryBefore;
        QVERIFY2(grownKb < kFloodGrowthKb, qPrintable(QString::number(grownKb)));
        remote.send(dataFrom("-- last --")); // after it, none of the markers is on the way
        QTRY_VERIFY_WITH_TIMEOUT(station.received.endsWith("-- last --"), kWaitMs);
        station.received.clear();
        remote.send(dataFrom(pattern(256, 5)));
        expected = pattern(256, 5);
    }
    if (reload) {
        remote.send(dataFrom("after the reload"));
        expected = "after the reload";
    }
    QTRY_VERIFY_WITH_TIMEOUT(station.received.size() >= expected.size(), kWaitMs);
    QCOMPARE(station.received, expected);
    QTRY_VERIFY_WITH_TIMEOUT(station.statuses().endsWith(status), kWaitMs);
    if (reload) {
        QVERIFY(station.stop(SIGTERM));
        QTRY_COMPARE(manager.messages.last(), "STOPPING=1");
    }
}

void SystemTest::secureLink_data()
{
    QTest::addColumn<Meets>("meets");
    QTest::addColumn<QStringList>("passphrases");
    QTest::addColumn<bool>("bridged");
    const QString key = QStringLiteral("correct horse \"battery\" \\ st\u00e4ple 0");
    QTest::newRow("same passphrase") << Meets::Station << QStringList{key, key} << true;
    QTest::newRow("plain, the tap sees it") << Meets::Station << QStringList{"", ""} << true;
    QTest::newRow("other passphrase") << Meets::Station << QStringList{key, key + '1'} << false;
    QTest::newRow("peer without one") << Meets::Station << QStringList{key, ""} << false;
    QTest::newRow("stranger refused") << Meets::Stranger << QStringList{"", ""} << false;
}

void SystemTest::secureLink()
{
    QFETCH(Meets, meets);
    QFETCH(QStringList, passphrases);
    QFETCH(bool, bridged);
    const int port = 19841;
    const QString host[] = {"127.0.0.1", "127.0.0.2", "127.0.0.5"};
    LoopbackTap tap;
    QVERIFY(tap.fd >= 0);
    StationProcess stations[2];
    StationProcess &a = stations[0], &b = stations[1];
    for (int i = 0; i < (meets == Meets::Station ? 2 : 1); ++i) {
        SettingsRecords records = StationProcess::records(host[1 - i], port);
        records.runInServerMode = i == 1; // the first station's first call finds it
        QVERIFY(stations[i].writeSettings(records));
        const SecuritySettings security{SecuritySettings::AcceptFrom::RemoteHost, passphrases[i]};
        QVERIFY(SecuritySettingsFile::save(stations[i].path({}) + '/', security).isEmpty());
        QVERIFY(stations[i].start({}, {"--bind", host[i]}));
    }
    const auto count = [](StationProcess &station, const QString &start) {
        return station.statuses().filter(QRegularExpression('^' + start)).size();
    };
    if (bridged) {
        QVERIFY2(waitForLink(a, b), qPrintable(a.statuses().join(" | ")));
        QVERIFY(crossesWhole(a, b, pattern(16384, 1))); // every byte value
        QVERIFY(crossesWhole(b, a, pattern(16384, 2)));
        const QByteArray burst = pattern(1024 * 1024, 3);
        QVERIFY(crossesWhole(a, b, burst));
        QTRY_VERIFY(tap.seen.size() > burst.size()); // the tap has caught up
        QCOMPARE(tap.seen.contains(burst.mid(500000, 32)), passphrases[0].isEmpty());
        for (StationProcess &station : stations)
            QCOMPARE(count(station, "Secure link: TLSv1.3 TLS_(AES_128_GCM|CHACHA20_POLY1305)_"
                                    "SHA256 (x25519|secp256r1|x448|ffdhe2048)$") > 0,
                     !passphrases[0].isEmpty());
        return;
    }
    if (meets == Meets::Station) {
        // Both devices talk all along; each end fails handshake after handshake.
        QTimer traffic;
        connect(&traffic, &QTimer::timeout, [&] {
            a.device().write("secret-a");
            b.device().write("secret-b");
        });
        traffic.start(100);
        const auto failures = [&] { // and the cycle goes on after them
            return count(a, "Secure link failed: \\S") > 0 &&
                   !a.statuses().constLast().startsWith("Secure link failed") &&
                   (passphrases[1].isEmpty() || count(b, "Secure link failed: \\S") > 0);
        };
        QTRY_VERIFY2_WITH_TIMEOUT(failures(), qPrintable(a.statuses().join(" | ")), 20000);
        QVERIFY(a.received.isEmpty() && b.received.isEmpty());
        QVERIFY(!tap.seen.contains("secret-a"));
        return;
    }
    // A caller from the third address calls again and again; told once, it is never read.
    std::unique_ptr<QTcpSocket> caller;
    const auto call = [&](const QString &from, const QByteArray &bytes) {
        caller = std::make_unique<QTcpSocket>();
        caller->bind(QHostAddress(from), port + 1); // a port the station takes as its own
        caller->connectToHost(host[0], port);
        return caller->waitForConnected(300) && caller->write(bytes) &&
               caller->waitForBytesWritten(300);
    };
    int calls = 0;
    QTRY_VERIFY_WITH_TIMEOUT((calls += call(host[2], dataFrom("stranger") + stateFrom('A')),
                              calls >= 3 && count(a, "Refused call from ") > 0),
                             kWaitMs);
    QCOMPARE(a.statuses().filter("Refused call from").join(""), "Refused call from " + host[2]);
    // The remote host's call is taken: only its bytes come out.
    QTRY_VERIFY_WITH_TIMEOUT((caller->state() == QAbstractSocket::ConnectedState ||
                              call(host[1], dataFrom("welcome") + stateFrom('A'))) &&
                                 a.received == "welcome",
                             kWaitMs);
}

void SystemTest::settingsAcrossRun_data()
{
    QTest::addColumn<File>("file");
    QTest::addColumn<Runner>("runner");
    QTest::addColumn<bool>("limited"); // no file may grow past the old one's: saving fails
    QTest::addColumn<Saved>("saved");
    QTest::addColumn<bool>("headless");
    QTest::newRow("first run") << File::None << Runner::Root << false << Saved::Defaults << false;
    QTest::newRow("whole file") << File::Whole << Runner::Root << false << Saved::Input << false;
    QTest::newRow("device absent")
        << File::WholeNoDevice << Runner::Root << false << Saved::Input << false;
    QTest::newRow("short file") << File::Short << Runner::Root << false << Saved::DefaultsAndLogs
                                << false;
    QTest::newRow("short file, no window")
        << File::Short << Runner::Root << false << Saved::DefaultsAndLogs << true;
    QTest::newRow("write fails") << File::Short << Runner::Root << true << Saved::Unchanged
                                 << false;
    QTest::newRow("rewritten in place")
        << File::Short << Runner::Nobody << false << Saved::Defaults << false;
    QTest::newRow("file read-only")
        << File::Short << Runner::NobodyFileReadOnly << false << Saved::Unchanged << false;
    QTest::newRow("rewrite in place fails")
        << File::Short << Runner::Nobody << true << Saved::Unchanged << false;
}

void SystemTest::settingsAcrossRun()
{
    QFETCH(File, file);
    QFETCH(Runner, runner);
    QFETCH(bool, limited);
    QFETCH(Saved, saved);
    QFETCH(bool, headless);
    const bool asOtherUser = runner != Runner::Root;
    StationProcess station;
    const QString settings = station.path(QLatin1String(SettingsRecords::kFileName));
    const QString logs[] = {station.path("rx.log"), station.path("tx.log")};
    const SettingsRecords input{19811,   "127.0.0.2", 1,    "19200,e,7,1", 2,
                                logs[0], logs[1],     true, true,          true};
    QVERIFY(station.writeSettings(asOtherUser ? SettingsRecords{} : input));
    if (file == File::Short) // ends after the transmit log's record
        QFile(settings).resize(QString(fileBytes(settings))
                                   .section('\n', 0, SettingsRecords::kTxLogFileRecord - 1)
                                   .size() +
                               1);
    if (file == File::None)
        QVERIFY(QFile::remove(settings));
    if (file == File::WholeNoDevice) // unplugged, its link dangles: awaited, and kept
        QVERIFY(QFile::remove(station.path("com1")) &&
                QFile::link(station.path("gone"), station.path("com1")));
    for (const QString &log : logs)
        QFile(log).open(QIODevice::WriteOnly);
    const QByteArray before = fileBytes(settings);
    QStringList wrapper;
    if (limited) // a write past the limit fails, instead of ending the process
        wrapper = QStringList{"sh", "-c",      "trap '' XFSZ; exec \"$@\"",
                              "sh", "prlimit", "--fsize=" + QString::number(before.size())};
    if (asOtherUser) {
        wrapper += QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        QFile(station.path("status.log")).open(QIODevice::WriteOnly);
        QVERIFY(::chmod(qPrintable(station.path("status.log")), 0666) == 0);
        QVERIFY(::chmod(qPrintable(settings), runner == Runner::Nobody ? 0666 : 0644) == 0);
        // Another user's passphrase: no link rather than a plain one, and a clear error.
        QVERIFY(SecuritySettingsFile::save(station.path({}) + '/', {}).isEmpty());
        QVERIFY(::chmod(qPrintable(station.path({})), 0555) == 0);
    }
    QVERIFY(headless ? station.start(wrapper + kHeadless, {"--headless"}) : station.start(wrapper));
    // The stop comes as soon as the station takes it as one, even with a box still open.
    QTRY_VERIFY_WITH_TIMEOUT(procStatus(station.pid(), "SigCgt", 16) & (1 << (SIGTERM - 1)),
                             kWaitMs);
    if (headless) // no box waits for an answer: the station goes on
        QTRY_VERIFY_WITH_TIMEOUT(station.statuses().contains("No remote host given"), kWaitMs);
    QVERIFY2(station.stop(SIGTERM, 5000), "still running 5 s after SIGTERM");
    ::chmod(qPrintable(station.path({})), 0700);
    // Log files named in the settings are new each run.
    for (const QString &log : logs)
        QCOMPARE(QFile::exists(log), asOtherUser || file == File::None);
    QCOMPARE(station.output().contains(QLatin1String("ERROR - TETHRA.SAV")), limited || headless);
    // ...and in the status history (the other user's file limit is below a status line).
    QCOMPARE(station.statuses().join('\n').contains("ERROR - TETHRA.SAV: "),
             (limited && !asOtherUser) || headless);
    QCOMPARE(station.statuses().join('\n').contains("ERROR - tethra.ini: Cannot read "),
             asOtherUser && !limited);
    const QByteArray after = fileBytes(settings);
    SettingsRecords expected = saved == Saved::Input ? input : SettingsRecords{};
    if (saved == Saved::DefaultsAndLogs) {
        expected.rxLogFile = logs[0];
        expected.txLogFile = logs[1];
    }
    QVERIFY(saved == Saved::Unchanged ? after == before : after != before); // a new filler
    if (saved != Saved::Unchanged)
        QCOMPARE(canonical(decodeSettingsRecords(after)), canonical({true, expected}));
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(station.path({})).entryList({"TETHRA*"}, QDir::Files | QDir::CaseSensitive),
             QStringList{settings.section('/', -1)});
}

QTEST_GUILESS_MAIN(SystemTest)
#include "system_test.moc"
