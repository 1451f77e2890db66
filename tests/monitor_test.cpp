// The lamps, the Log Traffic button and the traffic view of a running station, with a
// pseudo-terminal as its serial device. Where a test counts lamp ticks it stops RS232timer
// and runs its handler itself, one call per tick.
#include "app/MainForm.h"
#include "monitor/TrafficBox.h"
#include "monitor/TrafficMonitor.h"
#include "monitor/TrafficView.h"
#include "platform/SerialControl.h"
#include "serial/SerialForwarder.h"
#include "serial/SerialReconnector.h"
#include "support/StationFixture.h"
#include "support/StationRecorder.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

namespace
{

constexpr int kPort = 19821;
constexpr int kWaitMs = 5000;

QByteArray letters(int count, int offset = 0)
{
    QByteArray bytes;
    for (int index = 0; index < count; ++index)
        bytes.append(char('A' + (offset + index) % 26));
    return bytes;
}

// A station with Com1 open, lamps counted by hand.
class LampStation
{
public:
    LampStation()
    {
        m_ok = m_station.isValid() && m_station.writeSettings(StationFixture::bridgeRecords(
                                          kPort, QStringLiteral("127.0.0.2")));
        if (!m_ok)
            return;
        MainForm &form = m_station.start();
        form.RS232timer->stop();
        m_ok = form.RS232comms->PortOpen();
    }

    bool ok() const { return m_ok; }
    MainForm &form() { return m_station.form(); }
    StationFixture &station() { return m_station; }
    void tick() { form().trafficMonitor().RS232timer_Timer(); }

private:
    StationFixture m_station;
    bool m_ok = false;
};

QString lampColour(MainForm &form, const QLabel *lamp)
{
    if (StationFixture::showsPicture(lamp, form.RedLED))
        return QStringLiteral("red");
    if (StationFixture::showsPicture(lamp, form.GreenLED))
        return QStringLiteral("green");
    if (StationFixture::showsPicture(lamp, form.GreyLED))
        return QStringLiteral("grey");
    return QStringLiteral("other");
}

class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(int &paints) : m_paints(paints) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_paints;
        return QObject::eventFilter(watched, event);
    }

private:
    int &m_paints;
};

QColor buttonColour(const QPushButton *button)
{
    return button->palette().color(QPalette::Button);
}

} // namespace

class MonitorTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void receiveLamp_redAtNextTwoTicksGreenAtThird();
    void receiveLamp_continuedTraffic_staysRedUntilThirdTickAfterLast();
    void flashedLamp_redAtNextTwoTicksGreenAtThird_data();
    void flashedLamp_redAtNextTwoTicksGreenAtThird();
    void receiveLamp_steadyTraffic_notRepaintedWhileItStaysRed();
    void logTrafficButton_yellowWhileLogFlashCountRuns();
    void receiveLog_fifo_carriesTrafficToAReadingProgram();
    void viewTraffic_openAndClose_resizesAndClearsBoxes();
    void trafficBox_typing_changesNothing_data();
    void trafficBox_typing_changesNothing();
    void trafficBox_mouseMove_dropsSelection();
    void trafficBox_deviceTraffic_keepsNewestInSight_data();
    void trafficBox_deviceTraffic_keepsNewestInSight();
};

void MonitorTest::receiveLamp_redAtNextTwoTicksGreenAtThird()
{
    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();
    QCOMPARE(lampColour(form, form.RxLED), QStringLiteral("green"));

    QVERIFY(lamps.station().device().writeAll("x"));
    QTRY_COMPARE_WITH_TIMEOUT(form.RxLEDtimeout, 3, kWaitMs);
    // The data path only sets the count; the lamp changes on the tick.
    QCOMPARE(lampColour(form, form.RxLED), QStringLiteral("green"));

    const QStringList expected = {QStringLiteral("red"), QStringLiteral("red"),
                                  QStringLiteral("green"), QStringLiteral("green")};
    QStringList seen;
    for (int tick = 0; tick < expected.size(); ++tick) {
        lamps.tick();
        seen.append(lampColour(form, form.RxLED));
    }
    QCOMPARE(seen, expected);
    QCOMPARE(form.RxLEDtimeout, 0);
    QCOMPARE(lampColour(form, form.TxLED), QStringLiteral("green"));
}

