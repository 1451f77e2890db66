#pragma once
// A child process of a benchmark: a station or a socat, its output appended to a file so
// that a chatty child can never block on a full pipe while the benchmark is busy pumping.
#include <QString>
#include <QStringList>

#include <sys/types.h>

class BenchProcess final
{
public:
    BenchProcess() = default;
    ~BenchProcess();
    BenchProcess(const BenchProcess &) = delete;
    BenchProcess &operator=(const BenchProcess &) = delete;

    // The program is the first element; it is looked up on PATH like a shell would.
    bool start(const QStringList &command, const QString &logPath);
    // Sends the signal and reaps the child; false when it is still there after timeoutMs.
    bool stop(int signalNumber, int timeoutMs = 10000);
    bool isRunning();
    pid_t pid() const { return m_pid; }
    QString errorString() const { return m_error; }
    // The last bytes of the log, for a failure message.
    QString logTail(int bytes = 2000) const;
    // What the log gained since the last call.
    QString newOutput();

private:
    pid_t m_pid = -1;
    QString m_logPath;
    qint64 m_logRead = 0;
    QString m_error;
};
