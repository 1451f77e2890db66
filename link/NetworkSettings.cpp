#include "link/NetworkSettings.h"

#include "app/Routines.h"
#include "app/StationParts.h"
#include "platform/SocketControl.h"

#include <QTimer>

#include <limits>

namespace
{

template <typename Int> bool fits(qint64 value)
{
    return value >= std::numeric_limits<Int>::min() && value <= std::numeric_limits<Int>::max();
}

} // namespace

void NetworkSettings::applyTo(StationParts &station) const
{
    SocketControl &socket = station.Socket1;
    // Events the closed connection left queued are dropped by the socket itself.
    socket.Close();

    if (Routines::IsIPAddress(remoteHost)) {
        socket.setRemoteHostName(QString());
        socket.setRemoteHostAddress(remoteHost);
    } else {
        socket.setRemoteHostAddress(QString());
        socket.setRemoteHostName(remoteHost);
    }

    if (fits<qint32>(port))
        station.state.Port_Number = int(port);
    socket.setRemotePort(station.state.Port_Number);
    socket.setLocalPort(station.state.Port_Number);
    // Ports above the 16-bit signed range are stored but never bound.
    if (fits<qint16>(port))
        socket.Bind(localAddress, int(port));

    station.showDestination();
    station.state.RunInServerMode = serverMode;
    station.state.AutoResolveHostName = autoResolve;
    station.NetworkTimer.setInterval(fastConnect ? StationState::kFastIntervalMs
                                                 : StationState::kSlowIntervalMs);
    station.state.NetworkTimerTag =
        QString::fromLatin1(fastConnect ? StationState::kFastTag : StationState::kSlowTag);
    socket.Abort();
    station.state.Ack_Retries = 0;
    station.view.setNetStatus(QStringLiteral("Calling ..."));
}
