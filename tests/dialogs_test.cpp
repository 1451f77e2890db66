// The setup dialogs and the about box on a real station, opened from the window and driven as
// the user does: clicks on the controls, keys where the focus is. Pseudo-terminals stand in for
// serial devices; the file picker, message boxes and helper programs are fakes. What a station
// saves, and how a station started on it looks, count among what changed.
#include "app/DefaultsFileIO.h"
#include "app/SecuritySettings.h"
#include "app/SettingsRecords.h"
#include "dialogs/DropDownCombo.h"
#include "dialogs/NetworkSetupForm.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/SecuritySetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "dialogs/ValueLabel.h"
#include "help/AboutForm.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"
#include "support/DialogTestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <sys/ioctl.h>
#include <sys/stat.h>

namespace
{
// Runs act on the modal dialog that the next command opens over its owner, once it has the
// focus. A dialog that act leaves open is cancelled, so a failed check cannot hang the test.
void whenOpen(QWidget &owner, const std::function<void(QDialog &)> &act)
{
    QTimer::singleShot(0, [&owner, act] {
        QPointer<QDialog> dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        const bool active = dialog && QTest::qWaitForWindowActive(dialog);
        if (active && dialog->parentWidget() == &owner)
            act(*dialog);
        if (dialog && dialog->isVisible())
            dialog->reject();
        QVERIFY2(active && dialog->parentWidget() == &owner, "no dialog opened over its owner");
    });
}

// The one button, option or check box with this caption, or "Frame:caption".
QAbstractButton *button(QWidget &dialog, const QString &name)
{
    QList<QAbstractButton *> found;
    for (QAbstractButton *button : dialog.findChildren<QAbstractButton *>()) {
        const auto *frame = qobject_cast<QGroupBox *>(button->parentWidget());
        const QString text = button->text().remove('&');
        if (text == name || (frame && frame->title() + ':' + text == name))
            found.append(button);
    }
    return found.size() == 1 ? found.first() : nullptr;
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

bool openPort(SerialControl &serial, const QString &port)
{
    serial.setCommPort(port.toInt());
    return serial.setPortOpen(true);
}

// What the station holds, as the user reads it in the window, field by field.
QStringList side(MainForm &form, const QString &folder)
{
    QString lamps = QStringLiteral("lamps");
    for (const QLabel *lamp : {form.RxLED, form.TxLED})
        lamps += lamp->pixmap().toImage() == form.GreenLED.toImage()  ? " green"
                 : lamp->pixmap().toImage() == form.GreyLED.toImage() ? " grey"
                                                                      : " red";
    const SocketControl &socket = *form.Socket1;
    const auto number = [](qint64 value) { return QString::number(value); };
    DefaultsFileIO::SaveDefaults(form.station());
    QFile saved(QDir(folder).filePath(SettingsRecords::kFileName));
    const int savedPort = saved.open(QIODevice::ReadOnly)
                              ? decodeSettingsRecords(saved.readAll()).records.serialPort
                              : -1;
    return {form.RS232comms->Settings(),
            "flow " + number(form.RS232comms->Handshaking()),
            form.RS232Frame->title(),
            lamps,
            "countdowns " + number(form.RxLEDtimeout) + '/' + number(form.TxLEDtimeout),
            "to " + socket.RemoteHostName() + '/' + socket.RemoteHostAddress(),
            "port " + number(form.Port_Number) + '/' + number(socket.RemotePort()) + '/' +
                number(socket.LocalPort()),
            "from " + socket.LocalAddress(),
            form.RunInServerMode ? "server" : "client",
            form.AutoResolveHostName ? "resolve" : "no resolve",
            form.NetworkTimerTag + ' ' + number(form.NetworkTimer->interval()) + "ms",
            "shows " + form.DestinationName->text(),
            socket.state() == SocketControl::State::Idle ? "link idle" : "link up",
            "retries " + number(form.Ack_Retries),
            "status " + form.netStatus(),
            form.AutoReconnect && form.NetworkTimer->isActive() ? "resumed" : "suspended",
            "rx " + form.RxLogFile,
            "tx " + form.TxLogFile,
            "files " + QDir(folder).entryList({"*.log"}).join(' '),
            "saves port " + number(savedPort)};
}

// What the dialog shows at this moment beyond its captions.
QString look(QDialog &dialog)
{
    if (!dialog.isVisible())
        return QStringLiteral("look (closed)");
    QStringList shown{"look"};
    const QColor grey = dialog.palette().color(QPalette::Button);
    if (auto *rs232 = qobject_cast<RS232SetupForm *>(&dialog)) {
        for (int index = 0; index < rs232->CommPortCombo->count(); ++index)
            shown << rs232->CommPortCombo->itemText(index);
        shown << "showing " + rs232->CommPortCombo->currentText();
    } else if (auto *network = qobject_cast<NetworkSetupForm *>(&dialog)) {
        const QLineEdit *host = network->RemoteHostBox;
        shown << QString(host->isEnabled() ? "host box on" : "host box off") +
                     (host->palette().color(QPalette::Base) == grey ? " grey" : "");
    } else if (auto *log = qobject_cast<TrafficLogSetupForm *>(&dialog)) {
        for (ValueLabel *field :
             {log->RxLogFilepath, log->RxLogFilename, log->TxLogFilepath, log->TxLogFilename})
            shown << field->text() +
                         (field->palette().color(QPalette::Window) == grey ? "(grey)" : "");
        if (log->ClearLogFilesButton->isEnabled())
            shown << "clear on";
    } else if (auto *security = qobject_cast<SecuritySetupForm *>(&dialog)) {
        const QLineEdit *box = security->PassphraseBox;
        shown << (box->displayText() == box->text() ? "shown" : "masked");
    }
    return shown.join(' ');
}

// The fields that differ from before.
QStringList changed(const QStringList &before, const QStringList &after)
{
    QStringList fields;
    for (qsizetype index = 0; index < after.size(); ++index)
        if (after[index] != before.value(index))
            fields << after[index];
    return fields;
}

} // namespace

class DialogsTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialog_data();
    void dialog();
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
    // RS232 rows: pseudo-terminals at Com1, 2, 3 and 12; lamps red, countdowns at 3.
    row("RS232: every group", "serial=19200,n,8,1|open=1",
        "9600|7|1|Even|Hardware|list=Com1|opens|Log Traffic|OK",
        "9600,E,7,1; flow 2; Com1:9600,E,7,1; lamps green green; countdowns 0/0; look (grey) "
        "(grey) (grey) (grey)");
    row("RS232: two-digit port", "serial=19200,n,8,1|flow=1", "Stop Bits:2|list=Com12|key=Return",
        "19200,N,8,2; Com12:19200,N,8,2; lamps green green; countdowns 0/0; saves port 12");
    row("RS232: None", "serial=4800,o,7,2|flow=2|open=1", "Parity:None|list=None|OK",
        "4800,N,7,2; RS232 Disabled; lamps grey grey; countdowns 0/0; saves port 0");
    row("RS232: None for an absent port", "absent=5", "list=None|OK",
        "9600,N,8,1; lamps grey grey; countdowns 0/0; saves port 0");
    row("RS232: Help, Cancel", "serial=4800,o,7,2|open=1",
        "115200|Xon/Xoff|list=None|enter=Help|enter=Cancel|look",
        "box HELP - Setup RS232 Port; look (closed)");
    // What the dialog shows at opening is what OK applies.
    const QString grey = QStringLiteral("; lamps grey grey; countdowns 0/0");
    row("RS232: 9600 before 600", "serial=9600,e,7,1.5", "OK", "9600,E,8,1" + grey);
    row("RS232: unknown values", "serial=14400,m,5,2|flow=1", "OK", "19200,N,8,2" + grey);
    // The port box takes no typing; the list offers the own port and the free ones; a port
    // taken after it was listed is refused with the reason, and another can be chosen.
    row("RS232: port box", "serial=19200,n,8,1|open=1",
        "Com1=x9|key=Home|key=Del|key=Ctrl+V|key=Ctrl+X|compose=7|look|"
        "list=Com2|look|take=2|lock com3|key=F4|key=Esc|look|2400|OK|station|list=Com1|key=Return",
        "2400,N,8,1; Com1:2400,N,8,1; lamps green green; countdowns 0/0; look showing Com1; look "
        "Com1 Com2 Com3 Com12 None showing Com2; look Com1 Com12 None showing Com2; box Tethra: "
        "~/com2: the port is in use by another program; 2400,N,8,1; lamps grey grey; saves port 0");

