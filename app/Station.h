#pragma once
// A station without its window: the two components, the two timers and every handler,
// working on a state and a view given from outside. The main window is one view of it;
// a station run as a service has a view that only writes the status history out.
//
// The 50 ms RS232timer runs only while it has work: a lamp counting down, the Log Traffic
// flash, bytes waiting for a log, traffic not shown yet or serial input held back. It is
// started whenever the event loop is about to wait with such work pending, so a station
// whose link idles wakes only for the connection manager's tick and the peer's messages.
#include "app/StationEnvironment.h"
#include "app/StationParts.h"

#include <QObject>

#include <memory>

class QTimer;
class QWidget;
class SerialControl;
class SocketControl;
class ConnectionManager;
class NetworkReceiver;
class Loopback;
class SerialForwarder;
class SerialReconnector;
class TrafficMonitor;

class Station final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Station)

public:
    // owner: the window the boxes and dialogs belong to; none without a window.
    Station(StationState &state, StationView &view, const StationEnvironment &environment,
            QWidget *owner);
    ~Station() override;

    // Start-up up to the socket's configuration: the settings file is read and applied.
    void load();
    // The last start-up step: the connection manager begins to tick.
    void start();
    // Reads tethra.ini (who may call, the passphrase) and applies it; an error goes to the
    // history, and the station then makes no link rather than a plain one.
    void loadSecuritySettings();
    // Shutdown: settings saved, link closed; the rest follows from the event loop and ends
    // with unloaded().
    void unload();
    void finishUnload();
    bool isUnloadFinished() const { return m_unloadFinished; }
    // Reads the settings files again and applies them while running.
    void reload();

    // A stop signal asked for the shutdown: nobody may be there to answer a box.
    void markStopSignalled() { m_stopSignalled = true; }
    bool isStopSignalled() const { return m_stopSignalled; }

    StationState &state() { return m_parts->state; }
    StationParts &parts() { return *m_parts; }
    const StationEnvironment &environment() const { return m_environment; }
    ConnectionManager &connectionManager() { return *m_connectionManager; }
    NetworkReceiver &networkReceiver() { return *m_networkReceiver; }
    Loopback &loopback() { return *m_loopback; }
    SerialForwarder &serialForwarder() { return *m_serialForwarder; }
    SerialReconnector &serialReconnector() { return *m_serialReconnector; }
    TrafficMonitor &trafficMonitor() { return *m_trafficMonitor; }

    SocketControl *Socket1 = nullptr;
    SerialControl *RS232comms = nullptr;
    QTimer *RS232timer = nullptr;
    QTimer *NetworkTimer = nullptr;

Q_SIGNALS:
    void unloaded();

private:
    void connectEvents();
    bool hasQuickWork() const;
    void runQuickTimerAsNeeded();

    StationEnvironment m_environment;
    std::unique_ptr<StationParts> m_parts;
    std::unique_ptr<ConnectionManager> m_connectionManager;
    std::unique_ptr<NetworkReceiver> m_networkReceiver;
    std::unique_ptr<Loopback> m_loopback;
    std::unique_ptr<SerialReconnector> m_serialReconnector;
    std::unique_ptr<SerialForwarder> m_serialForwarder;
    std::unique_ptr<TrafficMonitor> m_trafficMonitor;
    bool m_unloaded = false;
    bool m_unloadFinished = false;
    bool m_stopSignalled = false;
};
