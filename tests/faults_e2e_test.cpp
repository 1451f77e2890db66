// What an unattended bridge meets in its months of running, with two real tethra processes,
// each in its own network namespace with a pseudo-terminal as Com1: the peer killed and
// started again, the network between them cut for ten seconds, the log folder going away,
// a full disk, and a stop signal in the middle of heavy traffic. Each station appends its
// status history to a file (--status-log), which is how the test sees what it reports.
#include "app/SettingsRecords.h"
#include "platform/RandomSource.h"
#include "support/Namespaces.h"
#include "support/StationProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <memory>

namespace
{

constexpr int kLinkTimeoutMs = 30000;
constexpr int kWaitMs = 10000;
// Where each station's settings folder appears inside its host.
const QString kInsideFolder = QStringLiteral("/var/lib/tethra/");
const QString kStatusLogName = QStringLiteral("status.log");

// A station reports silence after the fifth tick without a packet; its ticks come once a
// second, so that is four to five seconds after the last packet. The margins cover tick
// jitter and the test's own polling.
constexpr qint64 kTimeOutEarliestMs = 3800;
constexpr qint64 kTimeOutLatestMs = 5700;
constexpr int kCutMs = 10000;
constexpr int kDeadLinkStopMs = 6000;

QByteArray pattern(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + seed * 101 + (i >> 8)) & 0xff);
    return bytes;
}

// Everything that comes out of one station's device, and when the last of it came.
class DeviceTap final
{
public:
    explicit DeviceTap(Pty &device) : m_device(device) { m_clock.start(); }

    void pump()
    {
        const QByteArray bytes = m_device.read();
        if (bytes.isEmpty())
            return;
        m_received += bytes;
        m_lastArrivalMs = m_clock.elapsed();
    }
    const QByteArray &received() const { return m_received; }
    void clear() { m_received.clear(); }
    qint64 msSinceLastArrival() const { return m_clock.elapsed() - m_lastArrivalMs; }

private:
    Pty &m_device;
    QByteArray m_received;
    QElapsedTimer m_clock;
    qint64 m_lastArrivalMs = 0;
};

// Plays the serial device of one station: writes a stream in small blocks, as fast as the
// terminal takes it or at a set pace, and keeps what it wrote.
class DeviceFeeder final
{
public:
    DeviceFeeder(Pty &device, int seed) : m_device(device), m_seed(seed) {}

    // Writes up to `bytes` more now; returns what the terminal took.
    qint64 feed(qsizetype bytes)
    {
        const QByteArray block = pattern(bytes, m_seed + int(m_sent.size()));
        const qint64 taken = m_device.write(block);
        if (taken > 0)
            m_sent += block.left(taken);
        return taken;
    }
    const QByteArray &sent() const { return m_sent; }
    void clear() { m_sent.clear(); }

private:
    Pty &m_device;
    int m_seed;
    QByteArray m_sent;
};

// The statuses in a station's status log, oldest first, without their time stamps.
QStringList statusesIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression line(QStringLiteral("^.*?  \\d\\d:\\d\\d:\\d\\d  (.*)$"));
    QStringList statuses;
    const QStringList lines =
        QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const QString &text : lines) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            statuses.append(match.captured(1));
    }
    return statuses;
}

bool isLinkedStatus(const QString &status)
{
    return status == QLatin1String("Connected") || status == QLatin1String("ACCEPTING") ||
           status == QLatin1String("CONNECTING");
}

} // namespace

class FaultsEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void peerEnds_survivorReportsItAndLinkComesBack_data();
    void peerEnds_survivorReportsItAndLinkComesBack();
    void networkCut_bothTimeOutThenReconnect();
    void logFolderAway_logsCatchUpWithNothingLost();
    void fullDisk_stationKeepsBridging();
    void stopSignalUnderHeavyTraffic_writesSettingsWhole();
    void stopSignal_bytesReadFromDeviceReachPeer_data();
    void stopSignal_bytesReadFromDeviceReachPeer();

