// The three setup dialogs on a real station, opened from the window and driven as the user
// does: mouse clicks on the controls, keys where the focus is. Pseudo-terminals stand in for
// serial devices and a listener on loopback for the peer; the file picker, message boxes and
// helper programs are fakes that the test answers.
#include "dialogs/DropDownCombo.h"
#include "dialogs/NetworkSetupForm.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "dialogs/ValueLabel.h"
#include "platform/SerialControl.h"
#include "platform/SerialPortMap.h"
#include "platform/SocketControl.h"
#include "support/DialogTestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <sys/ioctl.h>
#include <unistd.h>

namespace
{

// Runs act on the modal dialog that the next command opens, once it has the focus. A dialog
// that act leaves open is cancelled, so a failed check cannot hang the test.
void whenOpen(const std::function<void(QDialog &)> &act)
{
    QTimer::singleShot(0, [act] {
        QPointer<QDialog> dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        const bool active = dialog && QTest::qWaitForWindowActive(dialog);
        if (active)
            act(*dialog);
        if (dialog && dialog->isVisible())
            dialog->reject();
        QVERIFY2(active, "no dialog opened, or it never took the focus");
    });
}

// The user clicks the button, option or check box with this caption; "Frame:caption" picks
// the one inside the frame of that title.
void click(QWidget &dialog, const QString &name)
{
    const QString frame = name.section(QLatin1Char(':'), 0, -2);
    QList<QAbstractButton *> found;
    for (QAbstractButton *button : dialog.findChildren<QAbstractButton *>()) {
        const auto *box = qobject_cast<QGroupBox *>(button->parentWidget());
        if (button->text() == name.section(QLatin1Char(':'), -1) &&
            (frame.isEmpty() || (box && box->title() == frame)))
            found.append(button);
    }
    QVERIFY2(found.size() == 1, qPrintable(name));
    QTest::mouseClick(found.first(), Qt::LeftButton);
}

// The user opens the port list with F4 and walks down it to the entry.
void pickPort(QDialog &dialog, QComboBox *combo, const QString &entry)
{
    QTest::mouseClick(combo->lineEdit(), Qt::LeftButton);
    keyClickFocused(dialog, Qt::Key_F4);
    QTRY_VERIFY(combo->view()->isVisible());
    keyClickFocused(dialog, Qt::Key_Home);
    for (int row = 0; row < combo->findText(entry); ++row)
        keyClickFocused(dialog, Qt::Key_Down);
    keyClickFocused(dialog, Qt::Key_Return);
}

QString lamps(MainForm &form)
{
    QStringList colours;
    for (const QLabel *lamp : {form.RxLED, form.TxLED}) {
        const QImage shown = lamp->pixmap().toImage();
        colours.append(shown == form.GreenLED.toImage()  ? "green"
                       : shown == form.GreyLED.toImage() ? "grey"
                       : shown == form.RedLED.toImage()  ? "red"
                                                         : "other");
    }
    return colours.join(QLatin1Char('/'));
}

// What the station holds, as the user reads it in the window, of the side a dialog sets up.
QString serialSide(MainForm &form)
{
    return QStringLiteral("%1 flow %2, %3, lamps %4, countdowns %5/%6")
        .arg(form.RS232comms->Settings())
        .arg(form.RS232comms->Handshaking())
        .arg(form.RS232Frame->title(), lamps(form))
        .arg(form.RxLEDtimeout)
        .arg(form.TxLEDtimeout);
}

QString networkSide(MainForm &form)
{
    const SocketControl &socket = *form.Socket1;
    return QStringLiteral("to %1/%2 port %3 (%4/%5 from %6)%7%8 %9 %10 ms, retries %11, %12, "
                          "shows %13, %14")
        .arg(socket.RemoteHostName(), socket.RemoteHostAddress())
        .arg(form.Port_Number)
        .arg(socket.RemotePort())
        .arg(socket.LocalPort())
        .arg(socket.LocalAddress(), form.RunInServerMode ? " server" : "",
             form.AutoResolveHostName ? " resolve" : "", form.NetworkTimerTag)
        .arg(form.NetworkTimer->interval())
        .arg(form.Ack_Retries)
        .arg(form.netStatus(), form.DestinationName->text(),
             form.AutoReconnect && form.NetworkTimer->isActive() ? "resumed" : "suspended");
}

QString logSide(DialogStation &station)
{
    const QString folder = station.env().settingsFolder();
    return QStringLiteral("rx %1, tx %2, files %3")
        .arg(station.form().RxLogFile, station.form().TxLogFile,
             QDir(folder).entryList({QStringLiteral("*.log")}).join(QLatin1Char(' ')))
        .replace(folder, QStringLiteral("~/"));
}

// What the dialog shows at this moment, beyond its captions.
QString look(QDialog &dialog)
{
    if (auto *rs232 = qobject_cast<RS232SetupForm *>(&dialog)) {
        QStringList ports;
        for (int index = 0; index < rs232->CommPortCombo->count(); ++index)
            ports.append(rs232->CommPortCombo->itemText(index));
        return ports.join(' ') + QStringLiteral(" showing ") + rs232->CommPortCombo->currentText();
    }
    if (auto *network = qobject_cast<NetworkSetupForm *>(&dialog)) {
        const QColor base = network->RemoteHostBox->palette().color(QPalette::Base);
        return QStringLiteral("host box %1%2")
            .arg(network->RemoteHostBox->isEnabled() ? "on" : "off",
                 base == dialog.palette().color(QPalette::Button) ? " grey" : "");
    }
    auto &log = static_cast<TrafficLogSetupForm &>(dialog);
    QStringList fields;
    for (ValueLabel *field :
         {log.RxLogFilepath, log.RxLogFilename, log.TxLogFilepath, log.TxLogFilename})
        fields.append(field->text() + (field->palette().color(QPalette::Window) ==
                                               dialog.palette().color(QPalette::Button)
                                           ? "(grey)"
                                           : ""));
    return fields.join(' ') + (log.ClearLogFilesButton->isEnabled() ? " clear on" : "");
}

// A port of its own for each test process; below 32768, where ephemeral ports begin.
int testPort()
{
    return 20000 + int(::getpid() % 12000);
}

} // namespace

class DialogsTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialog_data();
    void dialog();
    void network_dropsTheLinkWhileOpen();
};

void DialogsTest::dialog_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char *name, const char *start, const char *steps,
                        const QString &outcome) {
        QTest::newRow(name) << QString(start) << QString(steps) << outcome;
    };
    // RS232 rows: own port Com1 open or none; pseudo-terminals at Com1 and Com12.
    row("RS232: every group", "serial=19200,n,8,1|open=1", "9600|7|1|Even|Hardware|list=Com1|OK",
        "9600,E,7,1 flow 2, Com1:9600,E,7,1, lamps green/green, countdowns 0/0");
    row("RS232: two-digit port", "serial=19200,n,8,1|flow=1", "Stop Bits:2|list=Com12|key=Return",
        "19200,N,8,2 flow 1, Com12:19200,N,8,2, lamps green/green, countdowns 0/0");
    row("RS232: None", "serial=4800,o,7,2|flow=2|open=1", "Parity:None|list=None|OK",
        "4800,N,7,2 flow 2, RS232 Disabled, lamps grey/grey, countdowns 0/0");
    row("RS232: Cancel", "serial=4800,o,7,2|open=1", "115200|Xon/Xoff|list=None|Cancel",
        "as before");
    row("RS232: Escape", "serial=4800,o,7,2", "300|Flow Control:Hardware|list=Com1|key=Esc",
        "as before");
    row("RS232: close box", "serial=4800,o,7,2|open=1", "8|Odd|close box", "as before");
    row("RS232: Help", "", "Help|Cancel", "as before | box HELP - Setup RS232 Port");
    // What the dialog shows at opening is what OK applies.
    const QString off = QStringLiteral(", RS232 Disabled, lamps grey/grey, countdowns 0/0");
    row("RS232: 9600 before 600", "serial=9600,e,7,1.5", "OK", "9600,E,8,1 flow 0" + off);
    row("RS232: 57600", "serial=57600,m,5,2|flow=1", "OK", "57600,N,8,2 flow 1" + off);
    row("RS232: 600", "serial=600,s,7,1|flow=2", "OK", "600,N,7,1 flow 2" + off);
    row("RS232: no 14400", "serial=14400,O,7,2", "OK", "19200,O,7,2 flow 0" + off);
    row("RS232: 110", "serial=110,n,8,2", "OK", "110,N,8,2 flow 0" + off);
    // The port box takes no typing; the list offers the own port and the free ones; a port
    // taken after it was listed is refused with the reason, and another can be chosen.
    row("RS232: port box", "serial=19200,n,8,1|open=1|pty=2|pty=3",
        "port box=x9|key=Backspace|key=Home|key=Del|key=Ctrl+V|key=Ctrl+X|compose=7|look|"
        "list=Com2|look|take=2|lock=3|key=F4|key=Esc|look|2400|OK|station|list=Com1|key=Return",
        "2400,N,8,1 flow 0, Com1:2400,N,8,1, lamps green/green, countdowns 0/0 | look  showing "
        "Com1 | look Com1 Com2 Com3 Com12 None showing Com2 | look Com1 Com12 None showing Com2 | "
        "box Tethra: ~/com2: the port is in use by "
        "another program | 2400,N,8,1 flow 0, Com1:19200,n,8,1, lamps grey/grey, countdowns 3/3");

    // Network rows: port 1234 on 127.0.0.1, host oldname at 127.0.0.9, retries 7.
    row("Network: address", "", "host=127.0.0.20|port=  8080|local=127.0.0.3|key=Return",
        "to /127.0.0.20 port 8080 (8080/8080 from 127.0.0.3) FAST 100 ms, retries 0, Calling "
        "..., shows 127.0.0.20, resumed");
    row("Network: blanks", "", "host= 127.0.0.21 |OK",
        "to / 127.0.0.21  port 1234 (1234/1234 from 127.0.0.1) FAST 100 ms, retries 0, "
        "Calling ..., shows  127.0.0.21 , resumed");
    row("Network: name", "", "host=localhost|port=9801.5|OK",
        "to localhost/ port 9802 (9802/9802 from 127.0.0.1) FAST 100 ms, retries 0, Calling "
        "..., shows localhost, resumed");
    row("Network: kept", "server|resolve|tag=SLOW", "look|local=127.0.0.3|port=32767|OK",
        "to oldname/ port 32767 (32767/32767 from 127.0.0.3) server resolve SLOW 1000 ms, "
        "retries 0, Calling ..., shows oldname, resumed | look host box off grey");
    row("Network: options", "tag=fast",
        "Run in Server Mode Only|look|Auto Resolve|"
        "Fast Reconnect|host=|port=abc|local=127.0.0.3|OK",
        "to oldname/ port 0 (0/0 from 127.0.0.3) server resolve FAST 100 ms, retries 0, Calling "
        "..., shows oldname, resumed | look host box off grey");
    row("Network: server mode off", "server", "Run in Server Mode Only|look|Fast Reconnect|OK",
        "to oldname/ port 1234 (1234/1234 from 127.0.0.1) SLOW 1000 ms, retries 0, Calling ..., "
        "shows oldname, resumed | look host box on");
    row("Network: not bound", "", "host=|port=40000|local=127.0.0.3|OK",
        "to / port 40000 (40000/40000 from 127.0.0.1) FAST 100 ms, retries 0, Calling ..., "
        "shows , resumed");
    row("Network: negative", "", "port=-5|local=127.0.0.3|OK",
        "to oldname/ port -5 (-5/-5 from 127.0.0.1) FAST 100 ms, retries 0, Calling ..., shows "
        "oldname, resumed");
    row("Network: beyond 32 bits", "", "port=99999999999|local=127.0.0.3|OK",
        "to oldname/ port 1234 (1234/1234 from 127.0.0.1) FAST 100 ms, retries 0, Calling ..., "
        "shows oldname, resumed");
    const char *untouched = "to oldname/127.0.0.9 port 1234 (1234/1234 from 127.0.0.1) FAST 100 "
                            "ms, retries 7, Not Connected, shows oldname, resumed";
    row("Network: Cancel", "", "host=a|port=1|Fast Reconnect|Cancel", untouched);
    row("Network: Escape", "", "host=a|port=1|Auto Resolve|key=Esc", untouched);
    row("Network: close box", "", "host=a|port=1|Run in Server Mode Only|close box", untouched);
    const auto untouchedAnd = [untouched](const char *more) {
        return untouched + QStringLiteral(" | ") + more;
    };
    row("Network: Help", "", "Help|Cancel", untouchedAnd("box HELP - Setup Network Connection"));
    row("Network: no viewer", "install=some-other-tool", "Check IP|Cancel", untouched);
    row("Network: viewer", "install=nm-connection-editor", "Check IP|Check IP|Cancel",
        untouchedAnd("ran nm-connection-editor, nm-connection-editor, ended 2"));
    row("Network: terminal", "install=x-terminal-emulator", "Check IP|Check IP|Cancel",
        untouchedAnd("ran x-terminal-emulator ip, x-terminal-emulator ip, ended 2"));
    row("Network: viewer closed", "install=xterm", "Check IP|viewer closed|Cancel",
        untouchedAnd("ran xterm ip"));
    row("Network: viewer fails", "install=nm-connection-editor|broken=nm-connection-editor",
        "Check IP|look|Cancel",
        untouchedAnd("box Tethra: The address viewer could not be started. | look host box on | "
                     "ran nm-connection-editor"));

    // Traffic log rows: the picker answers in turn; an empty answer is a cancelled picker.
    row("Log Traffic: picked", "rx=/old/rx.log|pick=/new/folder/received.log|pick=/new/sent.log",
        "Rx Data Logging:Select|Tx Data Logging:Select|look|OK",
        "rx /new/folder/received.log, tx /new/sent.log, files  | look /new/folder/ received.log "
        "/new/ sent.log clear on | asked RX in /old/ for rx.log | asked Tx in <app> for ");
    row("Log Traffic: picker cancelled", "rx=/logs/rx.log|tx=/logs/tx.log",
        "double-click=rx name|look|OK",
        "rx , tx /logs/tx.log, files  | look /logs/(grey) (grey) /logs/ tx.log clear on | asked "
        "RX in /logs/ for rx.log");
    row("Log Traffic: double-clicks", "pick=/a/1.log|pick=/b/2.log|pick=",
        "double-click=rx path|double-click=tx path|double-click=tx name|OK",
        "rx /a/1.log, tx , files  | asked RX in <app> for  | asked Tx in <app> for  | asked Tx "
        "in /b/ for 2.log");
    row("Log Traffic: as stored", "rx=rx.log|tx=/var/log/tx/", "look|OK",
        "rx , tx /var/log/tx, files  | look (grey) (grey) /var/log/ tx clear on");
    row("Log Traffic: clear button", "pick=/logs/tx.log|pick=",
        "look|Tx Data Logging:Select|look|Tx Data Logging:Select|look|OK",
        "rx , tx , files  | look (grey) (grey) (grey) (grey) | look (grey) (grey) /logs/ tx.log "
        "clear on | look (grey) (grey) /logs/(grey) (grey) | asked Tx in <app> for  | asked Tx "
        "in /logs/ for tx.log");
    row("Log Traffic: names as picked", "pick=/r/   |pick=/logs/ tx.log ",
        "Rx Data Logging:Select|Tx Data Logging:Select|OK",
        "rx , tx /logs/ tx.log , files  | asked RX in <app> for  | asked Tx in <app> for ");
    row("Log Traffic: Escape", "rx=/logs/rx.log|pick=|pick=/elsewhere/tx.log",
        "Rx Data Logging:Select|Tx Data Logging:Select|key=Esc",
        "as before | asked RX in /logs/ for rx.log | asked Tx in <app> for ");
    row("Log Traffic: Help", "", "Help|Cancel", "as before | box Help - Setup Traffic Logging");
    row("RS232 > Log Traffic: picked", "pick=/logs/main.log", "Rx Data Logging:Select|OK",
        "rx /logs/main.log, tx , files  | asked RX in <app> for ");
    // Clearing deletes the stored files, not the one chosen but not confirmed, at once and
    // again after pauses in which another program may write them.
    const char *logs = "write=~/rx.log|write=~/tx.log|write=~/chosen.log|rx=~/rx.log|"
                       "tx=~/tx.log|pick=~/chosen.log";
    row("Log Traffic: clear", qPrintable(logs + QStringLiteral("|answer=yes")),
        "Rx Data Logging:Select|Clear Log Files|station|write=~/rx.log|await|Cancel",
        "rx ~/rx.log, tx ~/tx.log, files chosen.log | box Clear RX and TX Log files: Are you Sure "
        "| rx ~/rx.log, tx ~/tx.log, files chosen.log | box Tethra: Log Files Cleared. | after "
        "the pauses | asked RX in ~/ for rx.log");
    row("Log Traffic: clear refused", qPrintable(logs + QStringLiteral("|answer=no")),
        "Clear Log Files|OK",
        "rx ~/rx.log, tx ~/tx.log, files chosen.log rx.log tx.log | box Clear RX and TX Log "
        "files: Are you Sure");
}

