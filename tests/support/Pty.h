#pragma once
// A pseudo-terminal pair standing in for a serial device: the code under test opens the
// slave by path, the test plays the device on the (non-blocking) master. The helper holds
// the slave open, so the master does not read EIO while the code under test reopens it;
// closing the master is the device unplugged.
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
    // Bytes taken, 0 when the terminal is full, -1 on error.
    qint64 write(const QByteArray &bytes);
    // These two run the event loop until done or the time is up.
    bool writeAll(const QByteArray &bytes, int timeoutMs = 5000);
    QByteArray readUntil(qsizetype count, int timeoutMs = 5000);
    QByteArray read();
    void closeMaster();

private:
    int m_master = -1, m_slave = -1;
    QString m_slavePath, m_error;
};
