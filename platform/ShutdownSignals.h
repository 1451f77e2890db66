#pragma once
// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, logout) become a Qt signal on the GUI thread,
// so the station shuts down in order and saves its settings. A station run as a service has
// no terminal to lose: there SIGHUP asks it to read its settings again. The C handler only
// writes one byte to a pipe; everything else happens in the event loop.
#include <QObject>

class QSocketNotifier;

class ShutdownSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShutdownSignals)

public:
    enum class HangUp { Stops, Reloads };
    explicit ShutdownSignals(HangUp hangUp = HangUp::Stops, QObject *parent = nullptr);
    ~ShutdownSignals() override;

Q_SIGNALS:
    void shutdownRequested(int signalNumber);
    void reloadRequested();

private:
    void onPipeReadable();

    QSocketNotifier *m_notifier = nullptr;
    HangUp m_hangUp;
};
