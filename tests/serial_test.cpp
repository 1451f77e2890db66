// The serial component against pseudo-terminals: the test plays the device on the master
// side, the component opens the slave through a com link in a temporary settings folder.
#include "platform/SerialControl.h"
#include "platform/SerialPortMap.h"
#include "platform/SerialProbe.h"
#include "support/Pty.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sys/resource.h>

namespace
{

constexpr int kWaitMs = 5000;

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));
    return bytes;
}

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

double processCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A settings folder whose com<n> links point at fresh pseudo-terminals.
class Bench
{
public:
    Bench() : m_map(m_dir.path()) {}

    bool link(int port, const QString &target)
    {
        return QFile::link(target, QStringLiteral("%1/com%2").arg(m_dir.path()).arg(port));
    }
    const SerialPortMap &map() const { return m_map; }
    QString folder() const { return m_dir.path(); }

    std::unique_ptr<SerialControl> openPort(int port, const QString &settings = {},
                                            int handshaking = 0)
    {
        auto serial = std::make_unique<SerialControl>(m_map);
        serial->setCommPort(port);
        if (!settings.isEmpty() && !serial->setSettings(settings))
            return nullptr;
        if (!serial->setHandshaking(handshaking) || !serial->setPortOpen(true))
            return nullptr;
        return serial;
    }

private:
    QTemporaryDir m_dir;
    SerialPortMap m_map;
};

// Collects everything the component reports through OnComm, the way the station reads it.
QByteArray collect(SerialControl &serial, qsizetype count, int timeoutMs = kWaitMs)
{
    QByteArray received;
    const QMetaObject::Connection reader = QObject::connect(&serial, &SerialControl::OnComm, [&] {
        if (serial.CommEvent() == SerialControl::kCommEventReceive)
            received += serial.Input();
    });
    received += serial.Input();
    QElapsedTimer clock;
    clock.start();
    while (received.size() < count && clock.elapsed() < timeoutMs)
        QTest::qWait(2);
    QObject::disconnect(reader);
    return received;
}

} // namespace

class SerialTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void devicePath_prefersComLinkElseBuiltInPort();
    void devicePath_outsideRange_isEmpty_data();
    void devicePath_outsideRange_isEmpty();
    void open_secondOpenOfSameDevice_fails();
    void open_portOutsideRange_failsReadablyAndStaysClosed_data();
    void open_portOutsideRange_failsReadablyAndStaysClosed();
    void open_missingDevice_namesPathAndReason();
    void settings_readBackExactlyAsWritten_data();
    void settings_readBackExactlyAsWritten();
    void settings_invalidText_rejectedAndOldTextKept_data();
    void settings_invalidText_rejectedAndOldTextKept();
    void handshaking_outsideRange_rejected();
    void bytes_allValuesPassUnchangedBothWays_data();
    void bytes_allValuesPassUnchangedBothWays();
    void xonXoff_eatenOnlyWithSoftwareFlowControl_data();
    void xonXoff_eatenOnlyWithSoftwareFlowControl();
    void onComm_raisedForASingleByte();
    void output_returnsAtOnceAndEverythingArrives();
    void output_manyPiecesWhileDeviceFillsAndDrains_arriveInOrder();
    void output_queueTakenByDevice_raisesBytesWritten();
    void input_burst_takenInPiecesLargerThanOneTtyRead();
    void deviceVanishing_closesOnceWithoutBusyLoop();
    void inputPause_holdsBytesInDeviceThenDeliversAllInOrder();
    void heldPort_seenAsHeldByProbeUntilClosed();
    void closeThenReopen_bytesFlowAgain();
};

void SerialTest::devicePath_prefersComLinkElseBuiltInPort()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(3, pty.slavePath()));
    QVERIFY(bench.link(4, bench.folder() + QStringLiteral("/nothing-here")));

    for (const QString &folder : {bench.folder(), bench.folder() + QLatin1Char('/')}) {
        const SerialPortMap map(folder);
        QCOMPARE(map.devicePath(3), bench.folder() + QStringLiteral("/com3"));
        // An unplugged adapter leaves a dangling link: it still names that port.
        QCOMPARE(map.devicePath(4), bench.folder() + QStringLiteral("/com4"));
        QCOMPARE(map.devicePath(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(map.devicePath(16), QStringLiteral("/dev/ttyS15"));
    }
    QCOMPARE(SerialPortMap(QString()).devicePath(2), QStringLiteral("/dev/ttyS1"));
}

void SerialTest::devicePath_outsideRange_isEmpty_data()
{
    QTest::addColumn<int>("port");
    QTest::newRow("0") << 0;
    QTest::newRow("17") << 17;
    QTest::newRow("-1") << -1;
}

void SerialTest::devicePath_outsideRange_isEmpty()
{
    QFETCH(int, port);
    QTemporaryDir dir;
    QVERIFY(
        QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("com%1").arg(port))));
    QVERIFY(SerialPortMap(dir.path()).devicePath(port).isEmpty());
}

