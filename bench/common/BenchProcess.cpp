#include "common/BenchProcess.h"

#include "common/BenchClock.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace
{
constexpr double kReapPollSeconds = 0.002;
} // namespace

BenchProcess::~BenchProcess()
{
    if (isRunning())
        stop(SIGKILL, 5000);
}

bool BenchProcess::start(const QStringList &command, const QString &logPath)
{
    m_logPath = logPath;
    std::vector<QByteArray> storage;
    for (const QString &part : command)
        storage.push_back(part.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &part : storage)
        argv.push_back(part.data());
    argv.push_back(nullptr);

    const QByteArray log = logPath.toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.constData(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int rc = ::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        m_pid = -1;
        m_error =
            command.join(' ') + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(rc));
        return false;
    }
    return true;
}

bool BenchProcess::isRunning()
{
    if (m_pid <= 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid || (done < 0 && errno == ECHILD)) {
        m_pid = -1;
        return false;
    }
    return true;
}

bool BenchProcess::stop(int signalNumber, int timeoutMs)
{
    if (!isRunning())
        return true;
    ::kill(m_pid, signalNumber);
    const double deadline = BenchClock::now() + timeoutMs / 1000.0;
    while (BenchClock::now() < deadline) {
        if (!isRunning())
            return true;
        BenchClock::sleepFor(kReapPollSeconds);
    }
    m_error = QStringLiteral("process %1 still running %2 ms after signal %3")
                  .arg(m_pid)
                  .arg(timeoutMs)
                  .arg(signalNumber);
    return false;
}

QString BenchProcess::logTail(int bytes) const
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > bytes)
        file.seek(file.size() - bytes);
    return QString::fromLocal8Bit(file.readAll());
}

QString BenchProcess::newOutput()
{
    QFile file(m_logPath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(m_logRead))
        return {};
    const QByteArray bytes = file.readAll();
    m_logRead += bytes.size();
    return QString::fromLocal8Bit(bytes);
}