    // Network rows: port 9801 from 127.0.0.1 to oldname at 127.0.0.9, listening, retries 7.
    const QString called = QStringLiteral("link idle; retries 0; status Calling ...");
    row("Network: address", "", "oldname=127.0.0.20|9801=  8080|127.0.0.1=127.0.0.3|key=Return",
        "to /127.0.0.20; port 8080/8080/8080; from 127.0.0.3; shows 127.0.0.20; " + called);
    row("Network: name", "", "oldname=localhost|9801=9801.5|OK",
        "to localhost/; port 9802/9802/9802; shows localhost; " + called);
    row("Network: kept", "server|resolve|tag=SLOW",
        "look|Run in Server Mode Only|look|127.0.0.1=127.0.0.3|9801=32767|OK",
        "to oldname/; port 32767/32767/32767; from 127.0.0.3; client; SLOW 1000ms; " + called +
            "; look host box off grey; look host box on");
    row("Network: options", "tag=fast",
        "Run in Server Mode Only|look|Auto Resolve|Fast Reconnect|oldname=|9801=abc|OK",
        "to oldname/; port 0/0/0; server; resolve; FAST 100ms; " + called +
            "; look host box off grey");
    row("Network: not bound", "", "oldname=|9801=40000|127.0.0.1=127.0.0.3|OK",
        "to /; port 40000/40000/40000; shows ; " + called);
    row("Network: beyond 32 bits", "", "9801=99999999999|127.0.0.1=127.0.0.3|OK",
        "to oldname/; " + called);
    row("Network: Help, Cancel", "",
        "Check IP|oldname=a|9801=1|Fast Reconnect|Auto Resolve|enter=Help|enter=Cancel",
        "link idle; box HELP - Setup Network Connection");
    row("Network: terminal", "install=x-terminal-emulator", "Check IP|Check IP|station|Cancel",
        "link idle; link idle; suspended; ran x-terminal-emulator ip; ran x-terminal-emulator ip; "
        "ended 1001");
    row("Network: close box", "install=xterm",
        "Check IP|oldname=a|Run in Server Mode Only|close box",
        "link idle; ran xterm ip; ended 1000");
    row("Network: viewer fails", "install=nm-connection-editor|broken=nm-connection-editor",
        "Check IP|look|Cancel",
        "link idle; box Tethra: The address viewer could not be started.; look host box on; ran "
        "nm-connection-editor");

