// The serial component against pseudo-terminals: the test plays the device on the master
// side; the component opens the slave through a com link in a temporary settings folder.
#include "platform/SerialControl.h"
#include "platform/SerialProbe.h"
#include "support/Pty.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/ioctl.h>
#include <sys/resource.h>

namespace
{
constexpr int kWaitMs = 5000;

QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

class SerialTest final : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Pty> m_pty;
    std::unique_ptr<SerialControl> m_port;
    QByteArray m_in; // what the station took through OnComm, the way it reads it
    qsizetype m_largestInput = 0;
    int m_comms = 0;

    bool link(const QString &com, const QString &target)
    {
        return QFile::link(target, m_dir->filePath(com));
    }
    QString path(const QString &com) const { return m_dir->filePath(com); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_pty = std::make_unique<Pty>();
        QVERIFY2(m_pty->isOpen(), qPrintable(m_pty->errorString()));
        QVERIFY(link(QStringLiteral("com1"), m_pty->slavePath()));
        m_port = std::make_unique<SerialControl>(SerialPortMap(m_dir->path()));
        QVERIFY(m_port->setSettings(QStringLiteral("115200,n,8,1")));
        QVERIFY2(m_port->setPortOpen(true), qPrintable(m_port->errorString()));
        m_in.clear();
        m_largestInput = m_comms = 0;
        connect(m_port.get(), &SerialControl::OnComm, this, [this] {
            ++m_comms;
            const QByteArray piece = m_port->Input();
            m_largestInput = qMax(m_largestInput, piece.size());
            m_in += piece;
        });
    }
    void cleanup() { m_port.reset(); }

