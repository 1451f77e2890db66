#pragma once
// A station without a window: the handlers' view is a recorder, the components are real but
// never opened, NetworkTimer does not tick the handlers, and the services are
// TestEnvironment's fakes.
#include "app/StationParts.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/FakeServices.h"

#include <QTimer>

#include <map>
#include <set>

class StationRecorder final : public StationView
{
public:
    void setNetStatus(const QString &text) override { status = text; }
    QString netStatus() const override { return status; }
    void recordEvent(const QString &text) override { events += text; }
    void showLamp(Lamp lamp, Colour colour) override { lamps[lamp] = colour; }
    void showLoopMarks(LoopMode mode) override { loopMarks = mode; }
    void enableCommand(Command command, bool on) override
    {
        on ? void(enabled.insert(command)) : void(enabled.erase(command));
    }
    void showSerialFrameCaption(const QString &) override {}
    void showDestinationName(const QString &name) override { destination = name; }
    void appendTraffic(Traffic, const QByteArray &) override {}
    void refreshTraffic() override {}
    void showExpanded(bool) override {}
    void showLogFlash(bool lit) override { logFlash = lit; }
    void markStatusHistory(bool) override {}

    QString status;
    QStringList events;
    std::map<Lamp, Colour> lamps;
    LoopMode loopMarks = LoopMode::Normal;
    std::set<Command> enabled;
    QString destination;
    bool logFlash = false;
};

class RecordedStation final
{
public:
    RecordedStation()
        : serial(SerialPortMap(env.settingsFolder())),
          environment(env.environment()), parts{state,        view,        socket, serial,
                                                networkTimer, environment, &window}
    {
    }
    Q_DISABLE_COPY_MOVE(RecordedStation)

    TestEnvironment env;
    StationState state;
    StationRecorder view;
    SocketControl socket;
    SerialControl serial;
    QTimer networkTimer;
    QWidget window;
    StationEnvironment environment;
    StationParts parts;
};