private:
    // Writes TETHRA.SAV for station host (calling the other host) with the given log paths
    // as the station sees them, and with the traffic view on so both logs record.
    bool prepare(int host, const QString &rxLog = {}, const QString &txLog = {});
    bool start(int host);
    QString statusLogPath(int host) const;
    QStringList statuses(int host) const { return statusesIn(statusLogPath(host)); }
    // Writes a marker at one end until it comes out of the other, then lets the stragglers
    // arrive and forgets everything the taps have seen.
    bool waitForLink(int from, int to, int timeoutMs);
    void pumpTaps();
    // Sends `bytes` from one device to the other and checks they arrive whole.
    bool crossesWhole(int from, int to, qsizetype bytes, int seed);
    // Fails the test when a station's output shows a sanitizer report.
    void checkOutputClean(int host);

    std::unique_ptr<NamespacePair> m_hosts;
    std::unique_ptr<StationProcess> m_stations[2];
    std::unique_ptr<DeviceTap> m_taps[2];
    std::unique_ptr<DeviceFeeder> m_feeders[2];
    // Reads both devices all through a test, so every wait sees what has come out.
    QTimer m_tapTimer;
    QString m_output[2];
};

void FaultsEndToEndTest::initTestCase()
{
    if (StationProcess::binary().isEmpty())
        QSKIP("TETHRA_BINARY is not set (run through ctest)");
    m_hosts = std::make_unique<NamespacePair>();
    if (!m_hosts->isUp() && ::geteuid() != 0)
        QSKIP("network namespaces need root; CI runs this test as root");
    QVERIFY2(m_hosts->isUp(), qPrintable(m_hosts->errorString()));
}

void FaultsEndToEndTest::init()
{
    for (int host = 0; host < 2; ++host) {
        m_stations[host] = std::make_unique<StationProcess>();
        m_taps[host] = std::make_unique<DeviceTap>(m_stations[host]->device());
        m_feeders[host] = std::make_unique<DeviceFeeder>(m_stations[host]->device(), host + 1);
        m_output[host].clear();
    }
    QObject::connect(&m_tapTimer, &QTimer::timeout, this, &FaultsEndToEndTest::pumpTaps,
                     Qt::UniqueConnection);
    m_tapTimer.start(5);
}

void FaultsEndToEndTest::cleanup()
{
    m_tapTimer.stop();
    for (int host = 0; host < 2; ++host) {
        if (m_stations[host]) {
            m_stations[host]->stop(SIGKILL, 5000);
            m_output[host] += m_stations[host]->output();
        }
        checkOutputClean(host);
        m_feeders[host].reset();
        m_taps[host].reset();
        m_stations[host].reset();
    }
    if (m_hosts) {
        m_hosts->setLinkUp(true);
        m_hosts->setLinkRate({});
    }
}

