#pragma once
// The main window over a station: it holds all shared state and shows it, with the menus,
// the status history window and the dialogs on top. It lives for the whole run; everything
// reaches it from outside through the environment, so two stations can run side by side in
// one process.
//
// The station (app/Station) owns the components, the timers and the handlers of each
// subsystem, which work on the station's parts (StationParts: the state, this window as
// their view, the components, the network timer and the environment), never on the
// window's widgets. The form only builds the window, shows the state, wires the menus and
// adds the window's steps to start-up and shutdown.
#include "app/Station.h"
#include "app/StationEnvironment.h"
#include "app/StationParts.h"
#include "app/StationState.h"
#include "app/StationView.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include <memory>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class StatusLabel;
class StatusLogForm;
class TrafficBox;
class StatusLine;
class HelpMenu;

class MainForm final : public QMainWindow, public StationState, public StationView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)

public:
    static constexpr int kCollapsedHeightTwips = 2350;
    static constexpr int kExpandedHeightTwips = 6520;
    static constexpr int kInnerWidthTwips = 5190;

    explicit MainForm(const StationEnvironment &environment, QWidget *parent = nullptr);
    ~MainForm() override;

    // Runs start-up; the window is shown at its end.
    void Form_Load();
    // Runs shutdown once, whatever asked for it (close box, File > Exit, a signal). Its last
    // steps (socket layer released, serial port closed) follow from the event loop.
    void Form_Unload();
    // A stop signal asked for the shutdown: nobody may be there to answer a box.
    void markStopSignalled() { m_station->markStopSignalled(); }
    bool isStopSignalled() const { return m_station->isStopSignalled(); }

    // The view of the state.
    void setNetStatus(const QString &text) override;
    QString netStatus() const override;
    void recordEvent(const QString &text) override;
    void showLamp(Lamp lamp, Colour colour) override;
    void showLoopMarks(LoopMode mode) override;
    void enableCommand(Command command, bool enabled) override;
    void showSerialFrameCaption(const QString &caption) override;
    void showDestinationName(const QString &name) override;
    void appendTraffic(Traffic box, const QByteArray &bytes) override;
    void refreshTraffic() override;
    bool hasTrafficToShow() const override;
    void showExpanded(bool expanded) override;
    void showLogFlash(bool lit) override;
    void markStatusHistory(bool shown) override;

    // Window height in twips, as the traffic view sets it.
    int heightTwips() const { return m_heightTwips; }
    int twipsToPixels(int twips) const;

    const StationEnvironment &environment() const { return m_station->environment(); }
    QString title() const;

    // What the handlers and dialogs work with; a dialog opens on the station as on its parts.
    StationParts &parts() { return m_station->parts(); }
    operator StationParts &() { return m_station->parts(); }
    Station &station() { return *m_station; }

    // Components and timers, the station's.
    SocketControl *Socket1 = nullptr;
    SerialControl *RS232comms = nullptr;
    QTimer *RS232timer = nullptr;
    QTimer *NetworkTimer = nullptr;

    // Controls.
    QFrame *Line1 = nullptr;
    QGroupBox *RS232Frame = nullptr;
    QLabel *RxLED = nullptr;
    QLabel *TxLED = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QGroupBox *NETframe = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *DestinationName = nullptr;
    QLabel *Label5 = nullptr;
    StatusLabel *NetStatus = nullptr;
    QLabel *NetLED = nullptr;
    // Shown while a secure link stands.
    QLabel *SecureLock = nullptr;
    QLabel *Label7 = nullptr;
    TrafficBox *RxTextBox = nullptr;
    QLabel *Label8 = nullptr;
    QPushButton *TrafficLogButton = nullptr;
    TrafficBox *TxTextBox = nullptr;
    QPixmap GreyLED;
    QPixmap GreenLED;
    QPixmap RedLED;
    QPixmap YellowLED;

    // Menus.
    QMenu *FileMenuItem = nullptr;
    QAction *DisconnectMenuItem = nullptr;
    QAction *ReconnectMenuItem = nullptr;
    QAction *ExitMenuItem = nullptr;
    QMenu *SetupMenuItem = nullptr;
    QAction *RS232MenuItem = nullptr;
    QAction *NetworkMenuItem = nullptr;
    QAction *SecurityMenuItem = nullptr;
    QAction *ViewMenuItem = nullptr;
    QAction *DisplayStatusHistoryMenuItem = nullptr;
    QMenu *TestMenuItem = nullptr;
    QAction *LocalLoopMenuItem = nullptr;
    QAction *RemoteLoopMenuItem = nullptr;
    QAction *SendTestMenuItem = nullptr;
    QMenu *HelpMenuItem = nullptr;
    QAction *TipsMenuItem = nullptr;
    QAction *VisitMenuItem = nullptr;
    QAction *AboutMenuItem = nullptr;

    StatusLogForm *statusLogForm() const { return m_statusLogForm; }
    ConnectionManager &connectionManager() { return m_station->connectionManager(); }
    NetworkReceiver &networkReceiver() { return m_station->networkReceiver(); }
    Loopback &loopback() { return m_station->loopback(); }
    SerialForwarder &serialForwarder() { return m_station->serialForwarder(); }
    SerialReconnector &serialReconnector() { return m_station->serialReconnector(); }
    TrafficMonitor &trafficMonitor() { return m_station->trafficMonitor(); }
    StatusLine &statusLine() { return *m_statusLine; }

    // Menu and button handlers that open the setup dialogs.
    void RS232MenuItem_Click();
    void NetworkMenuItem_Click();
    void SecurityMenuItem_Click();
    void TrafficLogButton_Click();
    void ExitMenuItem_Click();
    void FileMenuItem_Click();

Q_SIGNALS:
    // The window has closed for good, after the last bytes of the link have drained.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void unloadFinished();
    void buildControls();
    void buildMenus();
    void connectEvents();
    void setHeightTwips(int twips);
    void showSecureLock();
    QWidget *placed(QWidget *widget, int left, int top, int width, int height);

    std::unique_ptr<Station> m_station;
    QWidget *m_client = nullptr;
    StatusLogForm *m_statusLogForm = nullptr;
    std::unique_ptr<StatusLine> m_statusLine;
    std::unique_ptr<HelpMenu> m_helpMenu;
    int m_heightTwips = kCollapsedHeightTwips;
    // The window was asked to close while the shutdown or a drain was still running.
    bool m_closing = false;
};
