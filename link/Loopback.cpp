#include "link/Loopback.h"

#include "app/StationParts.h"
#include "link/LinkProtocol.h"
#include "platform/RandomSource.h"
#include "platform/SocketControl.h"

void Loopback::toggle(LoopMode mode, char flag)
{
    if (!m_station.Socket1.IsConnected())
        return;
    m_station.state.LoopSyncPending = true;
    // A second click on the checked mode goes back to normal.
    const bool wasOn = m_station.state.loopMode == mode;
    m_station.setLoopMode(wasOn ? LoopMode::Normal : mode);
    m_station.Socket1.Write(
        LinkProtocol::loopbackChangeMessage(wasOn ? LinkProtocol::kFlagNormal : flag));
}

void Loopback::LocalLoopMenuItem_Click()
{
    toggle(LoopMode::Local, LinkProtocol::kFlagLocalLoop);
}

void Loopback::RemoteLoopMenuItem_Click()
{
    toggle(LoopMode::Remote, LinkProtocol::kFlagRemoteLoop);
}

void Loopback::SendTestMenuItem_Click()
{
    const double r = m_station.environment.random->next();
    m_station.Socket1.Write(LinkProtocol::testMessage(LinkProtocol::testText(r)));
}