void FaultsEndToEndTest::checkOutputClean(int host)
{
    for (const char *report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        QVERIFY2(!m_output[host].contains(QLatin1String(report)), qPrintable(m_output[host]));
}

bool FaultsEndToEndTest::prepare(int host, const QString &rxLog, const QString &txLog)
{
    StationProcess &station = *m_stations[host];
    if (!station.prepare(m_hosts->address(1 - host)))
        return false;
    SettingsRecords records;
    records.remoteHost = m_hosts->address(1 - host);
    records.serialPort = 1;
    records.serialSettings = QStringLiteral("9600,n,8,1");
    records.rxLogFile = rxLog;
    records.txLogFile = txLog;
    records.viewTraffic = !rxLog.isEmpty();
    SystemRandom random;
    QFile file(QDir(station.folder()).filePath(QLatin1String(SettingsRecords::kFileName)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(encode(records, random)) > 0;
}

bool FaultsEndToEndTest::start(int host)
{
    StationProcess &station = *m_stations[host];
    const QStringList program = {StationProcess::binary(), QStringLiteral("--status-log"),
                                 kInsideFolder + kStatusLogName};
    return station.start(m_hosts->commandInHost(host, station.folder(), program));
}

QString FaultsEndToEndTest::statusLogPath(int host) const
{
    return QDir(m_stations[host]->folder()).filePath(kStatusLogName);
}

void FaultsEndToEndTest::pumpTaps()
{
    for (auto &tap : m_taps)
        tap->pump();
}

bool FaultsEndToEndTest::waitForLink(int from, int to, int timeoutMs)
{
    const QByteArray marker("link?");
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        m_stations[from]->device().write(marker);
        for (int poll = 0; poll < 25 && !m_taps[to]->received().contains(marker); ++poll) {
            QTest::qWait(10);
            pumpTaps();
        }
        if (m_taps[to]->received().contains(marker)) {
            QTest::qWait(500);
            pumpTaps();
            for (int host = 0; host < 2; ++host) {
                m_taps[host]->clear();
                m_feeders[host]->clear();
            }
            return true;
        }
    }
    return false;
}

bool FaultsEndToEndTest::crossesWhole(int from, int to, qsizetype bytes, int seed)
{
    Pty &sender = m_stations[from]->device();
    m_taps[to]->clear();
    const QByteArray data = pattern(bytes, seed);
    // A terminal takes a few kilobytes at a time; the rest waits for the station to read.
    qsizetype done = 0;
    QDeadlineTimer deadline(kWaitMs * 2);
    while (done < data.size() && !deadline.hasExpired()) {
        const qint64 taken = sender.write(data.mid(done, 4096));
        if (taken < 0)
            return false;
        done += taken;
        QTest::qWait(taken > 0 ? 0 : 2);
        pumpTaps();
    }
    while (m_taps[to]->received().size() < data.size() && !deadline.hasExpired()) {
        QTest::qWait(5);
        pumpTaps();
    }
    if (m_taps[to]->received() != data) {
        qWarning(
            "sent %lld bytes, %lld came out, first difference at %lld", qlonglong(done),
            qlonglong(m_taps[to]->received().size()),
            qlonglong(std::mismatch(data.cbegin(), data.cend(), m_taps[to]->received().cbegin(),
                                    m_taps[to]->received().cend())
                          .first -
                      data.cbegin()));
        return false;
    }
    return true;
}

void FaultsEndToEndTest::peerEnds_survivorReportsItAndLinkComesBack_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGKILL") << int(SIGKILL);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void FaultsEndToEndTest::peerEnds_survivorReportsItAndLinkComesBack()
{
    QFETCH(int, signalNumber);
    for (int host = 0; host < 2; ++host) {
        QVERIFY(prepare(host));
        QVERIFY(start(host));
    }
    QVERIFY2(waitForLink(0, 1, kLinkTimeoutMs), qPrintable(m_stations[0]->output()));
    QVERIFY(waitForLink(1, 0, kWaitMs));
    const int mark = int(statuses(0).size());

    // Mid-transfer: station 0's device keeps sending while its peer goes.
    QTimer traffic;
    QObject::connect(&traffic, &QTimer::timeout, [this] {
        m_feeders[0]->feed(512);
        pumpTaps();
    });
    traffic.start(10);
    QTRY_VERIFY_WITH_TIMEOUT(m_taps[1]->received().size() > 8192, kWaitMs);
    QVERIFY(m_stations[1]->stop(signalNumber));
    m_output[1] += m_stations[1]->output();
    checkOutputClean(1);

    // The survivor says the link is gone (a socket error, "Timed-Out" or "Not Connected")
    // and keeps running.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QStringList seen = statuses(0).mid(mark);
            return std::any_of(seen.cbegin(), seen.cend(),
                               [](const QString &status) { return !isLinkedStatus(status); });
        }(),
        kWaitMs);
    traffic.stop();
    QVERIFY(m_stations[0]->isRunning());
    qInfo("survivor reported: %s", qPrintable(statuses(0).mid(mark).join(QStringLiteral(" | "))));

    // The peer comes back: the two find each other again and data crosses whole both ways.
    QElapsedTimer back;
    back.start();
    QVERIFY(start(1));
    QVERIFY(waitForLink(0, 1, kLinkTimeoutMs));
    QVERIFY(waitForLink(1, 0, kWaitMs));
    qInfo("linked again %lld ms after the restart", back.elapsed());
    QVERIFY(crossesWhole(0, 1, 64 * 1024, 5));
    QVERIFY(crossesWhole(1, 0, 64 * 1024, 6));
}

