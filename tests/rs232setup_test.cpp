// The serial port setup dialog on a real station: pseudo-terminals mapped as Com ports in
// the station's settings folder, real widgets on the offscreen platform.
#include "app/MainForm.h"
#include "dialogs/DropDownCombo.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "platform/SerialControl.h"
#include "platform/SerialPortMap.h"
#include "support/DialogTestSupport.h"
#include "support/FakeServices.h"
#include "support/Pty.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sys/ioctl.h>
#include <termios.h>

namespace
{

bool sameImage(const QPixmap &a, const QPixmap &b)
{
    return !a.isNull() && a.toImage() == b.toImage();
}

QStringList listed(const QComboBox &combo)
{
    QStringList entries;
    for (int index = 0; index < combo.count(); ++index)
        entries.append(combo.itemText(index));
    return entries;
}

// A station whose sixteen ports name nothing until a test maps a pseudo-terminal to one:
// the machine's own serial devices never show up in a list.
class Station
{
public:
    Station()
    {
        for (int port = SerialPortMap::kFirstPort; port <= SerialPortMap::kLastPort; ++port)
            m_env.mapSerialPort(port, m_env.filePath(QStringLiteral("absent%1").arg(port)));
        m_form = std::make_unique<MainForm>(m_env.environment());
        m_form->Form_Load();
    }

    Pty &mapPty(int port)
    {
        m_ptys.push_back(std::make_unique<Pty>());
        m_env.mapSerialPort(port, m_ptys.back()->slavePath());
        return *m_ptys.back();
    }

    bool openOwnPort(int port, const QString &settings = QStringLiteral("19200,n,8,1"))
    {
        SerialControl &serial = *m_form->RS232comms;
        serial.setCommPort(port);
        serial.setSettings(settings);
        return serial.setPortOpen(true);
    }

    MainForm &form() { return *m_form; }
    TestEnvironment &env() { return m_env; }

private:
    TestEnvironment m_env;
    std::vector<std::unique_ptr<Pty>> m_ptys;
    std::unique_ptr<MainForm> m_form;
};

} // namespace

class RS232SetupTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void captions_fitTheirControls();
    void portList_offersOwnAndFreePorts_notHeldOrMissing();
    void portList_endsWithNoneWhenNoPortIsUsable();
    void dropDown_keepsShownTextThatIsNoLongerListed();
    void typingIntoPortCombo_changesNothing();
    void load_selectsOptionsMatchingTheSerialSettings_data();
    void load_selectsOptionsMatchingTheSerialSettings();
    void load_selectsFlowControlFromHandshaking_data();
    void load_selectsFlowControlFromHandshaking();
    void load_showsOwnPortOrNone();
    void ok_reopensOwnPortWithNewSettings();
    void ok_opensTwoDigitPortChosenFromList();
    void ok_withUnmatchedBaudRate_applies19200();
    void ok_withNone_closesPortAndCaptionReadsDisabled();
    void ok_portHeldElsewhere_showsErrorAndStaysOpen();
    void cancel_changesNothing();
    void help_showsRs232HelpOverTheDialog();
    void logTrafficButton_opensLogSetupOwnedByThisDialog();
};

void RS232SetupTest::portList_offersOwnAndFreePorts_notHeldOrMissing()
{
    Station station;
    station.mapPty(1);
    Pty &heldByStation = station.mapPty(2);
    Pty &heldExclusively = station.mapPty(3);
    station.mapPty(12);
    QVERIFY(station.openOwnPort(1));

    // Another station of this process holds Com2.
    SerialControl other(SerialPortMap(station.env().settingsFolder()));
    other.setCommPort(2);
    QVERIFY2(other.setPortOpen(true), qPrintable(other.errorString()));
    // Another program holds Com3 in exclusive use.
    QCOMPARE(::ioctl(heldExclusively.slaveFd(), TIOCEXCL), 0);
    Q_UNUSED(heldByStation);

    RS232SetupForm dialog(station.form());
    dialog.CommPortCombo->showPopup();
    dialog.CommPortCombo->hidePopup();
    QCOMPARE(
        listed(*dialog.CommPortCombo),
        QStringList({QStringLiteral("Com1"), QStringLiteral("Com12"), QStringLiteral("None")}));
    QVERIFY(station.form().RS232comms->PortOpen());
    ::ioctl(heldExclusively.slaveFd(), TIOCNXCL);
}

