// The network setup dialog on real stations: real sockets on loopback (stations on
// 127.0.0.1 and 127.0.0.2), real widgets on the offscreen platform, fake desktop services.
//
// Tests that apply a remote host stop NetworkTimer straight after OK, before the event
// loop runs again, so that the station never calls the host they typed.
#include "app/MainForm.h"
#include "dialogs/NetworkSetupForm.h"
#include "platform/SocketControl.h"
#include "support/DialogTestSupport.h"
#include "support/FakeServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <unistd.h>

namespace
{

constexpr int kConnectTimeoutMs = 20000;

// A port of its own for each test process, away from the default one. It stays below
// 32768: that is where the kernel's ephemeral ports begin (another socket of the machine
// may hold one), and a station that accepts a call from a higher port leaves its
// status, counter and interval as they were.
int testPort()
{
    return 20000 + int(::getpid() % 12000);
}

class Station
{
public:
    explicit Station(const QString &address, int port = testPort()) : m_env(address)
    {
        m_form = std::make_unique<MainForm>(m_env.environment());
        m_form->Form_Load();
        m_form->Port_Number = port;
        m_form->Socket1->setLocalPort(port);
        m_form->Socket1->setRemotePort(port);
        m_form->Socket1->Bind(address, port);
    }

    void callPeer(const QString &address) { m_form->Socket1->setRemoteHostAddress(address); }
    MainForm &form() { return *m_form; }
    SocketControl &socket() { return *m_form->Socket1; }
    TestEnvironment &env() { return m_env; }

private:
    TestEnvironment m_env;
    std::unique_ptr<MainForm> m_form;
};

// Halts the connection manager so that nothing it does races the test.
void suspend(MainForm &form)
{
    form.NetworkTimer->stop();
    form.Socket1->Abort();
}

} // namespace

class NetworkSetupTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void captions_fitTheirControls();
    void opening_dropsLiveConnection_andCancelResumes();
    void opening_closesListeningSocket();
    void opening_showsCurrentSettings();
    void opening_showsHostNameBeforeAddress();
    void ok_appliesRemoteHost_data();
    void ok_appliesRemoteHost();
    void ok_appliesPortText_data();
    void ok_appliesPortText();
    void ok_appliesOptionsAndRestartsTheCycle();
    void ok_withFastReconnectCleared_ticksSlowly();
    void serverMode_greysHostBoxButOkStillAppliesIt();
    void checkIp_disabledWithoutViewer();
    void checkIp_startsViewerAndClosingDialogEndsIt_data();
    void checkIp_startsViewerAndClosingDialogEndsIt();
    void checkIp_viewerClosedByHand_sendsNothingAndResumes();
    void checkIp_failingViewerStart_keepsDialogOpen();
    void closeBoxAndEscape_resumeWithoutApplying();
    void help_showsNetworkHelpOverTheDialog();
};

void NetworkSetupTest::opening_dropsLiveConnection_andCancelResumes()
{
    Station caller(QStringLiteral("127.0.0.1"));
    Station answerer(QStringLiteral("127.0.0.2"));
    caller.callPeer(QStringLiteral("127.0.0.2"));
    answerer.callPeer(QStringLiteral("127.0.0.1"));
    // Only the caller leaves listening to call again, so the two never stay in step.
    caller.env().random.queue(0.0);
    answerer.env().random.queue(0.99);
    QTRY_VERIFY_WITH_TIMEOUT(caller.socket().IsConnected() && answerer.socket().IsConnected(),
                             kConnectTimeoutMs);

    MainForm &form = caller.form();
    auto dialog = std::make_unique<NetworkSetupForm>(form);
    QCOMPARE(caller.socket().state(), SocketControl::State::Idle);
    QVERIFY(!form.AutoReconnect);
    QVERIFY(!form.NetworkTimer->isActive());
    QVERIFY(!caller.socket().AutoResolve());
    // The peer sees the link go.
    QTRY_VERIFY_WITH_TIMEOUT(!answerer.socket().IsConnected(), kConnectTimeoutMs);
    QCOMPARE(caller.socket().state(), SocketControl::State::Idle);
    const int retries = form.Ack_Retries;

    dialog->CancelButton->click();
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(form.AutoReconnect);
    QVERIFY(form.NetworkTimer->isActive());
    QCOMPARE(form.Ack_Retries, retries);
    QCOMPARE(caller.socket().RemoteHostAddress(), QStringLiteral("127.0.0.2"));
    QCOMPARE(form.Port_Number, testPort());
    dialog.reset();

    // The connection manager takes up its work again with the settings it had.
    QTRY_VERIFY_WITH_TIMEOUT(caller.socket().IsConnected() && answerer.socket().IsConnected(),
                             kConnectTimeoutMs);
}

