#pragma once
// A pseudo-terminal pair standing in for a serial device in tests.
//
// The slave side is what the code under test opens by path; the test plays the device on
// the master side. Both ends are in raw mode. The helper keeps its own descriptor of the
// slave open for its whole life, so that the master does not read EIO while the code under
// test closes and reopens the slave; closing the master makes the slave read EIO, which is
// how a device that vanishes looks to the serial port.
#include <QByteArray>
#include <QString>

class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString errorString() const { return m_error; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    int slaveFd() const { return m_slave; }

    // Non-blocking: bytes taken, or -1 on error (0 when the terminal's buffer is full).
    qint64 write(const QByteArray &bytes);
    // Writes all bytes, letting the event loop run while the terminal's buffer is full.
    bool writeAll(const QByteArray &bytes, int timeoutMs = 5000);
    // Non-blocking: whatever the master has waiting.
    QByteArray read();
    // Lets the event loop run until count bytes have come out of the master, or the time is
    // up; returns what came.
    QByteArray readUntil(qsizetype count, int timeoutMs = 5000);
    // Bytes waiting in the slave's input queue, not yet taken by any reader.
    int slaveInputQueued() const;
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
};
