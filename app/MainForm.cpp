#include "app/MainForm.h"

#include "app/ProgramIcon.h"
#include "app/TwipsPlacement.h"
#include "dialogs/NetworkSetupForm.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/SecuritySetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "help/HelpMenu.h"
#include "link/ConnectionManager.h"
#include "link/Loopback.h"
#include "monitor/Lamps.h"
#include "monitor/Padlock.h"
#include "monitor/StatusLabel.h"
#include "monitor/StatusLine.h"
#include "monitor/StatusLogForm.h"
#include "monitor/TrafficBox.h"
#include "monitor/TrafficMonitor.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

namespace
{
// The window's height in twips counts its caption, borders and menu bar; the controls sit
// in the rest. At the design size that part is 655 twips.
constexpr int kNonClientTwips = 655;
constexpr int kDesignFontPoints = 8;
} // namespace

MainForm::MainForm(const StationEnvironment &environment, QWidget *parent) : QMainWindow(parent)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // The dialogs, boxes and the history window the station owns take their icon from here.
    setWindowIcon(ProgramIcon::icon());
    // The layout's sizes were designed for an 8 point dialog font.
    QFont designFont = font();
    designFont.setPointSize(kDesignFontPoints);
    setFont(designFont);

    m_station = std::make_unique<Station>(*this, *this, environment, this);
    Socket1 = m_station->Socket1;
    RS232comms = m_station->RS232comms;
    RS232timer = m_station->RS232timer;
    NetworkTimer = m_station->NetworkTimer;

    buildControls();
    buildMenus();

    m_statusLogForm = new StatusLogForm(*this, *environment.printing);
    m_statusLine = std::make_unique<StatusLine>(parts(), *m_statusLogForm);
    m_helpMenu = std::make_unique<HelpMenu>(parts());
    connectEvents();
}

MainForm::~MainForm()
{
    Form_Unload();
    m_station->finishUnload();
    delete m_statusLogForm;
}

QString MainForm::title() const
{
    return QStringLiteral("Tethra v%1.%2%3")
        .arg(TETHRA_VERSION_MAJOR)
        .arg(TETHRA_VERSION_MINOR)
        .arg(TETHRA_VERSION_PATCH);
}

int MainForm::twipsToPixels(int twips) const
{
    return TwipsPlacement::toPixels(*this, twips);
}

QWidget *MainForm::placed(QWidget *widget, int left, int top, int width, int height)
{
    TwipsPlacement::place(*this, widget, left, top, width, height);
    return widget;
}

void MainForm::buildControls()
{
    m_client = new QWidget(this);
    setCentralWidget(m_client);

    Line1 = new QFrame(m_client);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    placed(Line1, 0, 0, 5160, 30);

    RS232Frame = new QGroupBox(QStringLiteral("RS232 Disabled"), m_client);
    placed(RS232Frame, 120, 120, 2175, 1455);
    RxLED = new QLabel(RS232Frame);
    placed(RxLED, 360, 480, 375, 375);
    Label1 = new QLabel(QStringLiteral("Receive Data"), RS232Frame);
    placed(Label1, 700, 500, 1395, 255);
    TxLED = new QLabel(RS232Frame);
    placed(TxLED, 360, 960, 375, 375);
    Label2 = new QLabel(QStringLiteral("Transmit Data"), RS232Frame);
    placed(Label2, 700, 980, 1395, 255);

    NETframe = new QGroupBox(QStringLiteral("Net Destination"), m_client);
    placed(NETframe, 2520, 120, 2535, 1455);
    Label3 = new QLabel(QStringLiteral("Name/IP:"), NETframe);
    placed(Label3, 120, 360, 735, 255);
    DestinationName = new QLabel(NETframe);
    placed(DestinationName, 960, 360, 1455, 255);
    Label5 = new QLabel(QStringLiteral("Status:"), NETframe);
    placed(Label5, 120, 720, 735, 255);
    NetStatus = new StatusLabel(NETframe);
    placed(NetStatus, 960, 720, 1455, 615);
    NetStatus->setToolTip(QStringLiteral("Double-Click for History"));
    NetStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    NetStatus->setWordWrap(true);
    NetLED = new QLabel(NETframe);
    placed(NetLED, 480, 960, 375, 375);
    SecureLock = new QLabel(NETframe);
    placed(SecureLock, 120, 990, 315, 315);
    SecureLock->setAlignment(Qt::AlignCenter);
    SecureLock->hide();

    Label7 = new QLabel(QStringLiteral("RS-232 Receive Data"), m_client);
    placed(Label7, 120, 1800, 1935, 255);
    RxTextBox = new TrafficBox(m_client);
    placed(RxTextBox, 120, 2040, 4935, 1695);
    Label8 = new QLabel(QStringLiteral("RS-232 Transmit Data"), m_client);
    placed(Label8, 120, 3840, 1935, 255);
    TrafficLogButton = new QPushButton(QStringLiteral("Log Traffic"), m_client);
    TrafficLogButton->setAutoFillBackground(true);
    placed(TrafficLogButton, 3840, 3780, 1215, 255);
    TxTextBox = new TrafficBox(m_client);
    placed(TxTextBox, 120, 4080, 4935, 1695);

    const int lampPixels = 16;
    GreyLED = Lamps::picture(QColor(0x90, 0x90, 0x90), lampPixels);
    GreenLED = Lamps::picture(QColor(0x00, 0xc0, 0x00), lampPixels);
    RedLED = Lamps::picture(QColor(0xe0, 0x00, 0x00), lampPixels);
    YellowLED = Lamps::picture(QColor(0xff, 0xe0, 0x00), lampPixels);
    for (QLabel *lamp : {RxLED, TxLED, NetLED})
        lamp->setAlignment(Qt::AlignCenter);
    SecureLock->setPixmap(Padlock::picture(lampPixels));

    setHeightTwips(kCollapsedHeightTwips);
}

