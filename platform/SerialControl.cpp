#include "platform/SerialControl.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSerialPort>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{

struct LineSettings {
    qint32 baudRate = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

std::optional<LineSettings> parseSettings(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{1,9}),([nNeEoOmMsS]),([5-8]),(1|1\\.5|2)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;

    LineSettings result;
    result.baudRate = match.captured(1).toInt();
    if (result.baudRate <= 0)
        return std::nullopt;
    switch (match.captured(2).at(0).toLower().toLatin1()) {
    case 'e':
        result.parity = QSerialPort::EvenParity;
        break;
    case 'o':
        result.parity = QSerialPort::OddParity;
        break;
    case 'm':
        result.parity = QSerialPort::MarkParity;
        break;
    case 's':
        result.parity = QSerialPort::SpaceParity;
        break;
    default:
        result.parity = QSerialPort::NoParity;
        break;
    }
    result.dataBits = static_cast<QSerialPort::DataBits>(match.captured(3).toInt());
    const QString stop = match.captured(4);
    // termios has no 1.5 stop bits; a UART asked for two stop bits with five data bits
    // sends one and a half, which is the only combination where 1.5 is defined.
    result.stopBits = stop == QLatin1String("1") ? QSerialPort::OneStop : QSerialPort::TwoStop;
    return result;
}

QSerialPort::FlowControl flowControlFor(int mode)
{
    switch (mode) {
    case 1:
        return QSerialPort::SoftwareControl;
    case 2:
        return QSerialPort::HardwareControl;
    default:
        return QSerialPort::NoFlowControl;
    }
}

QString portName(int port)
{
    return QStringLiteral("Com%1").arg(port);
}

QString inUse()
{
    return QStringLiteral("the port is in use by another program");
}

// Two paths to one device (a com link and the device itself) must meet the same locks.
QString resolvedDevice(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

bool deviceWouldBlock(int code)
{
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
}

} // namespace

SerialControl::SerialControl(SerialPortMap portMap, QObject *parent)
    : QObject(parent), m_portMap(std::move(portMap)), m_port(new QSerialPort(this))
{
    m_port->setReadBufferSize(kReadBufferBound);
    connect(m_port, &QSerialPort::readyRead, this, [this] {
        const QScopedValueRollback<bool> reported(m_deviceReported, true);
        onReadyRead();
    });
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialControl::onError);
}

SerialControl::~SerialControl()
{
    closePort();
}

bool SerialControl::setSettings(const QString &settings)
{
    if (!parseSettings(settings)) {
        m_error = QStringLiteral("\"%1\" is not a valid settings text").arg(settings);
        return false;
    }
    m_settings = settings;
    return !m_port->isOpen() || applySettings();
}

bool SerialControl::setHandshaking(int mode)
{
    if (mode < 0 || mode > 2) {
        m_error = QStringLiteral("%1 is not a valid flow control").arg(mode);
        return false;
    }
    m_handshaking = mode;
    return !m_port->isOpen() || applySettings();
}

bool SerialControl::PortOpen() const
{
    return m_port->isOpen();
}

bool SerialControl::setPortOpen(bool open)
{
    if (!open) {
        endOverflow();
        closePort();
        return true;
    }
    if (m_port->isOpen())
        return true;

    if (m_commPort < SerialPortMap::kFirstPort || m_commPort > SerialPortMap::kLastPort) {
        m_error = QStringLiteral("%1 is not a valid port").arg(portName(m_commPort));
        return false;
    }
    m_openPath = m_portMap.devicePath(m_commPort);
    const QString device = resolvedDevice(m_openPath);
    m_port->setPortName(device);
    if (!m_port->open(QIODevice::ReadWrite)) {
        const bool locked = m_port->error() == QSerialPort::PermissionError &&
                            ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
        const QString reason = locked ? inUse() : m_port->errorString();
        m_port->clearError();
        return openFailed(reason);
    }
    if (::flock(static_cast<int>(m_port->handle()), LOCK_EX | LOCK_NB) < 0) {
        const int code = errno;
        m_port->close();
        return openFailed(code == EWOULDBLOCK ? inUse()
                                              : QString::fromLocal8Bit(std::strerror(code)));
    }
    if (!applySettings()) {
        const QString reason = m_error;
        m_port->close();
        m_error = reason;
        return false;
    }
    // Writing is ours, not QSerialPort's: its queue would wait an event-loop pass before
    // every write, and it takes a full device (EAGAIN) for a write error.
    m_writeNotifier =
        new QSocketNotifier(static_cast<int>(m_port->handle()), QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SerialControl::onWritable);
    m_lost = false;
    m_commEvent = 0;
    m_error.clear();
    return true;
}

