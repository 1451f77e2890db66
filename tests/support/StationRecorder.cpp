#include "support/StationRecorder.h"

void StationRecorder::setNetStatus(const QString &text)
{
    if (text != netStatus())
        statuses.append(text);
}

void StationRecorder::enableCommand(Command command, bool on)
{
    if (on)
        enabled.insert(command);
    else
        enabled.erase(command);
}

void StationRecorder::appendTraffic(Traffic box, const QByteArray &bytes)
{
    (box == Traffic::Received ? received : transmitted).append(bytes);
}

RecordedStation::RecordedStation()
    : serial(SerialPortMap(env.settingsFolder())),
      environment(env.environment()), parts{state,        view,        socket, serial,
                                            networkTimer, environment, window}
{
}
