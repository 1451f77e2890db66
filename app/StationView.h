#pragma once
// What a station's handlers ask of its window. The main window shows it with widgets; a
// test records it.
#include "app/StationState.h"

#include <QByteArray>
#include <QString>

class StationView
{
public:
    enum class Lamp { Receive, Transmit, Network };
    enum class Colour { Grey, Green, Red, Yellow };
    enum class Command { LocalLoop, RemoteLoop, SendTest };
    enum class Traffic { Received, Transmitted };

    virtual ~StationView() = default;

    // Every change of the status text is written to the history; the same text again is
    // not a change.
    virtual void setNetStatus(const QString &text) = 0;
    virtual QString netStatus() const = 0;
    // A time-stamped line in the history for an event that is no state of the link (the
    // status line keeps showing the link).
    virtual void recordEvent(const QString &text) = 0;
    virtual void showLamp(Lamp lamp, Colour colour) = 0;
    virtual void showLoopMarks(LoopMode mode) = 0;
    virtual void enableCommand(Command command, bool enabled) = 0;
    // "Com1:9600,n,8,1" or "RS232 Disabled".
    virtual void showSerialFrameCaption(const QString &caption) = 0;
    virtual void showDestinationName(const QString &name) = 0;
    virtual void appendTraffic(Traffic box, const QByteArray &bytes) = 0;
    // Shows what was appended since the last refresh.
    virtual void refreshTraffic() = 0;
    // Traffic was appended that the next refresh will show.
    virtual bool hasTrafficToShow() const { return false; }
    // Expanded, the window shows the two traffic boxes, emptied, and View Traffic is checked.
    virtual void showExpanded(bool expanded) = 0;
    virtual void showLogFlash(bool lit) = 0;
    virtual void markStatusHistory(bool shown) = 0;
};