void NetworkSetupTest::opening_closesListeningSocket()
{
    Station station(QStringLiteral("127.0.0.1"));
    MainForm &form = station.form();
    suspend(form);
    QVERIFY2(station.socket().Listen(), qPrintable(station.socket().lastError()));
    QCOMPARE(station.socket().state(), SocketControl::State::Listening);
    form.NetworkTimer->start();

    NetworkSetupForm dialog(form);
    QCOMPARE(station.socket().state(), SocketControl::State::Idle);
    QVERIFY(!form.NetworkTimer->isActive());
    QVERIFY(!form.AutoReconnect);
}

void NetworkSetupTest::opening_showsCurrentSettings()
{
    Station station(QStringLiteral("127.0.0.1"), 4567);
    MainForm &form = station.form();
    station.callPeer(QStringLiteral("127.0.0.2"));
    form.RunInServerMode = false;
    form.AutoResolveHostName = true;
    form.NetworkTimerTag = QStringLiteral("FAST");

    NetworkSetupForm dialog(form);
    QCOMPARE(dialog.windowTitle(), QStringLiteral(" Setup Network Connection"));
    QCOMPARE(dialog.RemoteHostBox->text(), QStringLiteral("127.0.0.2"));
    QCOMPARE(dialog.PortNumberBox->text(), QStringLiteral("4567"));
    QVERIFY(dialog.FastConnectCheckbox->isChecked());
    QVERIFY(!dialog.ServerModeCheckbox->isChecked());
    QVERIFY(dialog.AutoResolveCheckbox->isChecked());
    QVERIFY(dialog.RemoteHostBox->isEnabled());
    QCOMPARE(dialog.LocalIPcombo->currentText(), QStringLiteral("127.0.0.1"));
    QCOMPARE(dialog.LocalIPcombo->count(), station.socket().LocalAddressCount());
    QVERIFY(dialog.LocalIPcombo->count() > 0);
    for (int index = 0; index < dialog.LocalIPcombo->count(); ++index)
        QCOMPARE(dialog.LocalIPcombo->itemText(index), station.socket().LocalAddressAt(index));
    QCOMPARE(dialog.IPcheckTaskId, 0);
    QVERIFY(dialog.OKbutton->isDefault());

    // A tag that is not exactly "FAST" shows as cleared.
    dialog.CancelButton->click();
    form.NetworkTimerTag = QStringLiteral("fast");
    NetworkSetupForm again(form);
    QVERIFY(!again.FastConnectCheckbox->isChecked());
}

void NetworkSetupTest::opening_showsHostNameBeforeAddress()
{
    Station station(QStringLiteral("127.0.0.1"));
    station.socket().setRemoteHostAddress(QStringLiteral("127.0.0.9"));
    station.socket().setRemoteHostName(QStringLiteral("localhost"));
    NetworkSetupForm dialog(station.form());
    QCOMPARE(dialog.RemoteHostBox->text(), QStringLiteral("localhost"));
}

void NetworkSetupTest::ok_appliesRemoteHost_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QString>("expectedAddress");

    QTest::newRow("dotted address") << "127.0.0.20"
                                    << ""
                                    << "127.0.0.20";
    QTest::newRow("address with blanks is kept as typed") << " 127.0.0.21 "
                                                          << ""
                                                          << " 127.0.0.21 ";
    QTest::newRow("host name") << "localhost"
                               << "localhost"
                               << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void NetworkSetupTest::ok_appliesRemoteHost()
{
    QFETCH(QString, host);
    QFETCH(QString, expectedName);
    QFETCH(QString, expectedAddress);

    Station station(QStringLiteral("127.0.0.1"));
    MainForm &form = station.form();
    station.socket().setRemoteHostName(QStringLiteral("oldname"));
    NetworkSetupForm dialog(form);
    dialog.RemoteHostBox->setText(host);
    dialog.OKbutton->click();
    form.NetworkTimer->stop();

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(station.socket().RemoteHostName(), expectedName);
    QCOMPARE(station.socket().RemoteHostAddress(), expectedAddress);
    QCOMPARE(form.DestinationName->text(), expectedName.isEmpty() ? expectedAddress : expectedName);
}