bool writeFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("logged") == 6;
}

// Sets the station up as the row's start says, opens the dialog the row's name says, takes
// the row's steps in it and compares what the station holds then, and what was seen on the
// way, with the row's outcome.
void DialogsTest::dialog()
{
    QFETCH(QString, start);
    QFETCH(QString, steps);
    QFETCH(QString, outcome);
    const QString command = QString::fromLatin1(QTest::currentDataTag()).section(':', 0, 0);
    DialogStation station;
    MainForm &form = station.form();
    TestEnvironment &env = station.env();
    SerialControl &serial = *form.RS232comms;
    SocketControl &socket = *form.Socket1;
    SerialControl other(SerialPortMap(env.settingsFolder()));
    std::map<int, Pty *> ptys{{1, &station.mapPty(1)}, {12, &station.mapPty(12)}};
    form.NetworkTimer->stop();
    socket.Abort();
    form.Port_Number = 1234;
    socket.setLocalPort(1234);
    socket.setRemotePort(1234);
    socket.Bind(QStringLiteral("127.0.0.1"), 1234);
    socket.setRemoteHostAddress(QStringLiteral("127.0.0.9"));
    socket.setRemoteHostName(QStringLiteral("oldname"));
    form.Ack_Retries = 7;
    form.setNetStatus(QStringLiteral("Not Connected"));
    form.RxLEDtimeout = form.TxLEDtimeout = 3;
    QStringList seen;
    env.messageBoxes.onShown = [&seen](const FakeMessageBoxes::Box &box) {
        seen << QStringLiteral("box ") + box.title +
                    (box.text.contains('\n') ? QString() : QStringLiteral(": ") + box.text) +
                    (box.owner == QApplication::activeModalWidget() ? "" : " (not over it)");
    };
    const auto side = [&] {
        return command == QLatin1String("RS232")     ? serialSide(form)
               : command == QLatin1String("Network") ? networkSide(form)
                                                     : logSide(station);
    };
    QElapsedTimer sinceClick;
    const auto take = [&](QDialog *dialog, const QString &step) {
        const QString key = step.section('=', 0, 0), value = step.section('=', 1);
        QHash<QString, QWidget *> fields;
        auto *rs232 = qobject_cast<RS232SetupForm *>(dialog);
        if (rs232)
            fields = {{"port box", rs232->CommPortCombo}};
        if (auto *network = qobject_cast<NetworkSetupForm *>(dialog))
            fields = {{"host", network->RemoteHostBox},
                      {"port", network->PortNumberBox},
                      {"local", network->LocalIPcombo}};
        if (auto *log = qobject_cast<TrafficLogSetupForm *>(dialog))
            fields = {{"rx path", log->RxLogFilepath},
                      {"rx name", log->RxLogFilename},
                      {"tx path", log->TxLogFilepath},
                      {"tx name", log->TxLogFilename}};
        if (key == "serial")
            QVERIFY(serial.setSettings(value));
        else if (key == "flow")
            QVERIFY(serial.setHandshaking(value.toInt()));
        else if (key == "open" || key == "take") { // by this station, or another one
            SerialControl &port = key == "open" ? serial : other;
            port.setCommPort(value.toInt());
            QVERIFY(port.setPortOpen(true));
        } else if (key == "pty")
            ptys[value.toInt()] = &station.mapPty(value.toInt());
        else if (key == "server")
            form.RunInServerMode = true;
        else if (key == "resolve")
            form.AutoResolveHostName = true;
        else if (key == "tag")
            form.NetworkTimerTag = value;
        else if (key == "rx")
            form.RxLogFile = value;
        else if (key == "tx")
            form.TxLogFile = value;
        else if (key == "pick")
            env.filePicker.queueAnswer(value);
        else if (key == "answer")
            env.messageBoxes.queueAnswer(value == "yes");
        else if (key == "install")
            env.programs.install(value);
        else if (key == "broken")
            env.programs.breakProgram(value);
        else if (key == "write")
            QVERIFY(writeFile(value));
        else if (key == "lock")
            QCOMPARE(::ioctl(ptys[value.toInt()]->slaveFd(), TIOCEXCL), 0);
        else if (key == "key")
            keyClickFocused(*dialog, QKeySequence(value)[0].key(),
                            QKeySequence(value)[0].keyboardModifiers());
        else if (key == "compose") {
            QInputMethodEvent composed;
            composed.setCommitString(value);
            QApplication::sendEvent(QApplication::focusWidget(), &composed);
        } else if (key == "list")
            pickPort(*dialog, rs232->CommPortCombo, value);
        else if (key == "double-click")
            QTest::mouseDClick(fields.value(value), Qt::LeftButton);
        else if (fields.contains(key)) {
            QTest::mouseClick(fields[key], Qt::LeftButton);
            keyClickFocused(*dialog, Qt::Key_A, Qt::ControlModifier);
            keyClickFocused(*dialog, Qt::Key_Backspace);
            QTest::keyClicks(QApplication::focusWidget(), value);
        } else if (key == "look")
            seen << (dialog->isVisible() ? "look " : "look (closed) ") + look(*dialog);
        else if (key == "station")
            seen << side();
        else if (key == "viewer closed")
            env.programs.finish(env.programs.started().last().taskId);
        else if (key == "close box")
            dialog->close();
        else if (key == "await") {
            const qsizetype count = seen.size();
            QTRY_VERIFY_WITH_TIMEOUT(seen.size() > count, 5000);
            const int pauses =
                (TrafficLogSetupForm::kClearPasses - 1) * TrafficLogSetupForm::kClearPauseMs;
            seen << (sinceClick.elapsed() >= pauses ? "after the pauses" : "too soon");
        } else {
            sinceClick.start();
            click(*dialog, step);
        }
    };
    for (const QString &step :
         start.replace("~/", env.settingsFolder()).split('|', Qt::SkipEmptyParts))
        take(nullptr, step);
    form.parts().showSerialFrameCaption();
    form.parts().showDestination();
    form.RxLED->setPixmap(form.RedLED);
    form.TxLED->setPixmap(form.RedLED);
    const QString before = side();

    QWidget *owner = &form;
    const QHash<QString, std::pair<QString, int>> titleAndWidth{
        {"RS232SetupForm", {" Setup RS-232 Port", 4680}},
        {"NetworkSetupForm", {" Setup Network Connection", 4605}},
        {"TrafficLogSetupForm", {" Setup RS232 Traffic Logging", 5520}}};
    const std::function<void(QDialog &)> act = [&](QDialog &dialog) {
        const auto [title, widthTwips] = titleAndWidth.value(dialog.metaObject()->className());
        QCOMPARE(dialog.windowTitle(), title);
        // A long caption wraps inside its control rather than widening the dialog.
        QCOMPARE(dialog.width(), form.twipsToPixels(widthTwips));
        QCOMPARE(dialog.parentWidget(), owner);
        QCOMPARE(cutCaptions(dialog), QStringList());
        for (const QString &step : steps.replace("~/", env.settingsFolder()).split('|'))
            take(&dialog, step);
        for (const FakeFilePicker::Call &call : env.filePicker.calls())
            QCOMPARE(call.owner.data(), &dialog);
    };
    whenOpen([&](QDialog &dialog) {
        if (!command.contains(QLatin1String(" > ")))
            return act(dialog);
        owner = &dialog;
        whenOpen(act);
        click(dialog, QStringLiteral("Log Traffic"));
    });
    if (command == QLatin1String("Log Traffic"))
        QTest::mouseClick(form.TrafficLogButton, Qt::LeftButton);
    else
        (command == QLatin1String("Network") ? form.NetworkMenuItem : form.RS232MenuItem)
            ->trigger();

    QStringList happened{side()};
    happened << seen;
    for (const FakeFilePicker::Call &call : env.filePicker.calls())
        happened << QStringLiteral("asked %1 in %2 for %3")
                        .arg(call.request.title.section(' ', 1, 1), call.request.initialFolder,
                             call.request.presetFileName);
    QStringList ran;
    for (const FakePrograms::Started &started : env.programs.started())
        ran << started.program + (started.arguments.join(' ').contains("ip address") ? " ip" : "");
    for (qint64 task : env.programs.terminated())
        ran << QStringLiteral("ended %1").arg(task - env.programs.started().first().taskId + 1);
    if (!ran.isEmpty())
        happened << QStringLiteral("ran ") + ran.join(QStringLiteral(", "));
    QCOMPARE(happened.join(QStringLiteral(" | "))
                 .replace(QCoreApplication::applicationDirPath(), QStringLiteral("<app>"))
                 .replace(env.settingsFolder(), QStringLiteral("~/")),
             outcome.replace(QStringLiteral("as before"), before));
}

// While the dialog is open the peer sees the link go and the station makes no call; closed,
// the station calls again with the settings it had.
void DialogsTest::network_dropsTheLinkWhileOpen()
{
    DialogStation station;
    MainForm &form = station.form();
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress(QStringLiteral("127.0.0.2")), testPort()));
    form.NetworkTimer->stop();
    form.Socket1->Abort();
    form.Port_Number = testPort();
    form.Socket1->Bind(QStringLiteral("127.0.0.1"), testPort());
    form.Socket1->setRemoteHostAddress(QStringLiteral("127.0.0.2"));
    form.NetworkTimer->start();
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
    QTcpSocket *link = peer.nextPendingConnection();
    whenOpen([&](QDialog &dialog) {
        QTRY_COMPARE_WITH_TIMEOUT(link->state(), QAbstractSocket::UnconnectedState, 5000);
        QVERIFY(!form.NetworkTimer->isActive() && !form.AutoReconnect);
        keyClickFocused(dialog, Qt::Key_Escape);
    });
    form.NetworkMenuItem->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(peer.hasPendingConnections(), 5000);
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
