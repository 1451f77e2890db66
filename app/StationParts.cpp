#include "app/StationParts.h"

#include "platform/SerialControl.h"
#include "platform/SocketControl.h"

void StationParts::setLoopMode(LoopMode mode)
{
    state.loopMode = mode;
    view.showLoopMarks(mode);
    view.enableCommand(StationView::Command::SendTest, mode == LoopMode::Remote);
    switch (mode) {
    case LoopMode::Normal:
        view.setNetStatus(QStringLiteral("Connected"));
        break;
    case LoopMode::Local:
        view.setNetStatus(QStringLiteral("Local Loopback"));
        break;
    case LoopMode::Remote:
        view.setNetStatus(QStringLiteral("Remote Loopback"));
        break;
    }
    view.showLamp(StationView::Lamp::Network, mode == LoopMode::Normal
                                                  ? StationView::Colour::Green
                                                  : StationView::Colour::Yellow);
}

void StationParts::showSerialFrameCaption()
{
    view.showSerialFrameCaption(
        RS232comms.PortOpen()
            ? QStringLiteral("Com%1:%2").arg(RS232comms.CommPort()).arg(RS232comms.Settings())
            : QStringLiteral("RS232 Disabled"));
}

void StationParts::showDestination()
{
    state.DestinationText =
        Socket1.RemoteHostName().isEmpty() ? Socket1.RemoteHostAddress() : Socket1.RemoteHostName();
    view.showDestinationName(state.DestinationText);
}