void NetworkSetupTest::ok_appliesPortText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expectedPort");
    QTest::addColumn<bool>("bound");

    QTest::newRow("not a number") << "abc" << 0 << true;
    QTest::newRow("leading blanks") << "  8080" << 8080 << true;
    QTest::newRow("half rounds to even, up") << "9801.5" << 9802 << true;
    QTest::newRow("half rounds to even, down") << "9802.5" << 9802 << true;
    QTest::newRow("trailing text") << "7000x1" << 7000 << true;
    QTest::newRow("highest bound port") << "32767" << 32767 << true;
    QTest::newRow("above 16 bits is stored, not bound") << "40000" << 40000 << false;
    QTest::newRow("above 65535 is stored") << "70000" << 70000 << false;
    QTest::newRow("negative is stored, bind refused") << "-5" << -5 << false;
    QTest::newRow("beyond 32 bits keeps the old port") << "99999999999" << 1234 << false;
}

void NetworkSetupTest::ok_appliesPortText()
{
    QFETCH(QString, text);
    QFETCH(int, expectedPort);
    QFETCH(bool, bound);

    Station station(QStringLiteral("127.0.0.1"), 1234);
    MainForm &form = station.form();
    NetworkSetupForm dialog(form);
    dialog.PortNumberBox->setText(text);
    // The local address only changes when Bind runs.
    dialog.LocalIPcombo->setEditText(QStringLiteral("127.0.0.3"));
    dialog.OKbutton->click();
    form.NetworkTimer->stop();

    QCOMPARE(form.Port_Number, expectedPort);
    QCOMPARE(station.socket().RemotePort(), expectedPort);
    QCOMPARE(station.socket().LocalPort(), expectedPort);
    QCOMPARE(station.socket().LocalAddress(),
             bound ? QStringLiteral("127.0.0.3") : QStringLiteral("127.0.0.1"));
}

void NetworkSetupTest::ok_appliesOptionsAndRestartsTheCycle()
{
    Station station(QStringLiteral("127.0.0.1"));
    MainForm &form = station.form();
    form.Ack_Retries = 7;
    form.RunInServerMode = false;
    form.AutoResolveHostName = false;
    NetworkSetupForm dialog(form);
    dialog.show();
    dialog.ServerModeCheckbox->click();
    dialog.AutoResolveCheckbox->click();
    dialog.RemoteHostBox->setText(QStringLiteral("127.0.0.2"));
    QTest::keyClick(dialog.PortNumberBox, Qt::Key_Return);
    form.NetworkTimer->stop();

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(form.RunInServerMode);
    QVERIFY(form.AutoResolveHostName);
    QCOMPARE(form.Ack_Retries, 0);
    QCOMPARE(form.netStatus(), QStringLiteral("Calling ..."));
    QVERIFY(form.AutoReconnect);
    QCOMPARE(form.NetworkTimerTag, QStringLiteral("FAST"));
    QCOMPARE(form.NetworkTimer->interval(), 100);
    QCOMPARE(station.socket().state(), SocketControl::State::Idle);
}

void NetworkSetupTest::ok_withFastReconnectCleared_ticksSlowly()
{
    Station station(QStringLiteral("127.0.0.1"));
    MainForm &form = station.form();
    {
        NetworkSetupForm dialog(form);
        QVERIFY(dialog.FastConnectCheckbox->isChecked());
        dialog.FastConnectCheckbox->click();
        dialog.OKbutton->click();
    }
    QCOMPARE(form.NetworkTimer->interval(), 1000);
    QCOMPARE(form.NetworkTimerTag, QStringLiteral("SLOW"));
    QVERIFY(form.NetworkTimer->isActive());

    NetworkSetupForm again(form);
    QVERIFY(!again.FastConnectCheckbox->isChecked());
    again.FastConnectCheckbox->click();
    again.OKbutton->click();
    QCOMPARE(form.NetworkTimer->interval(), 100);
    QCOMPARE(form.NetworkTimerTag, QStringLiteral("FAST"));
}