void MainForm::buildMenus()
{
    QMenuBar *bar = menuBar();
    FileMenuItem = bar->addMenu(QStringLiteral("&File"));
    DisconnectMenuItem = FileMenuItem->addAction(QStringLiteral("&Disconnect"));
    DisconnectMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    ReconnectMenuItem = FileMenuItem->addAction(QStringLiteral("&Reconnect"));
    ReconnectMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    FileMenuItem->addSeparator();
    ExitMenuItem = FileMenuItem->addAction(QStringLiteral("E&xit"));
    ExitMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    SetupMenuItem = bar->addMenu(QStringLiteral("&Setup"));
    RS232MenuItem = SetupMenuItem->addAction(QStringLiteral("&RS-232 Comm Port"));
    RS232MenuItem->setShortcut(QKeySequence(Qt::Key_F2));
    NetworkMenuItem = SetupMenuItem->addAction(QStringLiteral("&Network Comms"));
    NetworkMenuItem->setShortcut(QKeySequence(Qt::Key_F3));
    SecurityMenuItem = SetupMenuItem->addAction(QStringLiteral("S&ecurity..."));
    SetupMenuItem->addSeparator();
    ViewMenuItem = SetupMenuItem->addAction(QStringLiteral("&View Traffic"));
    ViewMenuItem->setShortcut(QKeySequence(Qt::Key_F4));
    ViewMenuItem->setCheckable(true);
    DisplayStatusHistoryMenuItem =
        SetupMenuItem->addAction(QStringLiteral("&Display Status History"));
    DisplayStatusHistoryMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    DisplayStatusHistoryMenuItem->setCheckable(true);

    TestMenuItem = bar->addMenu(QStringLiteral("&Test"));
    LocalLoopMenuItem = TestMenuItem->addAction(QStringLiteral("&Local Loopback"));
    LocalLoopMenuItem->setShortcut(QKeySequence(Qt::Key_F5));
    LocalLoopMenuItem->setCheckable(true);
    RemoteLoopMenuItem = TestMenuItem->addAction(QStringLiteral("&Remote Loopback"));
    RemoteLoopMenuItem->setShortcut(QKeySequence(Qt::Key_F6));
    RemoteLoopMenuItem->setCheckable(true);
    TestMenuItem->addSeparator();
    SendTestMenuItem = TestMenuItem->addAction(QStringLiteral("&Send Test Message"));
    SendTestMenuItem->setShortcut(QKeySequence(Qt::Key_F7));

    HelpMenuItem = bar->addMenu(QStringLiteral("&Help"));
    TipsMenuItem = HelpMenuItem->addAction(QStringLiteral("&Tips"));
    TipsMenuItem->setShortcut(QKeySequence(Qt::Key_F1));
    VisitMenuItem = HelpMenuItem->addAction(QStringLiteral("&Visit Orrindale"));
    VisitMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F1));
    AboutMenuItem = HelpMenuItem->addAction(QStringLiteral("&About"));

    // A check item toggles its own mark when triggered; the handlers own the marks instead.
    for (QAction *item :
         {ViewMenuItem, DisplayStatusHistoryMenuItem, LocalLoopMenuItem, RemoteLoopMenuItem})
        item->setCheckable(true);
}

