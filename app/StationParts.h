#pragma once
// What every handler of a station works with: the shared state, its view (the window, or
// the status history alone), the socket and serial components, the connection manager's
// timer and the services from outside. The station owns them all; a handler keeps a
// reference to this.
#include "app/StationEnvironment.h"
#include "app/StationState.h"
#include "app/StationView.h"

class QTimer;
class QWidget;
class SerialControl;
class SocketControl;

struct StationParts {
    StationState &state;
    StationView &view;
    SocketControl &Socket1;
    SerialControl &RS232comms;
    QTimer &NetworkTimer;
    const StationEnvironment &environment;
    // Owner of the dialogs and message boxes the handlers open; none for a station without a
    // window, whose boxes go to the status history.
    QWidget *window;

    // The one way the loopback mode changes while the link stands: the marks, Send Test,
    // the status text and the network lamp follow it together.
    void setLoopMode(LoopMode mode);
    // The serial frame's caption from the serial component's state.
    void showSerialFrameCaption();
    // The socket's remote host name, or its address when there is no name.
    void showDestination();
    // Takes the security settings; a new passphrase gives the key for the connections that
    // begin from now on (the slow derivation runs here, once, not per connection).
    void applySecurity(const SecuritySettings &settings);
};
