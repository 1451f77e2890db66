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

    QString path(const QString &name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_pty = std::make_unique<Pty>();
        QVERIFY2(m_pty->isOpen(), qPrintable(m_pty->errorString()));
        for (const auto &[com, target] : {std::pair{"com1", m_pty->slavePath()},
                                          {"com2", m_pty->slavePath()},
                                          {"com5", path("unplugged")},
                                          {"com17", QStringLiteral("/dev/null")}})
            QVERIFY(QFile::link(target, path(QLatin1String(com))));
        m_port = std::make_unique<SerialControl>(SerialPortMap(m_dir->path()));
        QVERIFY(m_port->setSettings(QStringLiteral("115200,n,8,1")));
        QVERIFY2(m_port->setPortOpen(true), qPrintable(m_port->errorString()));
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
        QTest::newRow("port 0") << 0 << "Com0 is not a valid port";
        // A dangling link still names the port: no other device is opened behind its back.
        QTest::newRow("unplugged") << 5 << "%1/com5: No such file or directory";
        const QString inUse = QStringLiteral("the port is in use by another program");
        QTest::newRow("held") << 1 << "%1/com1: " + inUse;
        QTest::newRow("same device held, other link") << 2 << "%1/com2: " + inUse;
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
        QVERIFY(m_pty->writeAll("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(m_in, QByteArray("ok"), kWaitMs);
    }

    void heldPort_freeForOthersOnlyOnceClosed()
    {
        QVERIFY(!SerialProbe::canOpenSerialDevice(path(QStringLiteral("com1"))));
        QVERIFY(!SerialProbe::canOpenSerialDevice(m_pty->slavePath()));
        QVERIFY(m_port->setPortOpen(false));
        QVERIFY(SerialProbe::canOpenSerialDevice(path(QStringLiteral("com1"))));
        QVERIFY2(m_port->setPortOpen(true), qPrintable(m_port->errorString()));
        QVERIFY(m_pty->writeAll("again"));
        QTRY_COMPARE_WITH_TIMEOUT(m_in, QByteArray("again"), kWaitMs);
        m_port->Output("back");
        QCOMPARE(m_pty->readUntil(4), QByteArray("back"));
    }

    void bytesPassUnderSettings_data()
    {
        QTest::addColumn<QString>("settings"); // read back as written, or refused
        QTest::addColumn<int>("handshaking");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("received");
        QByteArray all;
        for (int value = 0; value < 512; ++value)
            all.append(static_cast<char>(value));
        const QByteArray xonXoff("a\x13"
                                 "b\x11"
                                 "c");
        QTest::newRow("even 7 data bits") << "9600,e,7,1" << 0 << all << all;
        QTest::newRow("RTS/CTS, 2 stop bits") << "115200,N,8,2" << 2 << all << all;
        QTest::newRow("XON/XOFF eaten") << "300,o,7,1.5" << 1 << xonXoff << QByteArray("abc");
        QTest::newRow("XON/XOFF passed") << "1200,M,5,1.5" << 0 << xonXoff << xonXoff;
        QTest::newRow("space") << "19200,s,6,2" << 0 << all << all;
        for (const char *refused :
             {"", "9600", "9600,x,8,1", "9600,n,9,1", "9600,n,4,1", "9600,n,8,3", "9600,n,8,1.0",
              "0,n,8,1", "9600, n,8,1", "9600,n,8,1,", "9600,even,8,1"})
            QTest::newRow(refused) << refused << 3 << all << all;
    }
    void bytesPassUnderSettings()
    {
        // A device that keeps its own line format (as a pseudo-terminal does) is used as it is.
        QFETCH(QString, settings);
        QFETCH(int, handshaking);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, received);
        const bool valid = handshaking < 3;
        QCOMPARE(m_port->setSettings(settings), valid);
        QCOMPARE(m_port->setHandshaking(handshaking), valid);
        QCOMPARE(m_port->Settings(), valid ? settings : QStringLiteral("115200,n,8,1"));
        QVERIFY(valid || !m_port->errorString().isEmpty());
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
        QVERIFY(m_largestInput > SerialControl::kTtyBufferSize);
        QVERIFY(m_largestInput <= SerialControl::kInputBound);
    }

    void inputPaused_bytesStayInDevice()
    {
        m_port->setInputPaused(true);
        QVERIFY(m_pty->writeAll(pattern(3000)));
        int inDevice = 0;
        QTRY_VERIFY_WITH_TIMEOUT(::ioctl(m_pty->slaveFd(), FIONREAD, &inDevice) == 0 &&
                                     inDevice + m_port->InBufferCount() == 3000,
                                 kWaitMs);
        QTest::qWait(100); // time to do what it must not
        QVERIFY(m_comms == 0 && m_port->InBufferCount() <= 1);
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
        // Past the queue's bound whole writes are dropped, and the overflow told once.
        const QByteArray tooMuch(SerialControl::kWriteBufferBound, 'x');
        m_port->Output(tooMuch);
        m_port->Output(tooMuch);
        QCOMPARE(overflowStarted.count(), 1);
        out += m_pty->readUntil(bytes.size() - out.size());
        QVERIFY(out == bytes);
        QTRY_COMPARE_WITH_TIMEOUT(overflowEnded.count(), 1, kWaitMs);
        QCOMPARE(overflowEnded.at(0).at(0).toLongLong(), 2 * tooMuch.size());
        QVERIFY(m_port->OutBufferCount() == 0 && !written.isEmpty());
    }

    void unplugged_closesOnceWithoutBusyLoop()
    {
        QSignalSpy lost(m_port.get(), &SerialControl::portLost);
        m_pty->closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kWaitMs);
        QVERIFY(!m_port->PortOpen());
        QCOMPARE(m_port->errorString(), lost.first().first().toString());
        // A busy loop on the dead descriptor would burn a whole core.
        const auto cpuMicroseconds = [] {
            rusage use{};
            ::getrusage(RUSAGE_SELF, &use);
            return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1000000LL + use.ru_utime.tv_usec +
                   use.ru_stime.tv_usec;
        };
        const qint64 before = cpuMicroseconds();
        QTest::qWait(200); // time to do what it must not
        QVERIFY(cpuMicroseconds() - before < 100000);
        QVERIFY(lost.count() == 1 && m_comms == 0);
    }
};

QTEST_GUILESS_MAIN(SerialTest)
#include "serial_test.moc"