void RS232SetupTest::portList_endsWithNoneWhenNoPortIsUsable()
{
    Station station;
    RS232SetupForm dialog(station.form());
    dialog.CommPortCombo->addItem(QStringLiteral("Com5"));
    dialog.List_all_CommPorts(*dialog.CommPortCombo);
    QCOMPARE(listed(*dialog.CommPortCombo), QStringList({QStringLiteral("None")}));
    QCOMPARE(dialog.CommPortCombo->currentText(), QStringLiteral("Com5"));
}

void RS232SetupTest::dropDown_keepsShownTextThatIsNoLongerListed()
{
    Station station;
    Pty &device = station.mapPty(4);
    station.mapPty(5);
    QVERIFY(station.openOwnPort(4));
    RS232SetupForm dialog(station.form());
    QCOMPARE(dialog.CommPortCombo->currentText(), QStringLiteral("Com4"));

    // Com4 is lost to another program while the dialog is open.
    station.form().RS232comms->setPortOpen(false);
    QCOMPARE(::ioctl(device.slaveFd(), TIOCEXCL), 0);
    dialog.CommPortCombo->showPopup();
    dialog.CommPortCombo->hidePopup();
    ::ioctl(device.slaveFd(), TIOCNXCL);

    QCOMPARE(listed(*dialog.CommPortCombo),
             QStringList({QStringLiteral("Com5"), QStringLiteral("None")}));
    QCOMPARE(dialog.CommPortCombo->currentText(), QStringLiteral("Com4"));
}

void RS232SetupTest::typingIntoPortCombo_changesNothing()
{
    Station station;
    station.mapPty(1);
    station.mapPty(5);
    QVERIFY(station.openOwnPort(1));
    RS232SetupForm dialog(station.form());
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    // The user clicks into the edit part; from then on the keys go wherever the focus is.
    QTest::mouseClick(dialog.CommPortCombo->lineEdit(), Qt::LeftButton);
    QGuiApplication::clipboard()->setText(QStringLiteral("Com9"));

    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("x9"));
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace, Qt::Key_Backspace,
                        Qt::Key_Home, Qt::Key_Delete})
        keyClickFocused(dialog, key);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Com5"));
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("7"));
    QApplication::sendEvent(QApplication::focusWidget(), &composed);
    QCOMPARE(dialog.CommPortCombo->currentText(), QStringLiteral("Com1"));

    keyClickFocused(dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(station.form().RS232comms->PortOpen());
    QCOMPARE(station.form().RS232comms->CommPort(), 1);
}

void RS232SetupTest::load_selectsOptionsMatchingTheSerialSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("dataBits");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("parity");

    QTest::newRow("9600 is found before the 600 in it") << "9600,N,8,1"
                                                        << "9600"
                                                        << "8"
                                                        << "1"
                                                        << "N";
    QTest::newRow("57600 before 600") << "57600,n,8,1"
                                      << "57600"
                                      << "8"
                                      << "1"
                                      << "N";
    QTest::newRow("600 alone") << "600,o,7,2"
                               << "600"
                               << "7"
                               << "2"
                               << "O";
    QTest::newRow("115200 lower-case even") << "115200,e,7,1"
                                            << "115200"
                                            << "7"
                                            << "1"
                                            << "E";
    QTest::newRow("1200") << "1200,E,8,2"
                          << "1200"
                          << "8"
                          << "2"
                          << "E";
    QTest::newRow("110") << "110,n,7,1"
                         << "110"
                         << "7"
                         << "1"
                         << "N";
    QTest::newRow("no option for 14400 keeps 19200") << "14400,e,7,2"
                                                     << "19200"
                                                     << "7"
                                                     << "2"
                                                     << "E";
    QTest::newRow("1.5 stop bits match neither data nor stop bits") << "9600,e,7,1.5"
                                                                    << "9600"
                                                                    << "8"
                                                                    << "1"
                                                                    << "E";
    QTest::newRow("5 data bits keep 8") << "4800,o,5,2"
                                        << "4800"
                                        << "8"
                                        << "2"
                                        << "O";
    QTest::newRow("6 data bits keep 8") << "2400,o,6,2"
                                        << "2400"
                                        << "8"
                                        << "2"
                                        << "O";
    QTest::newRow("mark parity keeps None") << "300,m,7,2"
                                            << "300"
                                            << "7"
                                            << "2"
                                            << "N";
    QTest::newRow("space parity keeps None") << "38400,s,7,2"
                                             << "38400"
                                             << "7"
                                             << "2"
                                             << "N";
}