QString SerialControl::devicePath() const
{
    return m_portMap.devicePath(m_commPort);
}

int SerialControl::InBufferCount() const
{
    return m_port->isOpen() ? static_cast<int>(m_port->bytesAvailable()) : 0;
}

int SerialControl::OutBufferCount() const
{
    return static_cast<int>(m_writeQueue.size() - m_writeOffset);
}

QByteArray SerialControl::Input()
{
    if (!m_port->isOpen())
        return {};
    QByteArray bytes = m_port->readAll();
    if (!m_deviceReported)
        return bytes;
    // A tty hands out at most one line-discipline buffer (4 KB) per read, so a busy device
    // would cost an event-loop pass per 4 KB. While reads come back full, read on here.
    // Only while QSerialPort reports the device readable: its own notifier has then been
    // served for this pass and cannot find the device drained under it.
    const int fd = static_cast<int>(m_port->handle());
    qsizetype last = bytes.size();
    while (last >= kFullTtyRead && bytes.size() + kTtyBufferSize <= kInputBound) {
        const qsizetype held = bytes.size();
        bytes.resize(held + kTtyBufferSize);
        const ssize_t n = ::read(fd, bytes.data() + held, kTtyBufferSize);
        last = qMax<ssize_t>(n, 0);
        bytes.resize(held + last);
    }
    return bytes;
}

void SerialControl::Output(const QByteArray &bytes)
{
    if (!m_port->isOpen() || bytes.isEmpty())
        return;
    if (OutBufferCount() + bytes.size() > kWriteBufferBound) {
        m_error = QStringLiteral("%1: transmit buffer full, %2 bytes dropped")
                      .arg(m_openPath)
                      .arg(bytes.size());
        const bool started = m_droppedBytes == 0;
        m_droppedBytes += bytes.size();
        if (started)
            Q_EMIT outputOverflowStarted();
        return;
    }
    qsizetype written = 0;
    if (OutBufferCount() == 0) {
        // Straight to the device: a queue would cost an event-loop pass per write.
        const ssize_t n = ::write(static_cast<int>(m_port->handle()), bytes.constData(),
                                  static_cast<size_t>(bytes.size()));
        if (n < 0 && !deviceWouldBlock(errno)) {
            writeFailed(errno);
            return;
        }
        written = qMax<ssize_t>(n, 0);
    }
    if (written == bytes.size())
        return;
    if (m_writeOffset > m_writeQueue.size() / 2) {
        m_writeQueue.remove(0, m_writeOffset);
        m_writeOffset = 0;
    }
    m_writeQueue.append(bytes.constData() + written, bytes.size() - written);
    m_writeNotifier->setEnabled(true);
}

void SerialControl::onWritable()
{
    const ssize_t n =
        ::write(static_cast<int>(m_port->handle()), m_writeQueue.constData() + m_writeOffset,
                static_cast<size_t>(m_writeQueue.size() - m_writeOffset));
    if (n < 0) {
        if (!deviceWouldBlock(errno))
            writeFailed(errno);
        return;
    }
    m_writeOffset += n;
    if (m_writeOffset == m_writeQueue.size()) {
        m_writeQueue.clear();
        m_writeOffset = 0;
        m_writeNotifier->setEnabled(false);
        endOverflow();
    }
    Q_EMIT bytesWritten();
}

void SerialControl::endOverflow()
{
    if (m_droppedBytes == 0)
        return;
    const qint64 dropped = m_droppedBytes;
    m_droppedBytes = 0;
    Q_EMIT outputOverflowEnded(dropped);
}

