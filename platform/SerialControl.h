#pragma once
// The serial port of a station, over QSerialPort.
//
// Port numbers 1 to 16 name devices through a SerialPortMap. Bytes pass unchanged both
// ways (raw mode). The receive buffer is bounded: while the station stops reading (its
// network side is full), the kernel buffer fills and the device's flow control holds the
// sender back, so nothing is dropped here.
#include "platform/SerialPortMap.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

class SerialControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialControl)

public:
    static constexpr int kCommEventReceive = 2;
    static constexpr qint64 kReadBufferBound = 32768;

    explicit SerialControl(SerialPortMap portMap, QObject *parent = nullptr);
    ~SerialControl() override;

    int CommPort() const { return m_commPort; }
    void setCommPort(int port) { m_commPort = port; }
    // "9600,e,7,1": baud, parity letter (n, e, o, m, s in either case), data bits 5 to 8,
    // stop bits 1, 1.5 or 2. Read back exactly as written. Returns false (and keeps the old
    // text) for a text that is not of that form.
    QString Settings() const { return m_settings; }
    bool setSettings(const QString &settings);
    // 0 none, 1 XON/XOFF, 2 RTS/CTS.
    int Handshaking() const { return m_handshaking; }
    bool setHandshaking(int mode);

    bool PortOpen() const;
    // Opening may fail (missing device, held by another program, refused settings); the
    // port then stays closed and errorString() says why.
    bool setPortOpen(bool open);
    QString errorString() const { return m_error; }
    QString devicePath() const;

    int InBufferCount() const;
    QByteArray Input();
    void Output(const QByteArray &bytes);
    int CommEvent() const { return m_commEvent; }

    // Back-pressure: while paused, received bytes stay in the device.
    void setInputPaused(bool paused);
    const SerialPortMap &portMap() const { return m_portMap; }

Q_SIGNALS:
    void OnComm();
    // The device vanished (a USB adapter pulled, a pseudo-terminal closed); the port has
    // closed itself. Raised once per loss.
    void portLost(const QString &reason);

private:
    void applySettings();
    void onReadyRead();
    void onError();

    SerialPortMap m_portMap;
    QSerialPort *m_port = nullptr;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_handshaking = 0;
    int m_commEvent = 0;
    bool m_inputPaused = false;
    QString m_error;
};