void RS232SetupTest::load_selectsOptionsMatchingTheSerialSettings()
{
    QFETCH(QString, settings);
    QFETCH(QString, baud);
    QFETCH(QString, dataBits);
    QFETCH(QString, stopBits);
    QFETCH(QString, parity);

    Station station;
    QVERIFY(station.form().RS232comms->setSettings(settings));
    RS232SetupForm dialog(station.form());
    QCOMPARE(dialog.GetBaudRate(), baud);
    QCOMPARE(dialog.GetDataBits(), dataBits);
    QCOMPARE(dialog.GetStopBits(), stopBits);
    QCOMPARE(dialog.GetParity(), parity);
    // Exactly one option of each group shows as chosen.
    for (QGroupBox *frame :
         {dialog.Frame1, dialog.Frame2, dialog.Frame3, dialog.Frame4, dialog.Frame5}) {
        int checked = 0;
        for (QRadioButton *option : frame->findChildren<QRadioButton *>())
            checked += option->isChecked() ? 1 : 0;
        QCOMPARE(checked, 1);
    }
}

void RS232SetupTest::load_selectsFlowControlFromHandshaking_data()
{
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<int>("option");
    QTest::newRow("none") << 0 << 2;
    QTest::newRow("xon/xoff") << 1 << 0;
    QTest::newRow("rts/cts") << 2 << 1;
}

void RS232SetupTest::load_selectsFlowControlFromHandshaking()
{
    QFETCH(int, handshaking);
    QFETCH(int, option);
    Station station;
    QVERIFY(station.form().RS232comms->setHandshaking(handshaking));
    RS232SetupForm dialog(station.form());
    QVERIFY(dialog.FlowOption[option]->isChecked());
    QCOMPARE(dialog.GetFlowControl(), handshaking);
}

void RS232SetupTest::load_showsOwnPortOrNone()
{
    Station station;
    station.mapPty(3);
    {
        RS232SetupForm dialog(station.form());
        QCOMPARE(dialog.CommPortCombo->currentText(), QStringLiteral("None"));
        QCOMPARE(dialog.CommPortCombo->count(), 0);
    }
    QVERIFY(station.openOwnPort(3));
    RS232SetupForm dialog(station.form());
    QCOMPARE(dialog.CommPortCombo->currentText(), QStringLiteral("Com3"));
}