void SerialTest::open_secondOpenOfSameDevice_fails()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    QVERIFY(bench.link(2, pty.slavePath()));

    auto first = bench.openPort(1);
    QVERIFY(first);
    QVERIFY(first->PortOpen());

    // Through the same link and through another link to the same device.
    for (int port : {1, 2}) {
        SerialControl second(bench.map());
        second.setCommPort(port);
        QVERIFY(!second.setPortOpen(true));
        QVERIFY(!second.PortOpen());
        QCOMPARE(second.errorString(),
                 bench.folder() +
                     QStringLiteral("/com%1: the port is in use by another program").arg(port));
    }

    // The first holder is undisturbed, and once it lets go the port can be had again.
    QVERIFY(pty.writeAll("ok"));
    QCOMPARE(collect(*first, 2), QByteArray("ok"));
    QVERIFY(first->setPortOpen(false));
    SerialControl third(bench.map());
    QVERIFY2(third.setPortOpen(true), qPrintable(third.errorString()));
}

void SerialTest::open_portOutsideRange_failsReadablyAndStaysClosed_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("expected");
    QTest::newRow("port 17") << 17 << QStringLiteral("Com17 is not a valid port");
    QTest::newRow("port 0") << 0 << QStringLiteral("Com0 is not a valid port");
}

void SerialTest::open_portOutsideRange_failsReadablyAndStaysClosed()
{
    QFETCH(int, port);
    QFETCH(QString, expected);
    SerialControl serial{SerialPortMap(QString())};
    serial.setCommPort(port);
    QVERIFY(!serial.setPortOpen(true));
    QVERIFY(!serial.PortOpen());
    QCOMPARE(serial.errorString(), expected);
}

void SerialTest::open_missingDevice_namesPathAndReason()
{
    Bench bench;
    QVERIFY(bench.link(5, bench.folder() + QStringLiteral("/unplugged")));
    SerialControl serial(bench.map());
    serial.setCommPort(5);
    QVERIFY(!serial.setPortOpen(true));
    QVERIFY(!serial.PortOpen());
    QCOMPARE(serial.errorString(),
             bench.folder() + QStringLiteral("/com5: No such file or directory"));
}

void SerialTest::settings_readBackExactlyAsWritten_data()
{
    QTest::addColumn<QString>("settings");
    QTest::newRow("even 7 data bits") << QStringLiteral("9600,e,7,1");
    QTest::newRow("upper case, 2 stop bits") << QStringLiteral("115200,N,8,2");
    QTest::newRow("1.5 stop bits") << QStringLiteral("300,o,7,1.5");
    QTest::newRow("mark, 5 data bits") << QStringLiteral("1200,M,5,1.5");
    QTest::newRow("space, 6 data bits") << QStringLiteral("19200,s,6,2");
}

void SerialTest::settings_readBackExactlyAsWritten()
{
    QFETCH(QString, settings);
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));

    // Given while closed, then opened: a pseudo-terminal keeps its own line format, and
    // the port opens and reads the text back all the same.
    SerialControl serial(bench.map());
    QVERIFY(serial.setSettings(settings));
    QCOMPARE(serial.Settings(), settings);
    QVERIFY2(serial.setPortOpen(true), qPrintable(serial.errorString()));
    QCOMPARE(serial.Settings(), settings);

    // Given while open.
    QVERIFY(serial.setSettings(QStringLiteral("4800,n,8,1")));
    QVERIFY2(serial.setSettings(settings), qPrintable(serial.errorString()));
    QCOMPARE(serial.Settings(), settings);
    QVERIFY(pty.writeAll("x"));
    QCOMPARE(collect(serial, 1), QByteArray("x"));
}

