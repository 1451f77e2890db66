#include "app/StationParts.h"

#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "platform/TlsSession.h"

void StationParts::applySecurity(const SecuritySettings &settings)
{
    const bool newKey = settings.passphrase != state.security.passphrase ||
                        settings.passphraseUnknown != state.security.passphraseUnknown;
    state.security = settings;
    if (!newKey)
        return;
    QByteArray key;
    if (!settings.passphrase.isEmpty() || settings.passphraseUnknown) {
        if (!settings.passphraseUnknown)
            key = TlsSession::deriveKey(settings.passphrase.toUtf8());
        // Without the passphrase, or should the derivation fail, a key no handshake accepts:
        // never a plain link.
        if (key.isEmpty())
            key = QByteArray(1, '\0');
    }
    Socket1.setPreSharedKey(key);
}

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
