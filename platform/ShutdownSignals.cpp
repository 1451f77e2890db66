#include "platform/ShutdownSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{
// The one piece of process-wide state the C signal interface forces on us: the write end
// of the self-pipe. It is set once before the handlers are installed.
int g_signalPipe[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
} // namespace

ShutdownSignals::ShutdownSignals(HangUp hangUp, QObject *parent) : QObject(parent), m_hangUp(hangUp)
{
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShutdownSignals::onPipeReadable);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

ShutdownSignals::~ShutdownSignals()
{
    for (int signalNumber : kSignals)
        ::signal(signalNumber, SIG_DFL);
}

void ShutdownSignals::onPipeReadable()
{
    unsigned char byte = 0;
    while (::read(g_signalPipe[0], &byte, 1) == 1) {
        if (byte == SIGHUP && m_hangUp == HangUp::Reloads)
            Q_EMIT reloadRequested();
        else
            Q_EMIT shutdownRequested(byte);
    }
}
