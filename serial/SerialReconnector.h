#pragma once
// Brings back a serial port whose device went away, without the user's help.
//
// Principles of operation
// - A port is expected while the station means it to be open but it is not: its device
//   vanished (a USB adapter pulled), or it was absent when the settings file named it at
//   start. While a port is expected, the same port number with the same settings is tried
//   again once a second; the first open that succeeds ends the waiting, and the frame caption
//   and lamps come back.
// - Nothing is looked up between tries: each open resolves the port's com<n> link afresh, so
//   a link to a /dev/serial/by-id/ name follows the adapter to whatever ttyUSB number it gets
//   when it is plugged in again.
// - A port the user set in the RS-232 dialog, or closed there with "None", is the user's
//   choice and is never reopened behind their back. While the dialog is open no try is made,
//   so the dialog's own probing and opening are not disturbed.
#include <QObject>
#include <QTimer>

#include <chrono>

struct StationParts;

class SerialReconnector final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialReconnector)

public:
    static constexpr std::chrono::milliseconds kRetryInterval{1000};

    explicit SerialReconnector(StationParts &station);

    // The port named by the serial component should be open; keeps trying until it is.
    void expectPort();
    // The user's choice stands: nothing is reopened.
    void forget();
    // While paused (the RS-232 dialog is open) no try is made.
    void setPaused(bool paused);
    bool isExpecting() const { return m_expecting; }
    int tries() const { return m_tries; }

private:
    void retry();

    StationParts &m_station;
    QTimer m_timer;
    bool m_expecting = false;
    bool m_paused = false;
    int m_tries = 0;
};
