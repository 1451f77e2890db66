#include "support/FakeServices.h"

#include <QFile>
#include <QTimer>

void FakeMessageBoxes::informLater(QWidget *owner, const QString &text, const QString &title,
                                   std::function<void()> onClosed)
{
    record({text, title, Icon::None, owner});
    if (onClosed)
        QTimer::singleShot(0, std::move(onClosed));
}

QString FakePrograms::findProgram(const QStringList &candidates) const
{
    for (const QString &candidate : candidates) {
        if (m_installed.contains(candidate))
            return candidate;
    }
    return QString();
}

qint64 FakePrograms::start(const QString &program, const QStringList &arguments)
{
    const bool starts = m_installed.contains(program) && !m_broken.contains(program);
    const qint64 taskId = starts ? m_nextTaskId++ : 0;
    if (starts)
        m_running.insert(taskId);
    m_started.append({taskId, program, arguments});
    return taskId;
}

bool FakePrograms::terminate(qint64 taskId)
{
    if (!m_running.remove(taskId))
        return false;
    m_terminated.append(taskId);
    return true;
}

StationEnvironment TestEnvironment::environment()
{
    StationEnvironment environment;
    environment.settingsFolder = settingsFolder();
    environment.bindAddress = bindAddress;
    // The fakes stay owned here so a test can read what happened.
    environment.clock = &clock;
    environment.random = &random;
    environment.messageBoxes = &messageBoxes;
    environment.filePicker = &filePicker;
    environment.printing = &printing;
    environment.programs = &programs;
    return environment;
}

bool TestEnvironment::mapSerialPort(int port, const QString &devicePath) const
{
    const QString link = filePath(QStringLiteral("com%1").arg(port));
    QFile::remove(link);
    return QFile::link(devicePath, link);
}