    // Traffic log rows: the picker answers in turn; an empty answer is a cancelled picker.
    row("Log Traffic: picked", "rx=/old/rx.log|pick=/new/folder/received.log|pick=/new/sent.log",
        "Rx Data Logging:Select|Tx Data Logging:Select|look|OK",
        "rx /new/folder/received.log; tx /new/sent.log; look /new/folder/ received.log /new/ "
        "sent.log clear on; asked RX /old/rx.log; asked Tx <app>");
    row("Log Traffic: picker cancelled", "rx=/logs/rx.log|tx=tx.log", "double-click=rx.log|look|OK",
        "rx ; tx ; look /logs/(grey) (grey) (grey) (grey); asked RX /logs/rx.log");
    row("Log Traffic: double-clicks", "rx=/a/rx.log|tx=/b/tx.log|pick=/r/   |pick=|pick=/b/ 2.log ",
        "double-click=/a/|double-click=tx.log|double-click=/b/|OK",
        "rx ; tx /b/ 2.log ; asked RX /a/rx.log; asked Tx /b/tx.log; asked Tx /b");
    row("Log Traffic: clear button", "pick=/logs/tx.log|pick=",
        "look|Tx Data Logging:Select|look|Tx Data Logging:Select|look|OK",
        "look (grey) (grey) (grey) (grey); look (grey) (grey) /logs/ tx.log clear on; look "
        "(grey) (grey) /logs/(grey) (grey); asked Tx <app>; asked Tx /logs/tx.log");
    row("Log Traffic: Escape", "rx=/logs/rx.log|pick=|pick=/elsewhere/tx.log",
        "key=Return|Tx Data Logging:Select|enter=Help|enter=Cancel|look",
        "box Help - Setup Traffic Logging; look (closed); asked RX /logs/rx.log; asked Tx <app>");
    // Clearing deletes the stored files, not the one chosen but not confirmed, at once and
    // again after pauses in which another program may write them.
    const QString logs = "write=~/rx.log|write=~/tx.log|write=~/chosen.log|rx=~/rx.log|"
                         "tx=~/tx.log|pick=~/chosen.log|answer=";
    row("Log Traffic: clear", qPrintable(logs + "yes"),
        "Rx Data Logging:Select|Clear Log Files|station|write=~/rx.log|await|Cancel",
        "files chosen.log; box Clear RX and TX Log files: Are you Sure; files chosen.log; box "
        "Tethra: Log Files Cleared.; asked RX ~/rx.log");
    row("Log Traffic: clear refused", qPrintable(logs + "no"), "enter=Clear Log Files|OK",
        "box Clear RX and TX Log files: Are you Sure");
    // Security rows: OK writes tethra.ini, the owner's alone, and applies what it holds.
    row("Security: passphrase", "",
        "Accept calls only from the remote host|=my \"pass\" \\ "
        "w|compose=\u00f6e1|look|Show|look|key=Return|ini",
        "look masked; look shown; ini 600 AcceptFrom=anyone, reads back, applied");
    row("Security: Help, Cancel", "", "=abc|enter=Help|enter=Cancel|ini",
        "box HELP - Setup Security; ini none");
    row("About: a station started again", "open=1|view|restart", "key=Esc",
        "Com1:9600,n,8,1; lamps green green; expanded");
    row("About: started without the device", "open=1|unplug=1|restart", "key=Esc",
        "RS232 Disabled; lamps grey grey; small");
    row("About: keys", "", "enter=System Info...|look|key=Esc|look",
        "box Tethra: System Information Is Unavailable At This Time; look; look (closed)");
}

