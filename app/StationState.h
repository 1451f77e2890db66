#pragma once
// The state a station's handlers share, with no widget in it. The window shows it; nothing
// reads it back from a control.
#include "app/SecuritySettings.h"

#include <QByteArray>
#include <QString>

// Which end mirrors the traffic, as the Test menu's check marks show it.
enum class LoopMode { Normal, Local, Remote };

struct StationState {
    static constexpr int kDefaultPort = 9801;
    // NetworkTimer ticks this fast while calling and waiting in fast mode, else slowly.
    static constexpr int kFastIntervalMs = 100;
    static constexpr int kSlowIntervalMs = 1000;
    static constexpr int kRs232TimerMs = 50;
    static constexpr const char *kFastTag = "FAST";
    static constexpr const char *kSlowTag = "SLOW";
    // RS232timer ticks for which a lamp shows activity.
    static constexpr int kLampTicks = 3;

    int Ack_Retries = 0;
    int Port_Number = kDefaultPort;
    int RxLEDtimeout = 0;
    int TxLEDtimeout = 0;
    bool AutoReconnect = true;
    bool RunInServerMode = false;
    bool AutoResolveHostName = false;
    QString RxLogFile;
    QString TxLogFile;

    int LogFlashCount = 0;
    bool LoopSyncPending = false;
    QByteArray PacketDelim;
    QByteArray NetRxBuffer;
    QByteArray RxLogBuffer;
    QByteArray TxLogBuffer;

    // The status line's text, as last set, and the remote host as the window shows it.
    QString StatusText;
    QString DestinationText;
    LoopMode loopMode = LoopMode::Normal;
    bool ViewTraffic = false;
    // "FAST" or "SLOW": whether calling and waiting tick at the fast interval.
    QString NetworkTimerTag = QString::fromLatin1(kFastTag);
    // Who may call, and the secure link's passphrase (tethra.ini).
    SecuritySettings security;

    void flashRxLed() { RxLEDtimeout = kLampTicks; }
    void flashTxLed() { TxLEDtimeout = kLampTicks; }
};