void NetworkSetupTest::serverMode_greysHostBoxButOkStillAppliesIt()
{
    Station station(QStringLiteral("127.0.0.1"));
    MainForm &form = station.form();
    NetworkSetupForm dialog(form);
    dialog.show();
    const QColor windowColour = dialog.palette().color(QPalette::Base);
    const QColor buttonColour = dialog.palette().color(QPalette::Button);
    QVERIFY(windowColour != buttonColour);
    QVERIFY(dialog.RemoteHostBox->isEnabled());
    QCOMPARE(dialog.RemoteHostBox->palette().color(QPalette::Base), windowColour);

    QTest::mouseClick(dialog.ServerModeCheckbox, Qt::LeftButton);
    QVERIFY(dialog.ServerModeCheckbox->isChecked());
    QVERIFY(!dialog.RemoteHostBox->isEnabled());
    QCOMPARE(dialog.RemoteHostBox->palette().color(QPalette::Disabled, QPalette::Base),
             buttonColour);

    QTest::mouseClick(dialog.ServerModeCheckbox, Qt::LeftButton);
    QVERIFY(dialog.RemoteHostBox->isEnabled());
    QCOMPARE(dialog.RemoteHostBox->palette().color(QPalette::Base), windowColour);

    dialog.RemoteHostBox->setText(QStringLiteral("127.0.0.2"));
    QTest::mouseClick(dialog.ServerModeCheckbox, Qt::LeftButton);
    dialog.OKbutton->click();
    form.NetworkTimer->stop();
    QVERIFY(form.RunInServerMode);
    QCOMPARE(station.socket().RemoteHostAddress(), QStringLiteral("127.0.0.2"));

    // Opening again in server mode shows the box disabled from the start.
    NetworkSetupForm again(form);
    QVERIFY(again.ServerModeCheckbox->isChecked());
    QVERIFY(!again.RemoteHostBox->isEnabled());
    QCOMPARE(again.RemoteHostBox->text(), QStringLiteral("127.0.0.2"));
}

void NetworkSetupTest::checkIp_disabledWithoutViewer()
{
    Station station(QStringLiteral("127.0.0.1"));
    station.env().programs.install(QStringLiteral("some-other-tool"));
    NetworkSetupForm dialog(station.form());
    QVERIFY(!dialog.IPcheckButton->isEnabled());
}

void NetworkSetupTest::checkIp_startsViewerAndClosingDialogEndsIt_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("listsAddressesInTerminal");
    QTest::newRow("connection editor") << "nm-connection-editor" << false;
    QTest::newRow("terminal running ip") << "x-terminal-emulator" << true;
    QTest::newRow("plain xterm") << "xterm" << true;
}

void NetworkSetupTest::checkIp_startsViewerAndClosingDialogEndsIt()
{
    QFETCH(QString, installed);
    QFETCH(bool, listsAddressesInTerminal);

    Station station(QStringLiteral("127.0.0.1"));
    FakePrograms &programs = station.env().programs;
    programs.install(installed);
    MainForm &form = station.form();
    NetworkSetupForm dialog(form);
    QVERIFY(dialog.IPcheckButton->isEnabled());

    dialog.IPcheckButton->click();
    dialog.IPcheckButton->click();
    QCOMPARE(programs.started().size(), 2);
    const FakePrograms::Started first = programs.started().at(0);
    const FakePrograms::Started second = programs.started().at(1);
    QCOMPARE(second.program, installed);
    QCOMPARE(second.arguments.join(' ').contains(QStringLiteral("ip address")),
             listsAddressesInTerminal);
    QCOMPARE(dialog.IPcheckTaskId, second.taskId);

    dialog.OKbutton->click();
    form.NetworkTimer->stop();
    // Only the copy started last belongs to the dialog.
    QCOMPARE(programs.terminated(), QList<qint64>({second.taskId}));
    QVERIFY(programs.isRunning(first.taskId));
    QCOMPARE(dialog.IPcheckTaskId, 0);
}