    void devicePath_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("expected"); // %1: the settings folder
        QTest::newRow("com link") << 3 << "%1/com3";
        // An unplugged adapter leaves a dangling link: it still names that port.
        QTest::newRow("dangling com link") << 4 << "%1/com4";
        QTest::newRow("no link: built-in 2") << 2 << "/dev/ttyS1";
        QTest::newRow("no link: built-in 16") << 16 << "/dev/ttyS15";
        QTest::newRow("0") << 0 << "";
        QTest::newRow("17, though linked") << 17 << "";
    }
    void devicePath()
    {
        QFETCH(int, port);
        QFETCH(QString, expected);
        for (const auto &[com, target] : {std::pair{"com3", "/dev/null"},
                                          {"com4", "gone"},
                                          {"com17", "/dev/null"},
                                          {"com0", "/dev/null"}})
            QVERIFY(link(QLatin1String(com), QLatin1String(target)));
        QCOMPARE(SerialPortMap(m_dir->path()).devicePath(port),
                 expected.contains(u'%') ? expected.arg(m_dir->path()) : expected);
    }

    void open_failsReadablyAndStaysClosed_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("expected"); // %1: the settings folder
        QTest::newRow("port 17") << 17 << "Com17 is not a valid port";
        QTest::newRow("port 0") << 0 << "Com0 is not a valid port";
        QTest::newRow("unplugged") << 5 << "%1/com5: No such file or directory";
        const QString inUse = QStringLiteral("the port is in use by another program");
        QTest::newRow("same link, held") << 1 << "%1/com1: " + inUse;
        QTest::newRow("other link, same device held") << 2 << "%1/com2: " + inUse;
    }
    void open_failsReadablyAndStaysClosed()
    {
        QFETCH(int, port);
        QFETCH(QString, expected);
        QVERIFY(link(QStringLiteral("com2"), m_pty->slavePath()));
        QVERIFY(link(QStringLiteral("com5"), path(QStringLiteral("unplugged"))));
        SerialControl second{SerialPortMap(m_dir->path())};
        second.setCommPort(port);
        QVERIFY(!second.setPortOpen(true));
        QVERIFY(!second.PortOpen());
        QCOMPARE(second.errorString(),
                 expected.contains(u'%') ? expected.arg(m_dir->path()) : expected);
        QVERIFY(m_pty->writeAll("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(m_in, QByteArray("ok"), kWaitMs);
    }

    void heldPort_freeForOthersOnlyOnceClosed()
    {
        QVERIFY(!SerialProbe::canOpenSerialDevice(path(QStringLiteral("com1"))));
        QVERIFY(!SerialProbe::canOpenSerialDevice(m_pty->slavePath()));
        QVERIFY(m_port->setPortOpen(false));
        QVERIFY(SerialProbe::canOpenSerialDevice(path(QStringLiteral("com1"))));
        // Opened again with other settings, the port carries bytes both ways.
        QVERIFY(m_port->setSettings(QStringLiteral("57600,e,7,2")));
        QVERIFY2(m_port->setPortOpen(true), qPrintable(m_port->errorString()));
        QVERIFY(m_pty->writeAll("again"));
        QTRY_COMPARE_WITH_TIMEOUT(m_in, QByteArray("again"), kWaitMs);
        m_port->Output("back");
        QCOMPARE(m_pty->readUntil(4), QByteArray("back"));
    }

    void settings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        for (const char *text :
             {"9600,e,7,1", "115200,N,8,2", "300,o,7,1.5", "1200,M,5,1.5", "19200,s,6,2"})
            QTest::newRow(text) << text << true;
        for (const char *text :
             {"", "9600", "9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,1.0",
              "0,n,8,1", "-9600,n,8,1", "9600, n,8,1", "9600,n,8,1,", "9600,even,8,1"})
            QTest::newRow(text) << text << false;
    }
    void settings()
    {
        // Read back exactly as written on an open port; a device that keeps its own line
        // format (as a pseudo-terminal does) carries on.
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(m_port->setSettings(text), valid);
        QCOMPARE(m_port->Settings(), valid ? text : QStringLiteral("115200,n,8,1"));
        QVERIFY(valid || !m_port->errorString().isEmpty());
        QVERIFY(m_pty->writeAll("x"));
        QTRY_COMPARE_WITH_TIMEOUT(m_in, QByteArray("x"), kWaitMs);
    }

    void bytes_data()
    {
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("received");
        QByteArray all;
        for (int value = 0; value < 512; ++value)
            all.append(static_cast<char>(value));
        QTest::newRow("no flow control: every value") << 0 << all << all;
        QTest::newRow("RTS/CTS: every value") << 2 << all << all;
        const QByteArray xonXoff("a\x13"
                                 "b\x11"
                                 "c");
        QTest::newRow("no flow control passes XON/XOFF") << 0 << xonXoff << xonXoff;
        QTest::newRow("XON/XOFF takes them") << 1 << xonXoff << QByteArray("abc");
    }
    void bytes()
    {
        QFETCH(int, handshaking);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, received);
        QVERIFY(m_port->setHandshaking(handshaking));
        QVERIFY(m_pty->writeAll(sent));
        QTRY_VERIFY_WITH_TIMEOUT(m_in.size() >= received.size(), kWaitMs);
        QCOMPARE(m_in, received);
        m_port->Output(received);
        QCOMPARE(m_pty->readUntil(received.size()), received);
    }

    void input_readsOnPastOneTtyRead()
    {
        // Written in one go while the component is not looking, the burst waits in the
        // terminal, which hands out 4 KB per read.
        const QByteArray burst = pattern(40 * 1024).left(m_pty->write(pattern(40 * 1024)));
        QVERIFY(burst.size() > 2 * SerialControl::kTtyBufferSize);
        QTRY_COMPARE_WITH_TIMEOUT(m_in.size(), burst.size(), kWaitMs);
        QVERIFY(m_in == burst);
        QVERIFY2(m_largestInput > SerialControl::kTtyBufferSize,
                 qPrintable(QString::number(m_largestInput)));
        QVERIFY(m_largestInput <= SerialControl::kInputBound);
    }

    void inputPaused_bytesStayInDevice()
    {
        m_port->setInputPaused(true);
        QVERIFY(m_pty->writeAll(pattern(3000)));
        const auto inDevice = [this] {
            int count = 0;
            return ::ioctl(m_pty->slaveFd(), FIONREAD, &count) == 0 ? count : -1;
        };
        QTRY_COMPARE_WITH_TIMEOUT(inDevice() + m_port->InBufferCount(), 3000, kWaitMs);
        QTest::qWait(100); // time to do what it must not
        QCOMPARE(m_comms, 0);
        QVERIFY(m_port->InBufferCount() <= 1);
        m_port->setInputPaused(false);
        QTRY_COMPARE_WITH_TIMEOUT(m_in.size(), 3000, kWaitMs);
        QVERIFY(m_in == pattern(3000));
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
        QVERIFY(m_port->OutBufferCount() > 0);
        // Past the queue's bound whole writes are dropped, and the overflow told once.
        const QByteArray tooMuch(SerialControl::kWriteBufferBound, 'x');
        m_port->Output(tooMuch);
        m_port->Output(tooMuch);
        QCOMPARE(overflowStarted.count(), 1);
        out += m_pty->readUntil(bytes.size() - out.size());
        QVERIFY(out == bytes);
        QTRY_COMPARE_WITH_TIMEOUT(overflowEnded.count(), 1, kWaitMs);
        QCOMPARE(overflowEnded.at(0).at(0).toLongLong(), 2 * tooMuch.size());
        QCOMPARE(m_port->OutBufferCount(), 0);
        QVERIFY(written.count() >= 1);
    }

    void unplugged_closesOnceWithoutBusyLoop()
    {
        QSignalSpy lost(m_port.get(), &SerialControl::portLost);
        m_pty->closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kWaitMs);
        QVERIFY(!m_port->PortOpen());
        QCOMPARE(m_port->errorString(), lost.first().first().toString());
        // A busy loop on the dead descriptor would burn a whole core.
        const double cpuBefore = cpuSeconds();
        QTest::qWait(200); // time to do what it must not
        QVERIFY2(cpuSeconds() - cpuBefore < 0.1,
                 qPrintable(QString::number(cpuSeconds() - cpuBefore)));
        QCOMPARE(lost.count(), 1);
        QCOMPARE(m_comms, 0);
        m_port->Output("late");
        QVERIFY(m_port->Input().isEmpty());
    }
};

QTEST_GUILESS_MAIN(SerialTest)
#include "serial_test.moc"
