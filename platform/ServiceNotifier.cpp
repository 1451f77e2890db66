#include "platform/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <chrono>

ServiceNotifier::ServiceNotifier(QObject *parent) : QObject(parent)
{
    connect(&m_watchdog, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
}

void ServiceNotifier::ready()
{
    sd_notify(0, "READY=1");
    uint64_t intervalUs = 0;
    if (sd_watchdog_enabled(0, &intervalUs) > 0 && intervalUs > 0) {
        m_watchdog.start(std::chrono::milliseconds(intervalUs / 2 / 1000));
        sd_notify(0, "WATCHDOG=1");
    }
}

void ServiceNotifier::stopping()
{
    m_watchdog.stop();
    sd_notify(0, "STOPPING=1");
}