// Sets the station up as the row's start says, opens the dialog that the row's name says,
// takes the row's steps in it, and compares what changed in the station and what was seen
// on the way with the row's outcome.
void DialogsTest::dialog()
{
    QFETCH(QString, start);
    QFETCH(QString, steps);
    QFETCH(QString, outcome);
    const QString command = QString::fromLatin1(QTest::currentDataTag()).section(':', 0, 0);
    DialogStation station;
    MainForm &form = station.form();
    TestEnvironment &env = station.env();
    const QString folder = env.settingsFolder();
    SerialControl &serial = *form.RS232comms;
    SerialControl other(SerialPortMap(env.settingsFolder()));
    for (int port : {1, 2, 12})
        station.mapPty(port);
    const Pty &com3 = station.mapPty(3);
    // Nothing but the dialog changes the station meanwhile: no lamp countdown, no port awaited.
    const QSignalBlocker noTicks(form.RS232timer);
    form.serialReconnector().forget();
    form.NetworkTimer->stop();
    QVERIFY(form.Socket1->Listen());
    form.Socket1->setRemoteHostAddress(QStringLiteral("127.0.0.9"));
    form.Socket1->setRemoteHostName(QStringLiteral("oldname"));
    form.Ack_Retries = 7;
    form.setNetStatus(QStringLiteral("Not Connected"));
    form.RxLEDtimeout = form.TxLEDtimeout = 3;
    QStringList before, seen;
    env.messageBoxes.onShown = [&seen](const FakeMessageBoxes::Box &box) {
        seen << "box " + box.title + (box.text.contains('\n') ? "" : ": " + box.text) +
                    (box.owner == QApplication::activeModalWidget() ? "" : " (not over it)");
    };
    QDialog *dialog = nullptr;
    QElapsedTimer sinceClick;
    const QHash<QString, std::function<void(const QString &)>> does{
        {"serial", [&](const QString &v) { QVERIFY(serial.setSettings(v)); }},
        {"flow", [&](const QString &v) { QVERIFY(serial.setHandshaking(v.toInt())); }},
        {"open", [&](const QString &v) { QVERIFY(openPort(serial, v)); }},
        {"take", [&](const QString &v) { QVERIFY(openPort(other, v)); }}, // another station
        {"absent", // as at a start without the device: the port is awaited
         [&](const QString &v) {
             QVERIFY(!openPort(serial, v));
             form.serialReconnector().expectPort();
         }},
        {"unplug", [&](const QString &v) { env.mapSerialPort(v.toInt(), env.filePath("gone")); }},
        {"restart", // a second station started on the settings saved now
         [&](const QString &) {
             DefaultsFileIO::SaveDefaults(form.station());
             serial.setPortOpen(false); // as at the first one's exit
             MainForm again(env.environment());
             again.Form_Load();
             const bool expanded =
                 again.height() > again.twipsToPixels(MainForm::kCollapsedHeightTwips);
             seen << side(again, folder).mid(2, 2) + QStringList(expanded ? "expanded" : "small");
         }},
        {"lock com3", [&](const QString &) { ::ioctl(com3.slaveFd(), TIOCEXCL); }},
        {"server", [&](const QString &) { form.RunInServerMode = true; }},
        {"view", [&](const QString &) { form.ViewMenuItem->trigger(); }},
        {"resolve", [&](const QString &) { form.AutoResolveHostName = true; }},
        {"tag", [&](const QString &v) { form.NetworkTimerTag = v; }},
        {"rx", [&](const QString &v) { form.RxLogFile = v; }},
        {"tx", [&](const QString &v) { form.TxLogFile = v; }},
        {"pick", [&](const QString &v) { env.filePicker.queueAnswer(v); }},
        {"answer", [&](const QString &v) { env.messageBoxes.queueAnswer(v == "yes"); }},
        {"write", [&](const QString &v) { QVERIFY(QFile(v).open(QIODevice::WriteOnly)); }},
        {"install", [&](const QString &v) { env.programs.install(v); }},
        {"ini",
         [&](const QString &) {
             const QString path = folder + SecuritySettings::kFileName;
             struct stat file {
             };
             const SecuritySettings read = SecuritySettingsFile::load(folder);
             seen << (::stat(qPrintable(path), &file) != 0
                          ? QStringLiteral("ini none")
                          : QStringLiteral("ini %1 %2%3%4")
                                .arg(file.st_mode & 0777, 0, 8)
                                .arg(read.acceptFrom == SecuritySettings::AcceptFrom::Anyone
                                         ? "AcceptFrom=anyone"
                                         : "AcceptFrom=remote-host")
                                .arg(read.passphrase == "my \"pass\" \\ w\u00f6e1" ? ", reads back"
                                                                                   : "")
                                .arg(read == form.security ? ", applied" : ""));
         }},
        {"broken", [&](const QString &v) { env.programs.breakProgram(v); }},
        {"key", // to the focused control, or to the dialog once nothing has the focus
         [&](const QString &v) {
             QWidget *focused = QApplication::focusWidget();
             QTest::keySequence(focused ? focused : dialog, v);
         }},
        {"compose", // text an input method composed
         [&](const QString &v) {
             QInputMethodEvent composed;
             composed.setCommitString(v);
             QApplication::sendEvent(QApplication::focusWidget(), &composed);
         }},
        {"list", [&](const QString &v) { pickPort(*dialog, dialog->findChild<QComboBox *>(), v); }},
        {"double-click",
         [&](const QString &v) {
             for (QLabel *field : dialog->findChildren<ValueLabel *>())
                 if (field->text() == v)
                     QTest::mouseDClick(field, Qt::LeftButton);
         }},
        {"enter", // Tab until the button has the focus, then Enter
         [&](const QString &v) {
             for (int presses = 0;
                  presses < 40 && QApplication::focusWidget() != button(*dialog, v); ++presses)
                 keyClickFocused(*dialog, Qt::Key_Tab);
             QVERIFY2(QApplication::focusWidget() == button(*dialog, v), qPrintable(v));
             keyClickFocused(*dialog, Qt::Key_Return);
         }},
        {"look", [&](const QString &) { seen << look(*dialog); }},
        {"opens",
         [&](const QString &) { whenOpen(*dialog, [&](QDialog &o) { seen << look(o); }); }},
        {"station", [&](const QString &) { seen << changed(before, side(form, folder)); }},
        {"close box", [&](const QString &) { dialog->close(); }},
        {"await", // the last clearing pass, after the pauses between the passes
         [&](const QString &) {
             QTRY_VERIFY_WITH_TIMEOUT(seen.last().endsWith("Cleared."), 5000);
             QVERIFY(sinceClick.elapsed() >=
                     (TrafficLogSetupForm::kClearPasses - 1) * TrafficLogSetupForm::kClearPauseMs);
         }},
    };
    const auto take = [&](const QString &step) {
        const QString key = step.section('=', 0, 0), value = step.section('=', 1);
        if (does.contains(key))
            return does[key](value);
        // The user clicks into the field that shows the text before '=' and types over it.
        for (QLineEdit *field : dialog->findChildren<QLineEdit *>()) {
            if (field->text() == key && step.contains('=')) {
                QTest::mouseClick(field, Qt::LeftButton);
                keyClickFocused(*dialog, Qt::Key_A, Qt::ControlModifier);
                keyClickFocused(*dialog, Qt::Key_Backspace);
                return QTest::keyClicks(QApplication::focusWidget(), value);
            }
        }
        sinceClick.start();
        QVERIFY2(button(*dialog, step), qPrintable(step));
        QTest::mouseClick(button(*dialog, step), Qt::LeftButton);
    };
    for (const QString &step : start.replace("~/", folder).split('|', Qt::SkipEmptyParts))
        take(step);
    form.parts().showSerialFrameCaption();
    form.parts().showDestination();
    form.RxLED->setPixmap(form.RedLED);
    form.TxLED->setPixmap(form.RedLED);
    if (command == QLatin1String("Network"))
        form.NetworkTimer->start();
    before = side(form, folder);

    const QHash<QString, int> widthTwips{{" Setup RS-232 Port", 4680},
                                         {" Setup Network Connection", 4605},
                                         {" Setup RS232 Traffic Logging", 5520},
                                         {" Setup Security", 4605},
                                         {" About Tethra", 6285}};
    whenOpen(form, [&](QDialog &shown) {
        dialog = &shown;
        // A long caption wraps inside its control rather than widening the dialog.
        QCOMPARE(shown.width(), form.twipsToPixels(widthTwips.value(shown.windowTitle())));
        QCOMPARE(cutCaptions(shown), QStringList());
        for (const QString &step : steps.replace("~/", folder).split('|'))
            take(step);
        for (const FakeFilePicker::Call &call : env.filePicker.calls())
            QCOMPARE(call.owner.data(), &shown);
    });
    if (command == QLatin1String("Log Traffic"))
        QTest::mouseClick(form.TrafficLogButton, Qt::LeftButton);
    else
        (command == QLatin1String("Network")    ? form.NetworkMenuItem
         : command == QLatin1String("About")    ? form.AboutMenuItem
         : command == QLatin1String("Security") ? form.SecurityMenuItem
                                                : form.RS232MenuItem)
            ->trigger();

    QStringList happened = changed(before, side(form, folder)) + seen;
    for (const FakeFilePicker::Call &call : env.filePicker.calls())
        happened << "asked " + call.request.title.section(' ', 1, 1) + ' ' +
                        QDir(call.request.initialFolder).filePath(call.request.presetFileName);
    for (const FakePrograms::Started &started : env.programs.started())
        happened << "ran " + started.program +
                        (started.arguments.join(' ').contains("ip address") ? " ip" : "");
    for (qint64 task : env.programs.terminated())
        happened << "ended " + QString::number(task);
    QCOMPARE(happened.join("; ")
                 .replace(QCoreApplication::applicationDirPath(), "<app>")
                 .replace(folder, "~/"),
             outcome);
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
