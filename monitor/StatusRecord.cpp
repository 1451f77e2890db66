#include "monitor/StatusRecord.h"

#include "app/StationEnvironment.h"
#include "monitor/StatusHistory.h"
#include "platform/Clock.h"
#include "platform/Files.h"

#include <QLocale>

namespace StatusRecord
{

QString make(const StationEnvironment &environment, const QString &text)
{
    const QString line = StatusHistory::historyLine(environment.clock->now(), text, QLocale());
    if (!environment.statusLogPath.isEmpty())
        Files::append(environment.statusLogPath, line.toUtf8());
    return line;
}

} // namespace StatusRecord