void SerialTest::settings_invalidText_rejectedAndOldTextKept_data()
{
    QTest::addColumn<QString>("settings");
    QTest::newRow("empty") << QString();
    QTest::newRow("baud only") << QStringLiteral("9600");
    QTest::newRow("parity x") << QStringLiteral("9600,x,8,1");
    QTest::newRow("9 data bits") << QStringLiteral("9600,n,9,1");
    QTest::newRow("4 data bits") << QStringLiteral("9600,n,4,1");
    QTest::newRow("3 stop bits") << QStringLiteral("9600,n,8,3");
    QTest::newRow("stop bits 1.0") << QStringLiteral("9600,n,8,1.0");
    QTest::newRow("baud not a number") << QStringLiteral("fast,n,8,1");
    QTest::newRow("baud 0") << QStringLiteral("0,n,8,1");
    QTest::newRow("negative baud") << QStringLiteral("-9600,n,8,1");
    QTest::newRow("blank inside") << QStringLiteral("9600, n,8,1");
    QTest::newRow("trailing comma") << QStringLiteral("9600,n,8,1,");
    QTest::newRow("parity word") << QStringLiteral("9600,even,8,1");
}

void SerialTest::settings_invalidText_rejectedAndOldTextKept()
{
    QFETCH(QString, settings);
    SerialControl serial{SerialPortMap(QString())};
    QVERIFY(serial.setSettings(QStringLiteral("2400,E,7,2")));
    QVERIFY(!serial.setSettings(settings));
    QCOMPARE(serial.Settings(), QStringLiteral("2400,E,7,2"));
    QVERIFY(!serial.errorString().isEmpty());
}

void SerialTest::handshaking_outsideRange_rejected()
{
    SerialControl serial{SerialPortMap(QString())};
    QVERIFY(serial.setHandshaking(2));
    QVERIFY(!serial.setHandshaking(3));
    QVERIFY(!serial.setHandshaking(-1));
    QCOMPARE(serial.Handshaking(), 2);
}

void SerialTest::bytes_allValuesPassUnchangedBothWays_data()
{
    QTest::addColumn<int>("handshaking");
    QTest::newRow("no flow control") << 0;
    QTest::newRow("RTS/CTS") << 2;
}

void SerialTest::bytes_allValuesPassUnchangedBothWays()
{
    QFETCH(int, handshaking);
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1, QStringLiteral("115200,n,8,1"), handshaking);
    QVERIFY(serial);

    // Line ends, XON/XOFF, EOF and interrupt characters included, twice over.
    const QByteArray bytes = allByteValues() + allByteValues();
    QVERIFY(pty.writeAll(bytes));
    QCOMPARE(collect(*serial, bytes.size()), bytes);

    serial->Output(bytes);
    QCOMPARE(pty.readUntil(bytes.size()), bytes);
}

void SerialTest::xonXoff_eatenOnlyWithSoftwareFlowControl_data()
{
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("none passes them") << 0
                                      << QByteArray("a\x13"
                                                    "b\x11"
                                                    "c");
    QTest::newRow("XON/XOFF takes them") << 1 << QByteArray("abc");
}

void SerialTest::xonXoff_eatenOnlyWithSoftwareFlowControl()
{
    QFETCH(int, handshaking);
    QFETCH(QByteArray, expected);
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1, QStringLiteral("9600,n,8,1"), handshaking);
    QVERIFY(serial);

    QVERIFY(pty.writeAll(QByteArray("a\x13"
                                    "b\x11"
                                    "c")));
    // The last byte is plain, so everything before it has been seen once it is here.
    QByteArray received;
    const QMetaObject::Connection reader =
        connect(serial.get(), &SerialControl::OnComm, [&] { received += serial->Input(); });
    QTRY_VERIFY_WITH_TIMEOUT(received.endsWith('c'), kWaitMs);
    disconnect(reader);
    QCOMPARE(received, expected);
}

void SerialTest::onComm_raisedForASingleByte()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);
    QSignalSpy comm(serial.get(), &SerialControl::OnComm);

    QVERIFY(pty.writeAll("Z"));
    QTRY_VERIFY_WITH_TIMEOUT(comm.count() >= 1, kWaitMs);
    QCOMPARE(serial->CommEvent(), SerialControl::kCommEventReceive);
    QCOMPARE(serial->InBufferCount(), 1);
    QCOMPARE(serial->Input(), QByteArray("Z"));
    QCOMPARE(serial->InBufferCount(), 0);
}