void MainForm::connectEvents()
{
    // Handlers set the check marks themselves, so a trigger first undoes Qt's own toggle.
    const auto onTrigger = [this](QAction *item, auto handler) {
        connect(item, &QAction::triggered, this, [item, handler]() {
            if (item->isCheckable())
                item->setChecked(!item->isChecked());
            handler();
        });
    };
    onTrigger(DisconnectMenuItem, [this] { connectionManager().DisconnectMenuItem_Click(); });
    onTrigger(ReconnectMenuItem, [this] { connectionManager().ReconnectMenuItem_Click(); });
    onTrigger(ExitMenuItem, [this] { ExitMenuItem_Click(); });
    onTrigger(RS232MenuItem, [this] { RS232MenuItem_Click(); });
    onTrigger(NetworkMenuItem, [this] { NetworkMenuItem_Click(); });
    onTrigger(SecurityMenuItem, [this] { SecurityMenuItem_Click(); });
    onTrigger(ViewMenuItem, [this] { trafficMonitor().ViewMenuItem_Click(); });
    onTrigger(DisplayStatusHistoryMenuItem,
              [this] { m_statusLine->DisplayStatusHistoryMenuItem_Click(); });
    onTrigger(LocalLoopMenuItem, [this] { loopback().LocalLoopMenuItem_Click(); });
    onTrigger(RemoteLoopMenuItem, [this] { loopback().RemoteLoopMenuItem_Click(); });
    onTrigger(SendTestMenuItem, [this] { loopback().SendTestMenuItem_Click(); });
    onTrigger(TipsMenuItem, [this] { m_helpMenu->TipsMenuItem_Click(); });
    onTrigger(VisitMenuItem, [this] { m_helpMenu->VisitMenuItem_Click(); });
    onTrigger(AboutMenuItem, [this] { m_helpMenu->AboutMenuItem_Click(); });
    connect(FileMenuItem, &QMenu::aboutToShow, this, &MainForm::FileMenuItem_Click);
    // Ctrl+D and Ctrl+R work while the menu is closed: its items follow the link at once.
    connect(Socket1, &SocketControl::stateChanged, this, &MainForm::FileMenuItem_Click);
    connect(Socket1, &SocketControl::stateChanged, this, &MainForm::showSecureLock);
    connect(Socket1, &SocketControl::secured, this, &MainForm::showSecureLock);
    FileMenuItem_Click();
    connect(TrafficLogButton, &QPushButton::clicked, this, &MainForm::TrafficLogButton_Click);
    connect(NetStatus, &StatusLabel::doubleClicked, this,
            [this] { m_statusLine->NetStatus_DblClick(); });

    connect(Socket1, &SocketControl::drained, this, [this] {
        if (m_station->isUnloadFinished() && m_closing)
            close();
    });
    connect(m_station.get(), &Station::unloaded, this, &MainForm::unloadFinished);
}

void MainForm::Form_Load()
{
    setWindowTitle(title());
    setHeightTwips(kCollapsedHeightTwips);
    m_station->load();
    show();
    m_station->start();
}

void MainForm::Form_Unload()
{
    m_statusLogForm->allowClose();
    m_statusLogForm->hide();
    m_station->unload();
}

void MainForm::unloadFinished()
{
    m_statusLogForm->hide();
    if (m_closing)
        close();
}

void MainForm::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    // Until the shutdown has run to its end, and while the peer is still taking the last
    // bytes of the closed connection (bounded in time), the window is gone but the program
    // is not. A hidden window's close does not count as the last window closing, hence
    // closed().
    if (!m_station->isUnloadFinished() || Socket1->isDraining()) {
        m_closing = true;
        hide();
        event->ignore();
        return;
    }
    event->accept();
    Q_EMIT closed();
}

void MainForm::changeEvent(QEvent *event)
{
    // Restored from minimized: the status shown in the title gives way to the normal title.
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        setWindowTitle(title());
    QMainWindow::changeEvent(event);
}