void MonitorTest::receiveLamp_continuedTraffic_staysRedUntilThirdTickAfterLast()
{
    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();

    QStringList seen;
    for (int burst = 0; burst < 3; ++burst) {
        QVERIFY(lamps.station().device().writeAll("burst"));
        QTRY_COMPARE_WITH_TIMEOUT(form.RxLEDtimeout, 3, kWaitMs);
        lamps.tick();
        seen.append(lampColour(form, form.RxLED));
        lamps.tick();
        seen.append(lampColour(form, form.RxLED));
    }
    for (int tick = 0; tick < 2; ++tick) {
        lamps.tick();
        seen.append(lampColour(form, form.RxLED));
    }
    QStringList expected(6, QStringLiteral("red"));
    expected << QStringLiteral("green") << QStringLiteral("green");
    QCOMPARE(seen, expected);
}

void MonitorTest::receiveLamp_steadyTraffic_notRepaintedWhileItStaysRed()
{
    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    int paints = 0;
    PaintCounter counter(paints);
    form.RxLED->installEventFilter(&counter);

    // Traffic between every two ticks keeps the lamp red: it changes once, to red.
    for (int tick = 0; tick < 10; ++tick) {
        form.flashRxLed();
        lamps.tick();
        QCoreApplication::processEvents();
    }
    QCOMPARE(lampColour(form, form.RxLED), QStringLiteral("red"));
    QVERIFY2(paints >= 1 && paints <= 2, qPrintable(QString::number(paints)));
}

void MonitorTest::flashedLamp_redAtNextTwoTicksGreenAtThird_data()
{
    QTest::addColumn<StationView::Lamp>("lamp");
    QTest::newRow("receive") << StationView::Lamp::Receive;
    QTest::newRow("transmit") << StationView::Lamp::Transmit;
}

void MonitorTest::flashedLamp_redAtNextTwoTicksGreenAtThird()
{
    QFETCH(StationView::Lamp, lamp);
    RecordedStation station;
    SerialReconnector reconnector(station.parts);
    SerialForwarder forwarder(station.parts, reconnector);
    TrafficMonitor monitor(station.parts, forwarder);

    if (lamp == StationView::Lamp::Receive)
        station.state.flashRxLed();
    else
        station.state.flashTxLed();
    QVERIFY(station.view.lamps.empty());
    using Colour = StationView::Colour;
    QList<Colour> seen;
    for (int tick = 0; tick < 4; ++tick) {
        monitor.RS232timer_Timer();
        seen.append(station.view.lamps.at(lamp));
    }
    QCOMPARE(seen, (QList<Colour>{Colour::Red, Colour::Red, Colour::Green, Colour::Green}));
    // The other lamp is not touched.
    QCOMPARE(station.view.lamps.size(), std::size_t(1));
}

void MonitorTest::logTrafficButton_yellowWhileLogFlashCountRuns()
{
    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();
    const QColor face = form.palette().color(QPalette::Button);
    const QColor yellow(0xff, 0xff, 0x00);
    QVERIFY(face != yellow);
    const QString rxLog = lamps.station().env().filePath(QStringLiteral("rx.log"));
    form.RxLogFile = rxLog;
    // The receive log only records while the traffic view is open.
    form.ViewMenuItem->trigger();
    QVERIFY(form.ViewMenuItem->isChecked());

    QVERIFY(lamps.station().device().writeAll("logged"));
    QTRY_COMPARE_WITH_TIMEOUT(form.RxLogBuffer, QByteArray("logged"), kWaitMs);
    QCOMPARE(form.LogFlashCount, 0);

    lamps.tick();
    QFile log(rxLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("logged"));
    QCOMPARE(form.LogFlashCount, 3);
    // The append comes after the countdown within a tick: yellow from the next tick on.
    QCOMPARE(buttonColour(form.TrafficLogButton), face);

    QList<QColor> seen;
    QList<int> counts;
    for (int tick = 0; tick < 4; ++tick) {
        lamps.tick();
        seen.append(buttonColour(form.TrafficLogButton));
        counts.append(form.LogFlashCount);
    }
    QCOMPARE(counts, (QList<int>{2, 1, 0, 0}));
    QCOMPARE(seen, (QList<QColor>{yellow, yellow, face, face}));
}