void NetworkSetupTest::checkIp_viewerClosedByHand_sendsNothingAndResumes()
{
    Station station(QStringLiteral("127.0.0.1"));
    FakePrograms &programs = station.env().programs;
    programs.install(QStringLiteral("nm-connection-editor"));
    MainForm &form = station.form();
    NetworkSetupForm dialog(form);
    dialog.IPcheckButton->click();
    programs.finish(dialog.IPcheckTaskId);

    dialog.OKbutton->click();
    QVERIFY(programs.terminated().isEmpty());
    QVERIFY(form.AutoReconnect);
    QVERIFY(form.NetworkTimer->isActive());
}

void NetworkSetupTest::checkIp_failingViewerStart_keepsDialogOpen()
{
    Station station(QStringLiteral("127.0.0.1"));
    FakePrograms &programs = station.env().programs;
    programs.install(QStringLiteral("nm-connection-editor"));
    NetworkSetupForm dialog(station.form());
    programs.breakProgram(QStringLiteral("nm-connection-editor"));
    QSignalSpy finished(&dialog, &QDialog::finished);
    const int boxesBefore = station.env().messageBoxes.count();

    dialog.IPcheckButton->click();
    QCOMPARE(dialog.IPcheckTaskId, 0);
    QCOMPARE(station.env().messageBoxes.count(), boxesBefore + 1);
    QCOMPARE(station.env().messageBoxes.last().owner.data(), &dialog);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!station.form().AutoReconnect);
}

void NetworkSetupTest::closeBoxAndEscape_resumeWithoutApplying()
{
    Station station(QStringLiteral("127.0.0.1"));
    MainForm &form = station.form();
    form.Ack_Retries = 3;
    {
        NetworkSetupForm dialog(form);
        dialog.show();
        dialog.PortNumberBox->setText(QStringLiteral("1111"));
        dialog.FastConnectCheckbox->click();
        dialog.close();
        QVERIFY(form.AutoReconnect);
        QVERIFY(form.NetworkTimer->isActive());
    }
    QCOMPARE(form.Port_Number, testPort());
    QCOMPARE(form.NetworkTimerTag, QStringLiteral("FAST"));

    NetworkSetupForm dialog(form);
    dialog.PortNumberBox->setText(QStringLiteral("2222"));
    QTimer::singleShot(0, &dialog, [&dialog] { keyClickFocused(dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(form.Port_Number, testPort());
    QVERIFY(form.AutoReconnect);
    QVERIFY(form.NetworkTimer->isActive());
    QCOMPARE(form.Ack_Retries, 3);
}

void NetworkSetupTest::help_showsNetworkHelpOverTheDialog()
{
    Station station(QStringLiteral("127.0.0.1"));
    NetworkSetupForm dialog(station.form());
    dialog.PortNumberBox->setText(QStringLiteral("5555"));
    FakeMessageBoxes &boxes = station.env().messageBoxes;
    boxes.clear();
    dialog.HelpButton->click();
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("HELP - Setup Network Connection"));
    QVERIFY(boxes.last().text.startsWith(QStringLiteral("IP-ADDRESS ... ")));
    QCOMPARE(boxes.last().text.count(QStringLiteral("\r\n")), 24);
    QCOMPARE(boxes.last().icon, MessageBoxes::Icon::None);
    QCOMPARE(boxes.last().owner.data(), &dialog);
    QCOMPARE(dialog.PortNumberBox->text(), QStringLiteral("5555"));
    QVERIFY(!station.form().AutoReconnect);
}

void NetworkSetupTest::captions_fitTheirControls()
{
    Station station(QStringLiteral("127.0.0.1"));
    NetworkSetupForm dialog(station.form());
    dialog.show();
    QCOMPARE(cutCaptions(dialog), QStringList());
    // A long caption wraps inside its box rather than widening the dialog.
    QCOMPARE(dialog.width(), station.form().twipsToPixels(4605));
}

QTEST_MAIN(NetworkSetupTest)
#include "networksetup_test.moc"