void RS232SetupTest::ok_reopensOwnPortWithNewSettings()
{
    Station station;
    Pty &device = station.mapPty(1);
    QVERIFY(station.openOwnPort(1, QStringLiteral("19200,n,8,1")));
    MainForm &form = station.form();
    form.RxLEDtimeout = 3;
    form.TxLEDtimeout = 3;

    // Through the menu, as the user does it: the dialog runs modally and the frame caption
    // is rewritten when it has closed.
    bool acted = false;
    QTimer::singleShot(0, &form, [&] {
        auto *dialog = qobject_cast<RS232SetupForm *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->BaudOption[4]->click();   // 9600
        dialog->DataOption[1]->click();   // 7
        dialog->StopOption[1]->click();   // 1
        dialog->ParityOption[0]->click(); // Even
        dialog->FlowOption[1]->click();   // Hardware
        dialog->CommPortCombo->showPopup();
        dialog->CommPortCombo->hidePopup();
        dialog->CommPortCombo->setCurrentIndex(dialog->CommPortCombo->findText("Com1"));
        dialog->OKbutton->click();
        acted = true;
    });
    form.RS232MenuItem_Click();
    QVERIFY(acted);

    SerialControl &serial = *form.RS232comms;
    QVERIFY(serial.PortOpen());
    QCOMPARE(serial.CommPort(), 1);
    QCOMPARE(serial.Settings(), QStringLiteral("9600,E,7,1"));
    QCOMPARE(serial.Handshaking(), 2);
    QCOMPARE(form.RS232Frame->title(), QStringLiteral("Com1:9600,E,7,1"));
    QVERIFY(sameImage(form.RxLED->pixmap(), form.GreenLED));
    QVERIFY(sameImage(form.TxLED->pixmap(), form.GreenLED));
    QCOMPARE(form.RxLEDtimeout, 0);
    QCOMPARE(form.TxLEDtimeout, 0);

    // The device itself now runs at the new rate.
    termios line{};
    QCOMPARE(::tcgetattr(device.slaveFd(), &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
}

void RS232SetupTest::ok_opensTwoDigitPortChosenFromList()
{
    Station station;
    station.mapPty(12);
    RS232SetupForm dialog(station.form());
    dialog.CommPortCombo->showPopup();
    dialog.CommPortCombo->hidePopup();
    const int index = dialog.CommPortCombo->findText(QStringLiteral("Com12"));
    QVERIFY(index >= 0);
    dialog.CommPortCombo->setCurrentIndex(index);
    dialog.OKbutton_Click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(station.form().RS232comms->PortOpen());
    QCOMPARE(station.form().RS232comms->CommPort(), 12);
}

void RS232SetupTest::ok_withUnmatchedBaudRate_applies19200()
{
    Station station;
    station.mapPty(2);
    QVERIFY(station.openOwnPort(2, QStringLiteral("14400,o,7,2")));
    RS232SetupForm dialog(station.form());
    dialog.OKbutton_Click();
    QCOMPARE(station.form().RS232comms->Settings(), QStringLiteral("19200,O,7,2"));
    QVERIFY(station.form().RS232comms->PortOpen());
}

void RS232SetupTest::ok_withNone_closesPortAndCaptionReadsDisabled()
{
    Station station;
    station.mapPty(1);
    QVERIFY(station.openOwnPort(1));
    MainForm &form = station.form();
    form.RxLED->setPixmap(form.GreenLED);
    form.TxLED->setPixmap(form.GreenLED);

    QTimer::singleShot(0, &form, [] {
        auto *dialog = qobject_cast<RS232SetupForm *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->CommPortCombo->showPopup();
        dialog->CommPortCombo->hidePopup();
        dialog->CommPortCombo->setCurrentIndex(dialog->CommPortCombo->findText("None"));
        dialog->OKbutton->click();
    });
    form.RS232MenuItem_Click();

    QVERIFY(!form.RS232comms->PortOpen());
    QCOMPARE(form.RS232Frame->title(), QStringLiteral("RS232 Disabled"));
    QVERIFY(sameImage(form.RxLED->pixmap(), form.GreyLED));
    QVERIFY(sameImage(form.TxLED->pixmap(), form.GreyLED));
}

void RS232SetupTest::ok_portHeldElsewhere_showsErrorAndStaysOpen()
{
    Station station;
    station.mapPty(1);
    station.mapPty(2);
    QVERIFY(station.openOwnPort(1));
    MainForm &form = station.form();
    form.RxLED->setPixmap(form.GreenLED);
    form.TxLED->setPixmap(form.GreenLED);
    form.RxLEDtimeout = 2;
    form.TxLEDtimeout = 2;
    SerialControl other(SerialPortMap(station.env().settingsFolder()));
    other.setCommPort(2);
    QVERIFY(other.setPortOpen(true));

    RS232SetupForm dialog(form);
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.BaudOption[6]->click(); // 2400
    // Com2 was offered before the other station took it.
    dialog.CommPortCombo->setEditText(QStringLiteral("Com2"));
    FakeMessageBoxes &boxes = station.env().messageBoxes;
    boxes.clear();
    dialog.OKbutton_Click();

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().kind, FakeMessageBoxes::Kind::Inform);
    QCOMPARE(boxes.last().title, QStringLiteral("Tethra"));
    QVERIFY(!boxes.last().text.isEmpty());
    QCOMPARE(boxes.last().text, form.RS232comms->errorString());
    QCOMPARE(boxes.last().owner.data(), &dialog);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!form.RS232comms->PortOpen());
    QCOMPARE(form.RS232comms->Settings(), QStringLiteral("2400,N,8,1"));
    QVERIFY(sameImage(form.RxLED->pixmap(), form.GreyLED));
    QVERIFY(sameImage(form.TxLED->pixmap(), form.GreyLED));
    QCOMPARE(form.RxLEDtimeout, 2);
    QCOMPARE(form.TxLEDtimeout, 2);

    // Another port can be picked in the same dialog.
    dialog.CommPortCombo->setEditText(QStringLiteral("Com1"));
    dialog.OKbutton_Click();
    QCOMPARE(finished.count(), 1);
    QVERIFY(form.RS232comms->PortOpen());
    QCOMPARE(form.RS232comms->CommPort(), 1);
}

