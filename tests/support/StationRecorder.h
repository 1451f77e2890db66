#pragma once
// A station without a window: the handlers' view is a recorder, the components are real but
// never opened, NetworkTimer never runs, and the services are TestEnvironment's fakes.
#include "app/StationParts.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/FakeServices.h"

#include <QByteArray>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <set>

#include <map>

class StationRecorder final : public StationView
{
public:
    void setNetStatus(const QString &text) override;
    QString netStatus() const override { return statuses.value(statuses.size() - 1); }
    void recordEvent(const QString &text) override { events.append(text); }
    void showLamp(Lamp lamp, Colour colour) override { lamps[lamp] = colour; }
    void showLoopMarks(LoopMode mode) override { loopMarks = mode; }
    void enableCommand(Command command, bool enabled) override;
    void showSerialFrameCaption(const QString &caption) override { serialCaption = caption; }
    void showDestinationName(const QString &name) override { destination = name; }
    void appendTraffic(Traffic box, const QByteArray &bytes) override;
    void refreshTraffic() override {}
    void showExpanded(bool shown) override { expanded = shown; }
    void showLogFlash(bool lit) override { logFlash = lit; }
    void markStatusHistory(bool shown) override { historyMarked = shown; }

    // Every change of the status text, in order.
    QStringList statuses;
    QStringList events;
    std::map<Lamp, Colour> lamps;
    LoopMode loopMarks = LoopMode::Normal;
    std::set<Command> enabled;
    QString serialCaption;
    QString destination;
    QByteArray received;
    QByteArray transmitted;
    bool expanded = false;
    bool logFlash = false;
    bool historyMarked = false;
};

class RecordedStation final
{
public:
    RecordedStation();
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
