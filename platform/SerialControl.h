#pragma once
// The serial port of a station, over QSerialPort.
//
// Port numbers 1 to 16 name devices through a SerialPortMap. Bytes pass unchanged both
// ways (raw mode). The receive buffer is bounded: while the station stops reading (its
// network side is full), the kernel buffer fills and the device's flow control holds the
// sender back, so nothing is dropped here. Input takes what has been received and, while
// the device hands out full reads, reads on up to kInputBound: a tty gives at most 4 KB per
// read, and a busy device would otherwise cost an event-loop pass per 4 KB.
//
// Output writes to the device at once and queues, in order, what it does not take yet (a
// full device, or one held back by its flow control); a write error drops the queue and
// is reported in errorString(), or as portLost when the device has gone. Callers hold back
// well before the queue's bound; should output reach it anyway, what does not fit is
// dropped and an overflow reported once: when the first bytes go and, with their count,
// when the queue has drained or the port closes.
//
// Devices that keep their own line settings: the settings text is a request to the device.
// A device that takes the request without error but keeps a line format of its own (a
// pseudo-terminal always runs 8 data bits without parity; some virtual and network ports
// ignore the baud rate) is used as it is: the open succeeds, the bytes flow, and Settings
// still reads back the text as written. Only a device that refuses a setting with an
// error fails the open.
//
// The port is held exclusively: besides QSerialPort's own locking, the open descriptor
// carries an advisory lock (flock), which other serial programs honour and which a second
// open inside this process also meets.
#include "platform/SerialPortMap.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;
class QSocketNotifier;

class SerialControl final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialControl)

public:
    static constexpr int kCommEventReceive = 2;
    static constexpr qint64 kReadBufferBound = 32768;
    // A tty's line discipline holds 4096 bytes; a read of at least kFullTtyRead took all it
    // held, and more may be waiting behind it.
    static constexpr qsizetype kTtyBufferSize = 4096;
    static constexpr qsizetype kFullTtyRead = 4000;
    // Input returns at most about this much (a single data message holds it whole).
    static constexpr qsizetype kInputBound = 28 * 1024;
    // Output beyond this many untransmitted bytes is dropped (a device held back by its
    // flow control must not grow the queue without end).
    static constexpr qint64 kWriteBufferBound = 1024 * 1024;

    explicit SerialControl(SerialPortMap portMap, QObject *parent = nullptr);
    ~SerialControl() override;

    int CommPort() const { return m_commPort; }
    void setCommPort(int port) { m_commPort = port; }
    // "9600,e,7,1": baud, parity letter (n, e, o, m, s in either case), data bits 5 to 8,
    // stop bits 1, 1.5 or 2. Read back exactly as written. Returns false (and keeps the old
    // text) for a text that is not of that form. On an open port the settings apply at
    // once; a device refusing them also returns false, with errorString() saying why.
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
    int OutBufferCount() const;
    QByteArray Input();
    void Output(const QByteArray &bytes);
    int CommEvent() const { return m_commEvent; }

    // Back-pressure: while paused, received bytes stay in the device.
    void setInputPaused(bool paused);
    bool inputPaused() const { return m_inputPaused; }
    const SerialPortMap &portMap() const { return m_portMap; }

Q_SIGNALS:
    void OnComm();
    // The device vanished (a USB adapter pulled, a pseudo-terminal closed); the port has
    // closed itself. Raised once per loss.
    void portLost(const QString &reason);
    // Queued output went to the device: OutBufferCount has fallen.
    void bytesWritten();
    // Output at the queue's bound began to drop bytes.
    void outputOverflowStarted();
    // The overflow is over (the queue drained, or the port closed); this many bytes went.
    void outputOverflowEnded(qint64 droppedBytes);

private:
    bool applySettings();
    bool openFailed(const QString &reason);
    void onReadyRead();
    void onError();
    bool deviceHungUp() const;
    void deviceLost(const QString &reason);
    void onWritable();
    void writeFailed(int code);
    void dropWriteQueue();
    void endOverflow();
    void closePort();

    SerialPortMap m_portMap;
    QSerialPort *m_port = nullptr;
    // Bytes the device has not taken yet, in order; written as it takes them.
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_writeQueue;
    qsizetype m_writeOffset = 0;
    // Bytes dropped since the queue last reached its bound.
    qint64 m_droppedBytes = 0;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_handshaking = 0;
    int m_commEvent = 0;
    bool m_inputPaused = false;
    // Within QSerialPort's readyRead: its notifier has been served for this event-loop
    // pass, so reading the device here cannot leave it to find the device drained.
    bool m_deviceReported = false;
    bool m_lost = false;
    bool m_applying = false;
    QString m_openPath;
    QString m_error;
};
