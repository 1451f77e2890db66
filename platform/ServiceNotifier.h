#pragma once
// Tells the service manager how a station run as a service is doing (systemd's notify
// protocol, through libsystemd): ready once started, stopping when asked to end, and, when
// the unit asks for a watchdog, alive at half its interval. The pings come from a timer of
// the event loop, so a station whose loop hangs stops pinging and is restarted. Outside a
// service (no NOTIFY_SOCKET) every call does nothing.
#include <QObject>
#include <QTimer>

class ServiceNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServiceNotifier)

public:
    explicit ServiceNotifier(QObject *parent = nullptr);

    void ready();
    void stopping();

private:
    QTimer m_watchdog;
};
