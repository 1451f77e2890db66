#include "common/StationPair.h"

#include "app/SecuritySettings.h"
#include "support/Namespaces.h"

bool StationPair::startBound(const QString &binary, const QString &addressA,
                             const QString &addressB, int port, bool viewTraffic,
                             const QStringList &options, const QString &passphrase)
{
    const QString addresses[2] = {addressA, addressB};
    for (int end = 0; end < 2; ++end) {
        if (!m_stations[end].prepare(addresses[1 - end], port, viewTraffic)) {
            m_error = m_stations[end].errorString();
            return false;
        }
        m_commands[end] = m_stations[end].boundCommand(binary, addresses[end]) + options;
        const SecuritySettings security{SecuritySettings::AcceptFrom::RemoteHost, passphrase};
        if (const QString error =
                SecuritySettingsFile::save(m_stations[end].folder() + '/', security);
            !error.isEmpty()) {
            m_error = error;
            return false;
        }
    }
    return startBoth();
}

bool StationPair::startInNamespaces(const QString &binary, const NamespacePair &hosts, int port)
{
    for (int end = 0; end < 2; ++end) {
        if (!m_stations[end].prepare(hosts.address(1 - end), port)) {
            m_error = m_stations[end].errorString();
            return false;
        }
        m_commands[end] =
            hosts.inHost(end) + QStringList{binary, "--settings", m_stations[end].folder()};
    }
    return startBoth();
}

bool StationPair::startBoth()
{
    for (int end = 0; end < 2; ++end) {
        if (!restart(end))
            return false;
    }
    return true;
}

bool StationPair::restart(int end)
{
    if (!m_stations[end].start(m_commands[end])) {
        m_error = m_stations[end].errorString();
        return false;
    }
    return true;
}

BridgeUnderTest StationPair::bridge() const
{
    BridgeUnderTest bridge;
    bridge.name = QStringLiteral("tethra");
    for (int end = 0; end < 2; ++end) {
        bridge.deviceFd[end] = m_stations[end].deviceFd();
        bridge.pid[end] = m_stations[end].pid();
    }
    return bridge;
}