void MonitorTest::receiveLog_fifo_carriesTrafficToAReadingProgram()
{
    StationFixture station;
    QVERIFY(station.isValid());
    const QString fifo = station.env().filePath(QStringLiteral("rx.fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.rxLogFile = fifo;
    QVERIFY(station.writeSettings(records));
    MainForm &form = station.start();
    // Start-up deletes the old logs, but a FIFO is not a log file of the station's own.
    struct stat info {
    };
    QVERIFY(::stat(QFile::encodeName(fifo).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    form.ViewMenuItem->trigger();
    const auto reports = [&station](const QString &start) {
        return station.statusHistory().filter(QRegularExpression(u'^' + start)).size();
    };

    // No reader yet: the bytes wait, and the history says so once.
    QVERIFY(station.device().writeAll("early,"));
    QTRY_COMPARE_WITH_TIMEOUT(reports(QStringLiteral("Receive log not written: ")), 1, kWaitMs);
    QSignalSpy ticks(form.RS232timer, &QTimer::timeout);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 4, kWaitMs);
    QCOMPARE(reports(QStringLiteral("Receive log not written: ")), 1);

    QProcess reader;
    reader.start(QStringLiteral("cat"), {fifo});
    QVERIFY(reader.waitForStarted());
    QByteArray expected("early,");
    QByteArray received;
    // Over many ticks: the reader must not see the end of the stream between them.
    for (int round = 0; round < 5; ++round) {
        const QByteArray piece = "round " + QByteArray::number(round) + ',';
        expected += piece;
        QVERIFY(station.device().writeAll(piece));
        QTRY_VERIFY_WITH_TIMEOUT((received += reader.readAllStandardOutput()) == expected, kWaitMs);
    }
    QCOMPARE(reader.state(), QProcess::Running);
    QCOMPARE(reports(QStringLiteral("Receive log written again")), 1);
    reader.kill();
    QVERIFY(reader.waitForFinished(kWaitMs));
}

void MonitorTest::viewTraffic_openAndClose_resizesAndClearsBoxes()
{
    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();
    QWidget *client = form.centralWidget();
    QCOMPARE(form.heightTwips(), 2350);
    QVERIFY(form.RxTextBox->geometry().top() >= client->height());
    const int collapsedHeight = form.height();

    form.ViewMenuItem->trigger();
    QVERIFY(form.ViewMenuItem->isChecked());
    QCOMPARE(form.heightTwips(), 6520);
    QVERIFY(form.height() > collapsedHeight);
    QVERIFY(form.TxTextBox->geometry().bottom() < client->height());

    QVERIFY(lamps.station().device().writeAll("seen"));
    QTRY_COMPARE_WITH_TIMEOUT(form.RxTextBox->traffic(), QStringLiteral("seen"), kWaitMs);
    form.TxTextBox->appendChunk("sent");
    lamps.tick();
    QCOMPARE(form.RxTextBox->toPlainText(), QStringLiteral("seen"));
    QCOMPARE(form.TxTextBox->toPlainText(), QStringLiteral("sent"));

    form.ViewMenuItem->trigger();
    QVERIFY(!form.ViewMenuItem->isChecked());
    QCOMPARE(form.heightTwips(), 2350);
    QCOMPARE(form.height(), collapsedHeight);
    QVERIFY(form.RxTextBox->geometry().top() >= client->height());
    // While closed the boxes are not fed.
    QVERIFY(lamps.station().device().writeAll("hidden"));
    QTRY_COMPARE_WITH_TIMEOUT(form.RxLEDtimeout, 3, kWaitMs);
    QCOMPARE(form.RxTextBox->traffic(), QStringLiteral("seen"));

    form.ViewMenuItem->trigger();
    QCOMPARE(form.heightTwips(), 6520);
    QCOMPARE(form.RxTextBox->traffic(), QString());
    QCOMPARE(form.TxTextBox->traffic(), QString());
    QCOMPARE(form.RxTextBox->toPlainText(), QString());
    QCOMPARE(form.TxTextBox->toPlainText(), QString());
}

void MonitorTest::trafficBox_typing_changesNothing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");

    QTest::newRow("letters") << "typed" << 0 << 0;
    QTest::newRow("backspace") << "" << int(Qt::Key_Backspace) << 0;
    QTest::newRow("delete") << "" << int(Qt::Key_Delete) << 0;
    QTest::newRow("return") << "" << int(Qt::Key_Return) << 0;
    QTest::newRow("paste") << "" << int(Qt::Key_V) << int(Qt::ControlModifier);
    QTest::newRow("control character") << "" << int(Qt::Key_H) << int(Qt::ControlModifier);
    QTest::newRow("cut") << "" << int(Qt::Key_X) << int(Qt::ControlModifier);
}

void MonitorTest::trafficBox_typing_changesNothing()
{
    QFETCH(QString, keys);
    QFETCH(int, key);
    QFETCH(int, modifiers);

    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();
    form.ViewMenuItem->trigger();
    QApplication::clipboard()->setText(QStringLiteral("pasted"));

    for (TrafficBox *box : {form.RxTextBox, form.TxTextBox}) {
        box->appendChunk("traffic");
        lamps.tick();
        box->setFocus();
        box->selectAll();
        if (!keys.isEmpty())
            QTest::keyClicks(box, keys);
        else
            QTest::keyClick(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        lamps.tick();
        QCOMPARE(box->traffic(), QStringLiteral("traffic"));
        QCOMPARE(box->toPlainText(), QStringLiteral("traffic"));
    }
}

void MonitorTest::trafficBox_mouseMove_dropsSelection()
{
    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();
    form.ViewMenuItem->trigger();
    TrafficBox *box = form.RxTextBox;
    box->appendChunk("some traffic to select");
    lamps.tick();
    box->selectAll();
    QVERIFY(box->textCursor().hasSelection());

    QWidget *viewport = box->viewport();
    const QPoint from(2, 2);
    const QPoint to(viewport->width() - 2, 2);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent drag(QEvent::MouseMove, QPointF(to), viewport->mapToGlobal(QPointF(to)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drag);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);

    QVERIFY(!box->textCursor().hasSelection());
    QCOMPARE(box->textCursor().selectedText(), QString());
}

void MonitorTest::trafficBox_deviceTraffic_keepsNewestInSight_data()
{
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("kept");

    QTest::newRow("150 on 1900 drops 99") << 150 << 1951;
    // Whatever the reads make of a burst, the box keeps no more than its capacity.
    QTest::newRow("burst of 300 kB") << 300000 << 0;
}

void MonitorTest::trafficBox_deviceTraffic_keepsNewestInSight()
{
    QFETCH(int, second);
    QFETCH(int, kept);
    LampStation lamps;
    QVERIFY(lamps.ok());
    MainForm &form = lamps.form();
    form.ViewMenuItem->trigger();
    Pty &device = lamps.station().device();

    const QByteArray first = letters(1900);
    QVERIFY(device.writeAll(first));
    QTRY_COMPARE_WITH_TIMEOUT(form.RxTextBox->traffic().size(), 1900, kWaitMs);
    const QByteArray marker = "#end#";
    const QByteArray stream = first + letters(second - marker.size(), 1900).toLower() + marker;
    QVERIFY(device.writeAll(stream.mid(first.size())));
    QTRY_VERIFY_WITH_TIMEOUT(form.RxTextBox->traffic().endsWith(QLatin1String(marker)), kWaitMs);

    const QString held = form.RxTextBox->traffic();
    if (kept > 0)
        QCOMPARE(held.size(), kept);
    QVERIFY(held.size() <= TrafficView::kCapacity);
    QCOMPARE(held, QString::fromLatin1(stream.right(held.size())));
    lamps.tick();
    QCOMPARE(form.RxTextBox->toPlainText(), held);
    const QScrollBar *scroll = form.RxTextBox->verticalScrollBar();
    QCOMPARE(scroll->value(), scroll->maximum());
}

QTEST_MAIN(MonitorTest)
#include "monitor_test.moc"
