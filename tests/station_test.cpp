// A station's logic without its window, ticked by hand on a recorder view with the draw
// fixed: the connection cycle, the lamps and the traffic logs. Sockets and files are real.
#include "app/LogQueue.h"
#include "app/Station.h"
#include "link/ConnectionManager.h"
#include "link/LinkProtocol.h"
#include "platform/TlsSession.h"
#include "serial/TrafficLogWriter.h"
#include "support/StationRecorder.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
constexpr int kPort = 19841;
using View = StationView;

// Bound to 127.0.0.2, calling 127.0.0.1. The trace holds the counter after each tick, and
// the status when the tick changed it.
struct Cycle {
    RecordedStation station;
    ConnectionManager manager{station.parts};
    QString trace;

    Cycle()
    {
        SocketControl &socket = station.socket;
        QObject::connect(&socket, &SocketControl::OnAccept, [this] { manager.Socket1_Accept(); });
        QObject::connect(&socket, &SocketControl::OnConnect, [this] { manager.Socket1_Connect(); });
        station.state.Port_Number = kPort;
        socket.setRemoteHostAddress(QStringLiteral("127.0.0.1"));
        socket.Bind(QStringLiteral("127.0.0.2"), kPort);
        station.networkTimer.start(StationState::kSlowIntervalMs);
    }
    void tick()
    {
        const QString before = station.view.status;
        manager.NetworkTimer_Timer();
        trace += QString::number(station.state.Ack_Retries);
        trace +=
            station.view.status == before ? QStringLiteral(" ") : u'=' + station.view.status + u' ';
    }
    bool listening(int timeoutMs)
    {
        return QTest::qWaitFor(
            [this] { return station.socket.state() == SocketControl::State::Listening; },
            timeoutMs);
    }
};
} // namespace

class StationTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectionCycle_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<double>("draw"); // repeated for every draw
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("trace"); // then the interval the timer is left with
        const QString calls = QStringLiteral("1 2 3 4 5=Not Connected 6 7 8 9 10 11 ");
        QTest::newRow("draws to call") << "" << 0.29 << 13 << calls + "0=Calling ... 1 @100";
        QTest::newRow("slow tag") << "slow" << 0.29 << 13 << calls + "0=Calling ... 1 @1000";
        QTest::newRow("stopped") << "stopped" << 0.29 << 5 << calls.left(23) + " @100";
        QTest::newRow("30 % misses") << "" << 0.3 << 14 << calls + "12 13 14 @100";
        QTest::newRow("server mode")
            << "server" << 0.0 << 18
            << "5=Not Connected 6 7 8 9 10 11 4 5 6 7 8 9 10 11 4 5 6 @100";
        QTest::newRow("disconnected")
            << "disconnected" << 0.0 << 12
            << "3 4 5=Not Connected 6 7 8 9 10 11 12=Disconnected 13 14 @100";
    }
    void connectionCycle()
    {
        QFETCH(QString, setup);
        QFETCH(double, draw);
        QFETCH(int, ticks);
        Cycle cycle;
        StationState &state = cycle.station.state;
        state.RunInServerMode = setup == "server";
        if (setup == "slow")
            state.NetworkTimerTag = QLatin1String(StationState::kSlowTag);
        if (setup == "stopped")
            cycle.station.networkTimer.stop();
        if (setup == "disconnected")
            cycle.manager.DisconnectMenuItem_Click();
        cycle.station.env.random.queue(draw);
        for (int tick = 0; tick < ticks; ++tick) {
            cycle.tick();
            // A station stopped (its window closed) takes no more calls.
            if (state.Ack_Retries == ConnectionManager::kGiveUpTick)
                QCOMPARE(setup == "stopped" ? !cycle.listening(300) : cycle.listening(1000), true);
        }
        QTEST(cycle.trace.trimmed() + " @" + QString::number(cycle.station.networkTimer.interval()),
              "trace");
    }
    void keepAlive_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::newRow("plain") << false;
        // A peer that answers the start of a handshake and stalls: not a plain byte goes out.
        QTest::newRow("secure, the handshake stalls") << true;
    }
    void keepAlive()
    {
        QFETCH(bool, secure);
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress(QStringLiteral("127.0.0.1")), kPort));
        Cycle cycle;
        RecordedStation &station = cycle.station;
        station.socket.setPreSharedKey(secure ? QByteArray(TlsSession::kKeyBytes, 'k') : "");
        station.state.NetRxBuffer = "left from before";
        cycle.tick();
        QTRY_COMPARE(station.view.status, QStringLiteral("CONNECTING"));
        QVERIFY(station.state.NetRxBuffer.isEmpty());
        QTRY_VERIFY(peer.hasPendingConnections());
        std::unique_ptr<QTcpSocket> far(peer.nextPendingConnection());
        if (secure)
            far->write(QByteArray::fromHex("160303007a0200007603"));
        station.parts.setLoopMode(LoopMode::Local);
        station.view.enableCommand(View::Command::LocalLoop, true);
        cycle.trace.clear();
        station.networkTimer.setInterval(StationState::kFastIntervalMs);

        // A silent peer: a state message a second, and the fifth tick gives up.
        for (int tick = 0; tick < 4; ++tick)
            cycle.tick();
        QCOMPARE(station.networkTimer.interval(), StationState::kSlowIntervalMs);
        QByteArray heard;
        const QByteArray plain = LinkProtocol::stateMessage(LinkProtocol::kFlagLocalLoop);
        if (secure)
            QTRY_VERIFY((heard += far->readAll()).startsWith("\x16\x03\x01"));
        else
            QTRY_COMPARE((heard += far->readAll()), plain.repeated(4));

        cycle.tick();
        cycle.tick(); // falls due before the give-up step has listened: skipped
        QVERIFY(cycle.listening(1000));
        cycle.tick();
        QCOMPARE(cycle.trace, QStringLiteral("1 2 3 4 5=Timed-Out 5 6 "));
        QCOMPARE(station.view.lamps.at(View::Lamp::Network), View::Colour::Grey);
        QVERIFY(station.state.loopMode == LoopMode::Normal &&
                station.view.loopMarks == LoopMode::Normal);
        QVERIFY(station.view.enabled.empty());
        QTRY_COMPARE(far->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE((heard + far->readAll()).contains(LinkProtocol::PacketDelim()), !secure);
    }
    void accept_data()
    {
        QTest::addColumn<int>("peerPort");
        QTest::addColumn<bool>("autoReconnect");
        QTest::addColumn<QString>("remoteHost");
        QTest::addColumn<bool>("anyone");
        // status, destination, remote port, counter, interval, and the history's events
        QTest::addColumn<QString>("seen");
        QTest::newRow("taken") << 30000 << true << "127.0.0.9" << true
                               << "ACCEPTING 127.0.0.1 30000 0 1000 ";
        // The peer's port passes through a 16-bit signed value.
        QTest::newRow("port past 32767") << 40000 << true << "127.0.0.1" << false << "  0 7 100 ";
        QTest::newRow("suspended") << 30000 << false << "127.0.0.1" << false << "  0 7 100 ";
        // Told once a minute however often it calls; the station listens on.
        QTest::newRow("stranger") << 30000 << true << "127.0.0.9" << false
                                  << "  0 7 100 Refused call from 127.0.0.1 (twice)";
    }
    void accept()
    {
        QFETCH(int, peerPort);
        Cycle cycle;
        RecordedStation &station = cycle.station;
        QFETCH(bool, autoReconnect);
        station.state.AutoReconnect = autoReconnect;
        station.state.Ack_Retries = 7;
        station.networkTimer.setInterval(StationState::kFastIntervalMs);
        station.socket.setLocalPort(kPort);
        QVERIFY(station.socket.Listen());
        bool accepted = false;
        QObject::connect(&station.socket, &SocketControl::OnAccept,
                         [&accepted] { accepted = true; });
        QTcpSocket far;
        QVERIFY(far.bind(QHostAddress(QStringLiteral("127.0.0.1")), quint16(peerPort)));
        far.connectToHost(QStringLiteral("127.0.0.2"), kPort);
        QFETCH(QString, remoteHost);
        QFETCH(bool, anyone);
        station.socket.setRemoteHostAddress(remoteHost);
        station.state.security.acceptFrom = anyone ? SecuritySettings::AcceptFrom::Anyone
                                                   : SecuritySettings::AcceptFrom::RemoteHost;
        QTRY_VERIFY(accepted);
        // A refused caller is reset before the station reads, and calls again at once and a
        // minute later.
        for (int minutes : {0, 0, 1}) {
            if (station.view.events.isEmpty())
                break;
            QVERIFY(station.socket.state() == SocketControl::State::Listening);
            QTRY_COMPARE(far.state(), QAbstractSocket::UnconnectedState);
            cycle.station.env.clock.setNow(cycle.station.env.clock.now().addSecs(60 * minutes));
            accepted = false;
            far.connectToHost(QStringLiteral("127.0.0.2"), kPort);
            QTRY_VERIFY(accepted);
        }
        const QStringList events = station.view.events;
        QTEST(QStringLiteral("%1 %2 %3 %4 %5 ")
                      .arg(station.view.status, station.view.destination)
                      .arg(station.socket.RemotePort())
                      .arg(station.state.Ack_Retries)
                      .arg(station.networkTimer.interval()) +
                  (events.size() == 2 && events[0] == events[1] ? events[0] + " (twice)"
                                                                : events.join('|')),
              "seen");
    }
    void quickTimer_data()
    {
        // Before each tick: r and t flash a lamp, l queues bytes for the receive log, f does
        // so with a folder in the way, which w removes. After each tick: R red, G green,
        // - untouched; Y the Log Traffic button lit. The timer ticks while there is such
        // work, and then stops.
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after"); // receive lamp, transmit lamp, button
        QTest::newRow("nothing") << ""
                                 << "  ";
        QTest::newRow("rx, tx") << "rt"
                                << "RRG- -RRG ....";
        QTest::newRow("steady rx") << "r.r.r"
                                   << "RRRRRRG ------- .......";
        QTest::newRow("log") << "l"
                             << "---- ---- .YY.";
        QTest::newRow("log failing, then written") << "f.w"
                                                   << "------ ------ ...YY.";
    }
    void quickTimer()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        RecordedStation recorded;
        Station station(recorded.state, recorded.view, recorded.environment, nullptr);
        StationState &state = recorded.state;
        state.RxLogFile = recorded.env.filePath(QStringLiteral("rx.log"));
        const auto shown = [&recorded](View::Lamp lamp) {
            const auto found = recorded.view.lamps.find(lamp);
            return found == recorded.view.lamps.end()   ? u'-'
                   : found->second == View::Colour::Red ? u'R'
                                                        : u'G';
        };
        QString rx, tx, log;
        const auto beforeTick = [&] {
            const QChar event = rx.size() < before.size() ? before.at(rx.size()) : QChar();
            if (event == u'r')
                state.flashRxLed();
            if (event == u't')
                state.flashTxLed();
            if (event == u'f' || event == u'w')
                QVERIFY(event == u'f' ? QDir().mkdir(state.RxLogFile)
                                      : QDir().rmdir(state.RxLogFile));
            if (event == u'l' || event == u'f')
                LogQueue::queue(state.RxLogBuffer, "logged");
            recorded.view.lamps.clear();
        };
        // After the station's own handler: sees what the tick left.
        connect(station.RS232timer, &QTimer::timeout, this, [&] {
            rx += shown(View::Lamp::Receive);
            tx += shown(View::Lamp::Transmit);
            log += recorded.view.logFlash ? u'Y' : u'.';
            beforeTick();
        });
        beforeTick();
        const qsizetype ticks = after.section(u' ', 0, 0).size();
        QTRY_VERIFY2(rx.size() >= ticks, qPrintable(rx + u' ' + tx + u' ' + log));
        QTest::qWait(StationState::kRs232TimerMs * 3); // time to do what it must not
        QVERIFY(!station.RS232timer->isActive());
        QCOMPARE(rx + u' ' + tx + u' ' + log, after);
        QCOMPARE(contentOf(state.RxLogFile),
                 QByteArray("logged").repeated(before.count(u'l') + before.count(u'f')));
    }
    void logAppend_data()
    {
        // A buffer of o's gets 16 more bytes a tick, with the log switched off, on, or on with
        // a folder where the file should be.
        QTest::addColumn<int>("buffered");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("kept");
        QTest::addColumn<int>("written");
        QTest::newRow("off, at the limit") << 20000 - 16 << "off" << 20000 << 0;
        QTest::newRow("off, past the limit") << 20000 - 15 << "off" << 0 << 0;
        const int ceiling = int(LogQueue::kBufferCeiling);
        QTest::newRow("at the ceiling") << ceiling - 10 << "on" << 0 << ceiling;
        QTest::newRow("not writable, told once") << 0 << "folder" << 0 << 48;
        QTest::newRow("FIFO, read as it fills") << 100000 << "fifo" << 0 << 100048;
    }
    void logAppend()
    {
        QFETCH(int, buffered);
        QFETCH(QString, target);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("rx.log"));
        TrafficLogWriter::LogState log{QStringLiteral("Receive log"), {}};
        const QByteArray bytes("0123456789abcd\0\xff", 16);
        QByteArray buffer(buffered, 'o');
        int flash = 0;
        QByteArray fromFifo; // what the program reading the FIFO got
        const auto logged = [&] { return target == "fifo" ? fromFifo : contentOf(path); };
        const auto tick = [&] {
            LogQueue::queue(buffer, bytes);
            const QString to = target == "off" ? QString() : path;
            return TrafficLogWriter::AppendTrafficLog(log, to, buffer, flash);
        };
        if (target == "folder") {
            // Refused for root as well; what is not written waits for the next tick.
            QVERIFY(QDir().mkdir(path));
            QVERIFY(tick().startsWith(QStringLiteral("Receive log not written: ")));
            QVERIFY(tick().isEmpty() && flash == 0);
            QVERIFY(QDir().rmdir(path));
            QCOMPARE(tick(), QStringLiteral("Receive log written again"));
        } else if (target == "fifo") {
            // It takes what fits while another program reads it; the rest waits, in order.
            QVERIFY(::mkfifo(QFile::encodeName(path), 0600) == 0);
            const int reader = ::open(QFile::encodeName(path), O_RDONLY | O_NONBLOCK);
            for (int pass = 0; pass < 3; ++pass) {
                QCOMPARE(tick(), QString());
                char chunk[65536];
                for (ssize_t n; (n = ::read(reader, chunk, sizeof chunk)) > 0;)
                    fromFifo.append(chunk, n);
            }
            ::close(reader);
        } else {
            QCOMPARE(tick(), QString());
        }
        QTEST(int(buffer.size()), "kept");
        QTEST(int(logged().size()), "written");
        // What is kept is the oldest: the newest is left out, never the middle.
        const QByteArray all = logged() + buffer;
        QCOMPARE(all, (QByteArray(buffered, 'o') + bytes.repeated(3)).left(all.size()));
        QCOMPARE(flash, target == "off" ? 0 : TrafficLogWriter::kFlashTicks);
    }
};

QTEST_MAIN(StationTest)
#include "station_test.moc"