void RS232SetupTest::cancel_changesNothing()
{
    Station station;
    station.mapPty(1);
    QVERIFY(station.openOwnPort(1, QStringLiteral("4800,o,7,2")));
    RS232SetupForm dialog(station.form());
    dialog.BaudOption[0]->click();
    dialog.FlowOption[0]->click();
    dialog.CommPortCombo->setEditText(QStringLiteral("None"));
    dialog.CancelButton->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(station.form().RS232comms->PortOpen());
    QCOMPARE(station.form().RS232comms->Settings(), QStringLiteral("4800,o,7,2"));
    QCOMPARE(station.form().RS232comms->Handshaking(), 0);
}

void RS232SetupTest::help_showsRs232HelpOverTheDialog()
{
    Station station;
    RS232SetupForm dialog(station.form());
    dialog.BaudOption[1]->click();
    FakeMessageBoxes &boxes = station.env().messageBoxes;
    boxes.clear();
    dialog.HelpButton->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("HELP - Setup RS232 Port"));
    QVERIFY(boxes.last().text.startsWith(QStringLiteral("SELECTED-COMM-PORT ... ")));
    QCOMPARE(boxes.last().icon, MessageBoxes::Icon::None);
    QCOMPARE(boxes.last().owner.data(), &dialog);
    QCOMPARE(dialog.GetBaudRate(), QStringLiteral("57600"));
    QCOMPARE(dialog.result(), 0);
}

void RS232SetupTest::logTrafficButton_opensLogSetupOwnedByThisDialog()
{
    Station station;
    RS232SetupForm dialog(station.form());
    dialog.show();
    dialog.FlowOption[0]->click();
    QWidget *owner = nullptr;
    QString caption;
    QTimer::singleShot(0, &dialog, [&] {
        auto *logSetup = qobject_cast<TrafficLogSetupForm *>(QApplication::activeModalWidget());
        QVERIFY(logSetup);
        owner = logSetup->parentWidget();
        caption = logSetup->windowTitle();
        logSetup->CancelButton->click();
    });
    dialog.TrafficLoggingButton->click();
    QCOMPARE(owner, &dialog);
    QCOMPARE(caption, QStringLiteral(" Setup RS232 Traffic Logging"));
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.FlowOption[0]->isChecked());
}

void RS232SetupTest::captions_fitTheirControls()
{
    Station station;
    RS232SetupForm dialog(station.form());
    dialog.show();
    QCOMPARE(cutCaptions(dialog), QStringList());
}

QTEST_MAIN(RS232SetupTest)
#include "rs232setup_test.moc"