void MainForm::ExitMenuItem_Click()
{
    close();
}

void MainForm::FileMenuItem_Click()
{
    const bool connected = Socket1->IsConnected();
    ReconnectMenuItem->setEnabled(!connected);
    DisconnectMenuItem->setEnabled(connected);
}

void MainForm::showSecureLock()
{
    SecureLock->setVisible(Socket1->isSecured());
    SecureLock->setToolTip(QStringLiteral("Secure link: ") + Socket1->securityDescription());
}

void MainForm::setHeightTwips(int twips)
{
    m_heightTwips = twips;
    m_client->setFixedSize(twipsToPixels(kInnerWidthTwips), twipsToPixels(twips - kNonClientTwips));
    setFixedSize(sizeHint());
}

void MainForm::setNetStatus(const QString &text)
{
    if (text == StatusText)
        return;
    StatusText = text;
    NetStatus->setText(text);
    if (isMinimized())
        setWindowTitle(QStringLiteral(" ") + text);
    m_statusLine->NetStatus_Change();
}

QString MainForm::netStatus() const
{
    return StatusText;
}

void MainForm::recordEvent(const QString &text)
{
    m_statusLine->recordEvent(text);
}

void MainForm::showLamp(Lamp lamp, Colour colour)
{
    QLabel *const lamps[] = {RxLED, TxLED, NetLED};
    const QPixmap *const pictures[] = {&GreyLED, &GreenLED, &RedLED, &YellowLED};
    Lamps::show(lamps[int(lamp)], *pictures[int(colour)]);
}

void MainForm::showLoopMarks(LoopMode mode)
{
    LocalLoopMenuItem->setChecked(mode == LoopMode::Local);
    RemoteLoopMenuItem->setChecked(mode == LoopMode::Remote);
}

void MainForm::enableCommand(Command command, bool enabled)
{
    QAction *const items[] = {LocalLoopMenuItem, RemoteLoopMenuItem, SendTestMenuItem};
    items[int(command)]->setEnabled(enabled);
}

void MainForm::showSerialFrameCaption(const QString &caption)
{
    RS232Frame->setTitle(caption);
}

void MainForm::showDestinationName(const QString &name)
{
    DestinationName->setText(name);
}

void MainForm::appendTraffic(Traffic box, const QByteArray &bytes)
{
    (box == Traffic::Received ? RxTextBox : TxTextBox)->appendChunk(bytes);
}

void MainForm::refreshTraffic()
{
    RxTextBox->refresh();
    TxTextBox->refresh();
}

bool MainForm::hasTrafficToShow() const
{
    return RxTextBox->hasPending() || TxTextBox->hasPending();
}

void MainForm::showExpanded(bool expanded)
{
    ViewMenuItem->setChecked(expanded);
    setHeightTwips(expanded ? kExpandedHeightTwips : kCollapsedHeightTwips);
    if (expanded) {
        RxTextBox->clearTraffic();
        TxTextBox->clearTraffic();
    }
}

void MainForm::showLogFlash(bool lit)
{
    // Red and green full, blue none.
    static const QColor flash(0xff, 0xff, 0x00);
    QPalette colours = TrafficLogButton->palette();
    colours.setColor(QPalette::Button, lit ? flash : palette().color(QPalette::Button));
    TrafficLogButton->setPalette(colours);
}

void MainForm::markStatusHistory(bool shown)
{
    DisplayStatusHistoryMenuItem->setChecked(shown);
}

void MainForm::RS232MenuItem_Click()
{
    RS232SetupForm dialog(parts());
    serialReconnector().setPaused(true);
    // Confirmed, the dialog's port (or "None") is the user's choice; cancelled, a port that
    // was being waited for is still waited for.
    if (dialog.exec() == QDialog::Accepted)
        serialReconnector().forget();
    serialReconnector().setPaused(false);
    parts().showSerialFrameCaption();
}

void MainForm::NetworkMenuItem_Click()
{
    NetworkSetupForm dialog(parts());
    dialog.exec();
}

void MainForm::SecurityMenuItem_Click()
{
    SecuritySetupForm dialog(parts());
    dialog.exec();
}

void MainForm::TrafficLogButton_Click()
{
    TrafficLogSetupForm dialog(parts(), this);
    dialog.exec();
}
