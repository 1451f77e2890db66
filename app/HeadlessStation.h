#pragma once
// A station with no window, for running unattended: the same station, settings file, link
// and logs, created without a single widget. Its view keeps only the status line: every
// line of the status history goes to standard output as it is made (the service's journal)
// and to the status log when there is one. Where the window would open a box, the box's
// title and text become a history line and the station goes on.
#include "app/Station.h"
#include "app/StationState.h"
#include "app/StationView.h"

#include <memory>

class MessageBoxes;

class HeadlessStation final : public StationState, public StationView
{
public:
    explicit HeadlessStation(const StationEnvironment &environment);
    ~HeadlessStation() override;
    Q_DISABLE_COPY_MOVE(HeadlessStation)

    Station &station() { return *m_station; }

    void setNetStatus(const QString &text) override;
    QString netStatus() const override { return StatusText; }
    void recordEvent(const QString &text) override;
    void showLamp(Lamp, Colour) override {}
    void showLoopMarks(LoopMode) override {}
    void enableCommand(Command, bool) override {}
    void showSerialFrameCaption(const QString &caption) override;
    void showDestinationName(const QString &) override {}
    void appendTraffic(Traffic, const QByteArray &) override {}
    void refreshTraffic() override {}
    void showExpanded(bool) override {}
    void showLogFlash(bool) override {}
    void markStatusHistory(bool) override {}

private:
    std::unique_ptr<MessageBoxes> m_boxes;
    std::unique_ptr<Station> m_station;
    QString m_serialCaption;
};
