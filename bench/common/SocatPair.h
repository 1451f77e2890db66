#pragma once
// The reference bridge: two socat processes joining two pseudo-terminals over one TCP
// connection on loopback, the same kind of path the stations are measured on.
#include "common/BenchProcess.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

class Pty;

class SocatPair final
{
public:
    SocatPair();
    ~SocatPair();
    SocatPair(const SocatPair &) = delete;
    SocatPair &operator=(const SocatPair &) = delete;

    // End A calls from addressA; end B listens on addressB:port.
    bool start(const QString &addressA, const QString &addressB, int port);
    int deviceFd(int end) const;
    pid_t pid(int end) const { return m_processes[end].pid(); }
    QString errorString() const { return m_error; }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<Pty> m_devices[2];
    BenchProcess m_processes[2];
    QString m_error;
};