void SerialTest::output_returnsAtOnceAndEverythingArrives()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);

    QSignalSpy overflowStarted(serial.get(), &SerialControl::outputOverflowStarted);
    QSignalSpy overflowEnded(serial.get(), &SerialControl::outputOverflowEnded);

    // More than a pseudo-terminal holds, so most of it has to wait in the component.
    const QByteArray bytes = pattern(300 * 1024);
    serial->Output(bytes);
    QVERIFY(serial->OutBufferCount() > 0);
    // Past the queue's bound whole writes are dropped, and the overflow is told once.
    const QByteArray tooMuch(SerialControl::kWriteBufferBound, 'x');
    serial->Output(tooMuch);
    serial->Output(tooMuch);
    QCOMPARE(overflowStarted.count(), 1);
    QCOMPARE(overflowEnded.count(), 0);
    const QByteArray received = pty.readUntil(bytes.size(), 20000);
    QCOMPARE(received.size(), bytes.size());
    QVERIFY(received == bytes);
    QTRY_COMPARE_WITH_TIMEOUT(serial->OutBufferCount(), 0, kWaitMs);
    QCOMPARE(pty.readUntil(1, 200), QByteArray());
    QCOMPARE(overflowStarted.count(), 1);
    QCOMPARE(overflowEnded.count(), 1);
    QCOMPARE(overflowEnded.at(0).at(0).toLongLong(), 2 * tooMuch.size());
}

void SerialTest::output_manyPiecesWhileDeviceFillsAndDrains_arriveInOrder()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);

    // Pieces of many sizes: some go straight to the device, some wait in the component
    // while the device is full, and the device drains in between. Order must hold
    // whichever way each piece took.
    const QByteArray bytes = pattern(600 * 1024);
    QByteArray received;
    qsizetype offset = 0;
    for (int piece = 0; offset < bytes.size(); ++piece) {
        const qsizetype size = qMin<qsizetype>(1 + (piece * 977) % 9000, bytes.size() - offset);
        serial->Output(bytes.mid(offset, size));
        offset += size;
        if (piece % 7 == 0) {
            QCoreApplication::processEvents();
            received += pty.read();
        }
        if (serial->OutBufferCount() > 256 * 1024)
            received += pty.readUntil(64 * 1024, kWaitMs);
    }
    received += pty.readUntil(bytes.size() - received.size(), 20000);
    QCOMPARE(received.size(), bytes.size());
    QVERIFY(received == bytes);
}

void SerialTest::output_queueTakenByDevice_raisesBytesWritten()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);
    QSignalSpy written(serial.get(), &SerialControl::bytesWritten);

    const QByteArray bytes = pattern(300 * 1024);
    serial->Output(bytes);
    QVERIFY(serial->OutBufferCount() > 0);
    QCOMPARE(written.count(), 0);

    // Each time the device takes queued bytes the count falls and the signal says so.
    QByteArray received;
    int lastCount = serial->OutBufferCount();
    QElapsedTimer clock;
    clock.start();
    while (serial->OutBufferCount() > 0 && clock.elapsed() < 4 * kWaitMs) {
        received += pty.read();
        const int signals = written.count();
        QTest::qWait(2);
        if (written.count() > signals) {
            QVERIFY(serial->OutBufferCount() < lastCount);
            lastCount = serial->OutBufferCount();
        }
    }
    QCOMPARE(serial->OutBufferCount(), 0);
    QVERIFY(written.count() >= 1);
    received += pty.readUntil(bytes.size() - received.size(), kWaitMs);
    QVERIFY(received == bytes);
}

void SerialTest::input_burst_takenInPiecesLargerThanOneTtyRead()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);

    // Written in one go while the component is not looking, the burst waits in the
    // terminal, which hands out 4 KB per read.
    const QByteArray bytes = pattern(40 * 1024).left(pty.write(pattern(40 * 1024)));
    QVERIFY2(bytes.size() > 2 * SerialControl::kTtyBufferSize,
             qPrintable(QString::number(bytes.size())));
    QByteArray received;
    qsizetype largest = 0;
    const QMetaObject::Connection reader = connect(serial.get(), &SerialControl::OnComm, [&] {
        const QByteArray piece = serial->Input();
        largest = qMax(largest, piece.size());
        received += piece;
    });
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), bytes.size(), kWaitMs);
    disconnect(reader);
    QVERIFY(received == bytes);
    QVERIFY2(largest > SerialControl::kTtyBufferSize, qPrintable(QString::number(largest)));
    QVERIFY(largest <= SerialControl::kInputBound);
}