void FaultsEndToEndTest::networkCut_bothTimeOutThenReconnect()
{
    for (int host = 0; host < 2; ++host) {
        QVERIFY(prepare(host));
        QVERIFY(start(host));
    }
    QVERIFY(waitForLink(0, 1, kLinkTimeoutMs));
    QVERIFY(waitForLink(1, 0, kWaitMs));
    int marks[2];
    for (int host = 0; host < 2; ++host)
        marks[host] = int(statuses(host).size());

    // Both devices send a little every 100 ms, so the last packet each station received
    // shows as the last bytes out of its device.
    QTimer traffic;
    QObject::connect(&traffic, &QTimer::timeout, [this] {
        m_feeders[0]->feed(16);
        m_feeders[1]->feed(16);
    });
    traffic.start(100);
    QTRY_VERIFY_WITH_TIMEOUT(!m_taps[0]->received().isEmpty() && !m_taps[1]->received().isEmpty(),
                             kWaitMs);

    QElapsedTimer cut;
    cut.start();
    QVERIFY(m_hosts->setLinkUp(false));
    qint64 silenceAtTimeOut[2] = {-1, -1};
    QDeadlineTimer deadline(kCutMs);
    while (!deadline.hasExpired()) {
        for (int host = 0; host < 2; ++host) {
            if (silenceAtTimeOut[host] < 0 &&
                statuses(host).mid(marks[host]).contains(QStringLiteral("Timed-Out")))
                silenceAtTimeOut[host] = m_taps[host]->msSinceLastArrival();
        }
        QTest::qWait(20);
    }
    qInfo("Timed-Out %lld and %lld ms after the last bytes arrived", silenceAtTimeOut[0],
          silenceAtTimeOut[1]);
    for (qint64 silence : silenceAtTimeOut) {
        QVERIFY2(silence >= kTimeOutEarliestMs && silence <= kTimeOutLatestMs,
                 qPrintable(QString::number(silence)));
    }

    traffic.stop();
    QElapsedTimer back;
    back.start();
    QVERIFY(m_hosts->setLinkUp(true));
    QVERIFY(waitForLink(0, 1, kLinkTimeoutMs));
    QVERIFY(waitForLink(1, 0, kWaitMs));
    qInfo("linked again %lld ms after the link came back (cut for %lld ms)", back.elapsed(),
          cut.elapsed() - back.elapsed());
    QVERIFY(crossesWhole(0, 1, 32 * 1024, 7));
    QVERIFY(crossesWhole(1, 0, 32 * 1024, 8));
}