void SerialControl::writeFailed(int code)
{
    const QString reason =
        QStringLiteral("%1: %2").arg(m_openPath, QString::fromLocal8Bit(std::strerror(code)));
    dropWriteQueue();
    m_error = reason;
    endOverflow();
    if (deviceHungUp())
        deviceLost(reason);
}

void SerialControl::dropWriteQueue()
{
    m_writeQueue.clear();
    m_writeOffset = 0;
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}

void SerialControl::closePort()
{
    dropWriteQueue();
    // Later: this may run inside the notifier's own signal (a write that found the device
    // gone).
    if (m_writeNotifier)
        m_writeNotifier->deleteLater();
    m_writeNotifier = nullptr;
    if (m_port->isOpen())
        m_port->close();
}

void SerialControl::setInputPaused(bool paused)
{
    if (paused == m_inputPaused)
        return;
    m_inputPaused = paused;
    if (paused) {
        // QSerialPort stops reading the device once its buffer holds its bound, so
        // shrinking the bound to what is held now leaves everything else in the kernel.
        m_port->setReadBufferSize(qMax<qint64>(1, m_port->bytesAvailable()));
        return;
    }
    m_port->setReadBufferSize(kReadBufferBound);
    if (m_port->isOpen() && m_port->bytesAvailable() > 0) {
        QMetaObject::invokeMethod(this, &SerialControl::onReadyRead, Qt::QueuedConnection);
    }
}

bool SerialControl::applySettings()
{
    const std::optional<LineSettings> line = parseSettings(m_settings);
    if (!line) {
        m_error = QStringLiteral("\"%1\" is not a valid settings text").arg(m_settings);
        return false;
    }
    // A device that keeps its own line format makes QSerialPort's setters fail either
    // without an error or with "unsupported operation" (a pseudo-terminal does both). Such
    // a device is used as it is; any other error is a refusal.
    const auto taken = [this](bool applied) {
        const QSerialPort::SerialPortError error = m_port->error();
        if (!applied && error != QSerialPort::NoError &&
            error != QSerialPort::UnsupportedOperationError)
            return false;
        m_port->clearError();
        return true;
    };
    m_applying = true;
    const bool applied =
        taken(m_port->setBaudRate(line->baudRate)) && taken(m_port->setDataBits(line->dataBits)) &&
        taken(m_port->setParity(line->parity)) && taken(m_port->setStopBits(line->stopBits)) &&
        taken(m_port->setFlowControl(flowControlFor(m_handshaking)));
    m_applying = false;
    if (!applied) {
        m_error =
            QStringLiteral("%1: %2 refused: %3").arg(m_openPath, m_settings, m_port->errorString());
        m_port->clearError();
    }
    return applied;
}

bool SerialControl::openFailed(const QString &reason)
{
    m_error = QStringLiteral("%1: %2").arg(m_openPath, reason);
    return false;
}

void SerialControl::onReadyRead()
{
    if (m_inputPaused || !m_port->isOpen())
        return;
    m_commEvent = kCommEventReceive;
    Q_EMIT OnComm();
}

void SerialControl::onError()
{
    const QSerialPort::SerialPortError error = m_port->error();
    // A failing open and the settings calls read their errors themselves.
    if (error == QSerialPort::NoError || !m_port->isOpen() || m_applying)
        return;
    const QString reason = QStringLiteral("%1: %2").arg(m_openPath, m_port->errorString());
    m_port->clearError();
    m_error = reason;
    if (m_lost)
        return;
    if (error != QSerialPort::ResourceError && !deviceHungUp())
        return;
    deviceLost(reason);
}

void SerialControl::deviceLost(const QString &reason)
{
    if (m_lost)
        return;
    m_lost = true;
    endOverflow();
    // Closing also ends the notifications that a dead descriptor would raise without end.
    closePort();
    m_error = reason;
    Q_EMIT portLost(reason);
}

bool SerialControl::deviceHungUp() const
{
    pollfd check{static_cast<int>(m_port->handle()), POLLIN, 0};
    if (::poll(&check, 1, 0) < 0)
        return false;
    return (check.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