void SerialTest::deviceVanishing_closesOnceWithoutBusyLoop()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);
    QSignalSpy lost(serial.get(), &SerialControl::portLost);
    QSignalSpy comm(serial.get(), &SerialControl::OnComm);

    pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kWaitMs);
    QVERIFY(!serial->PortOpen());
    QVERIFY(!lost.first().first().toString().isEmpty());
    QCOMPARE(serial->errorString(), lost.first().first().toString());

    // A busy loop on the dead descriptor would burn a whole core and starve timers.
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    QElapsedTimer wall;
    const double cpuBefore = processCpuSeconds();
    wall.start();
    timer.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 15, kWaitMs);
    const double cpuShare = (processCpuSeconds() - cpuBefore) / (wall.elapsed() / 1000.0);
    QVERIFY2(cpuShare < 0.5, qPrintable(QStringLiteral("CPU share %1").arg(cpuShare)));
    QCOMPARE(lost.count(), 1);
    QCOMPARE(comm.count(), 0);

    // Calls on the lost port are harmless.
    serial->Output("late");
    QVERIFY(serial->Input().isEmpty());
    QVERIFY(serial->setPortOpen(false));
}

void SerialTest::inputPause_holdsBytesInDeviceThenDeliversAllInOrder()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);
    QSignalSpy comm(serial.get(), &SerialControl::OnComm);

    serial->setInputPaused(true);
    const QByteArray bytes = pattern(3000);
    QVERIFY(pty.writeAll(bytes));
    // Every byte is either still in the terminal or already taken by the component.
    QTRY_COMPARE_WITH_TIMEOUT(pty.slaveInputQueued() + serial->InBufferCount(),
                              static_cast<int>(bytes.size()), kWaitMs);
    // Give the component time it would use to take them, then check that it did not.
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 10, kWaitMs);
    QCOMPARE(comm.count(), 0);
    QVERIFY2(serial->InBufferCount() <= 1, qPrintable(QString::number(serial->InBufferCount())));
    QVERIFY(pty.slaveInputQueued() >= static_cast<int>(bytes.size()) - 1);

    serial->setInputPaused(false);
    QTRY_VERIFY_WITH_TIMEOUT(comm.count() >= 1, kWaitMs);
    QCOMPARE(collect(*serial, bytes.size()), bytes);
}

void SerialTest::heldPort_seenAsHeldByProbeUntilClosed()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    const QString path = bench.map().devicePath(1);

    QVERIFY(SerialProbe::canOpenSerialDevice(path));
    {
        auto serial = bench.openPort(1, QStringLiteral("9600,e,7,1"));
        QVERIFY(serial);
        QVERIFY(!SerialProbe::canOpenSerialDevice(path));
        QVERIFY(!SerialProbe::canOpenSerialDevice(pty.slavePath()));
        // The probe leaves the holder's port working.
        QVERIFY(pty.writeAll("still"));
        QCOMPARE(collect(*serial, 5), QByteArray("still"));
    }
    QVERIFY(SerialProbe::canOpenSerialDevice(path));
}

void SerialTest::closeThenReopen_bytesFlowAgain()
{
    Pty pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Bench bench;
    QVERIFY(bench.link(1, pty.slavePath()));
    auto serial = bench.openPort(1);
    QVERIFY(serial);
    QVERIFY(serial->setPortOpen(false));
    QVERIFY(!serial->PortOpen());
    QVERIFY(serial->setSettings(QStringLiteral("57600,e,7,2")));
    QVERIFY2(serial->setPortOpen(true), qPrintable(serial->errorString()));
    QVERIFY(pty.writeAll("again"));
    QCOMPARE(collect(*serial, 5), QByteArray("again"));
    serial->Output("back");
    QCOMPARE(pty.readUntil(4), QByteArray("back"));
}

QTEST_GUILESS_MAIN(SerialTest)
#include "serial_test.moc"