void FaultsEndToEndTest::logFolderAway_logsCatchUpWithNothingLost()
{
    const QString logs = QDir(m_stations[0]->folder()).filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(logs));
    QVERIFY(prepare(0, kInsideFolder + QStringLiteral("logs/rx.log"),
                    kInsideFolder + QStringLiteral("logs/tx.log")));
    QVERIFY(prepare(1));
    for (int host = 0; host < 2; ++host)
        QVERIFY(start(host));
    QVERIFY(waitForLink(0, 1, kLinkTimeoutMs));
    QVERIFY(waitForLink(1, 0, kWaitMs));

    QTimer traffic;
    QObject::connect(&traffic, &QTimer::timeout, [this] {
        m_feeders[0]->feed(256);
        m_feeders[1]->feed(256);
        pumpTaps();
    });
    traffic.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(m_taps[0]->received().size() > 4096, kWaitMs);

    // A file where the folder was: every append fails, whoever the station runs as. The
    // folder itself is kept aside with what the logs held so far.
    const QString aside = logs + QStringLiteral(".aside");
    QVERIFY(QDir().rename(logs, aside));
    QFile inTheWay(logs);
    QVERIFY(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    const qsizetype sentBefore = m_feeders[0]->sent().size();
    QTRY_VERIFY_WITH_TIMEOUT(m_feeders[0]->sent().size() > sentBefore + 32 * 1024, kWaitMs);
    const qint64 rxAside = QFileInfo(aside + QStringLiteral("/rx.log")).size();
    QTest::qWait(200);
    // Nothing reached the files while the folder was away.
    QCOMPARE(QFileInfo(aside + QStringLiteral("/rx.log")).size(), rxAside);

    QVERIFY(QFile::remove(logs));
    QVERIFY(QDir().rename(aside, logs));
    QTest::qWait(300);
    traffic.stop();

    // Everything the devices sent since the link came up is in the logs, in one piece.
    QTRY_COMPARE_WITH_TIMEOUT(m_taps[1]->received().size(), m_feeders[0]->sent().size(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_taps[0]->received().size(), m_feeders[1]->sent().size(), kWaitMs);
    QCOMPARE(m_taps[1]->received(), m_feeders[0]->sent());
    QCOMPARE(m_taps[0]->received(), m_feeders[1]->sent());
    const auto fileBytes = [&logs](const QString &name) {
        QFile file(QDir(logs).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(QStringLiteral("rx.log")).endsWith(m_feeders[0]->sent()),
                             kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(fileBytes(QStringLiteral("tx.log")).endsWith(m_feeders[1]->sent()),
                             kWaitMs);
}

void FaultsEndToEndTest::fullDisk_stationKeepsBridging()
{
    QTemporaryDir disk;
    QVERIFY(disk.isValid());
    // Mounted before the station starts, so its own mount namespace has it too.
    QVERIFY(NamespacePair::runCommand(
        {"mount", "-t", "tmpfs", "-o", "size=64k", "tethra-full", disk.path()}));
    const auto unmount = qScopeGuard([&disk] {
        NamespacePair::runCommand({"umount", "-l", disk.path()});
    });
    QVERIFY(prepare(0, disk.filePath(QStringLiteral("rx.log")),
                    disk.filePath(QStringLiteral("tx.log"))));
    QVERIFY(prepare(1));
    for (int host = 0; host < 2; ++host)
        QVERIFY(start(host));
    QVERIFY(waitForLink(0, 1, kLinkTimeoutMs));
    QVERIFY(waitForLink(1, 0, kWaitMs));

    // Far more than the disk holds, both ways; the logs fill it early on.
    for (int round = 0; round < 4; ++round) {
        QVERIFY(crossesWhole(0, 1, 128 * 1024, 10 + round));
        QVERIFY(crossesWhole(1, 0, 128 * 1024, 20 + round));
    }
    const qint64 logged = QFileInfo(disk.filePath(QStringLiteral("rx.log"))).size() +
                          QFileInfo(disk.filePath(QStringLiteral("tx.log"))).size();
    qInfo("the logs hold %lld bytes of the 1 MB that crossed", logged);
    QVERIFY(logged > 0 && logged <= 64 * 1024);
    QVERIFY(m_stations[0]->isRunning());
}

void FaultsEndToEndTest::stopSignalUnderHeavyTraffic_writesSettingsWhole()
{
    for (int host = 0; host < 2; ++host) {
        QVERIFY(prepare(host));
        QVERIFY(start(host));
    }
    QVERIFY(waitForLink(0, 1, kLinkTimeoutMs));
    QVERIFY(waitForLink(1, 0, kWaitMs));

    QTimer traffic;
    QObject::connect(&traffic, &QTimer::timeout, [this] {
        m_feeders[0]->feed(4096);
        m_feeders[1]->feed(4096);
        pumpTaps();
    });
    traffic.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(m_taps[0]->received().size() > 256 * 1024 &&
                                 m_taps[1]->received().size() > 256 * 1024,
                             kWaitMs * 2);
    QVERIFY(m_stations[0]->stop(SIGTERM));
    traffic.stop();
    m_output[0] += m_stations[0]->output();

    QFile file(QDir(m_stations[0]->folder()).filePath(QLatin1String(SettingsRecords::kFileName)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count("\r\n"), qsizetype(SettingsRecords::kRecordCount));
    QVERIFY(bytes.endsWith("\r\n"));
    const SettingsReadResult saved = decodeSettingsRecords(bytes);
    QVERIFY2(saved.complete, qPrintable(saved.error));
    QCOMPARE(saved.recordsRead, SettingsRecords::kRecordCount);
    QCOMPARE(saved.records.remoteHost, m_hosts->address(1));
    QCOMPARE(saved.records.serialPort, 1);
    QCOMPARE(saved.records.portNumber, 9801);
    QCOMPARE(saved.records.serialSettings, QStringLiteral("9600,n,8,1"));
    // Nothing but the settings file is left behind in the folder by the save.
    const QStringList leftovers = QDir(m_stations[0]->folder())
                                      .entryList(QDir::Files | QDir::NoDotAndDotDot)
                                      .filter(QRegularExpression(QStringLiteral("TETHRA")));
    QCOMPARE(leftovers, QStringList({QLatin1String(SettingsRecords::kFileName)}));
}

void FaultsEndToEndTest::stopSignal_bytesReadFromDeviceReachPeer_data()
{
    QTest::addColumn<bool>("linkDead");
    QTest::newRow("slow link") << false;
    QTest::newRow("dead link") << true;
}

void FaultsEndToEndTest::stopSignal_bytesReadFromDeviceReachPeer()
{
    QFETCH(bool, linkDead);
    // At 4 Mbit/s the 300 KB need about 0.6 s; the stop comes as soon as the station has
    // read them, with most of them still on their way.
    QVERIFY(m_hosts->setLinkRate(QStringLiteral("4mbit")));
    // Station 0 logs what it reads from its device: the log shows when it has read the last
    // byte (a pseudo-terminal passes bytes on asynchronously).
    QVERIFY(prepare(0, kInsideFolder + QStringLiteral("rx.log")));
    QVERIFY(prepare(1));
    for (int host = 0; host < 2; ++host)
        QVERIFY(start(host));
    QVERIFY(waitForLink(0, 1, kLinkTimeoutMs));
    QVERIFY(waitForLink(1, 0, kWaitMs));

    const QByteArray data = pattern(300 * 1024, 31) + "-- end of burst --";
    QVERIFY(m_stations[0]->device().writeAll(data, kWaitMs));
    const QString rxLog = QDir(m_stations[0]->folder()).filePath(QStringLiteral("rx.log"));
    const auto allRead = [&rxLog] {
        QFile file(rxLog);
        return file.open(QIODevice::ReadOnly) && file.readAll().endsWith("end of burst --");
    };
    QTRY_VERIFY_WITH_TIMEOUT(allRead(), kWaitMs);
    if (linkDead)
        QVERIFY(m_hosts->setLinkUp(false));
    QElapsedTimer stopping;
    stopping.start();
    // A peer that is gone must not hold the stop up for long.
    QVERIFY(m_stations[0]->stop(SIGTERM, linkDead ? kDeadLinkStopMs : kWaitMs));
    qInfo("stopped in %lld ms with %lld of %lld bytes out of the peer's device", stopping.elapsed(),
          qlonglong(m_taps[1]->received().size()), qlonglong(data.size()));
    m_output[0] += m_stations[0]->output();
    if (linkDead)
        return;
    QTRY_COMPARE_WITH_TIMEOUT(m_taps[1]->received().size(), data.size(), kWaitMs);
    QCOMPARE(m_taps[1]->received(), data);
}

QTEST_GUILESS_MAIN(FaultsEndToEndTest)
#include "faults_e2e_test.moc"
