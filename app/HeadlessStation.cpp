#include "app/HeadlessStation.h"

#include "monitor/StatusRecord.h"
#include "platform/MessageBoxes.h"

#include <QTimer>

#include <chrono>
#include <cstdio>

namespace
{

// Nobody is there to answer a box: its text goes to the status history.
class BoxesIntoHistory final : public MessageBoxes
{
public:
    explicit BoxesIntoHistory(StationView &view) : m_view(view) {}

    void inform(QWidget *, const QString &text, const QString &title, Icon) override
    {
        m_view.recordEvent(title + QStringLiteral(": ") + text);
    }
    bool askYesNo(QWidget *, const QString &text, const QString &title, Icon) override
    {
        m_view.recordEvent(title + QStringLiteral(": ") + text + QStringLiteral(" (No)"));
        return false;
    }
    // The box stands for a while as if someone read it: a peer that sends nothing but bad
    // packets is told once a second, not once a packet.
    void informLater(QWidget *, const QString &text, const QString &title,
                     std::function<void()> onClosed) override
    {
        m_view.recordEvent(title + QStringLiteral(": ") + text);
        QTimer::singleShot(kReadingTime, &m_shownBoxes, std::move(onClosed));
    }

private:
    static constexpr std::chrono::seconds kReadingTime{1};
    StationView &m_view;
    QObject m_shownBoxes;
};

} // namespace

HeadlessStation::HeadlessStation(const StationEnvironment &environment)
    : m_boxes(std::make_unique<BoxesIntoHistory>(*this))
{
    StationEnvironment withoutBoxes = environment;
    withoutBoxes.messageBoxes = m_boxes.get();
    m_station = std::make_unique<Station>(*this, *this, withoutBoxes, nullptr);
}

HeadlessStation::~HeadlessStation()
{
    m_station->unload();
    m_station->finishUnload();
}

void HeadlessStation::setNetStatus(const QString &text)
{
    if (text == StatusText)
        return;
    StatusText = text;
    recordEvent(text);
}

void HeadlessStation::recordEvent(const QString &text)
{
    // One line as it is made, so the journal has it at once; the journal ends lines itself.
    QString line = StatusRecord::make(m_station->environment(), text);
    line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void HeadlessStation::showSerialFrameCaption(const QString &caption)
{
    // The window shows the serial port in its frame; without one, a change is told once.
    if (caption == m_serialCaption)
        return;
    m_serialCaption = caption;
    recordEvent(caption);
}
