#include "support/FakeServices.h"

#include <QFile>
#include <QTimer>

#include <algorithm>
#include <utility>

void FakeMessageBoxes::record(Box box)
{
    m_boxes.append(box);
    if (onShown)
        onShown(m_boxes.last());
}

void FakeMessageBoxes::inform(QWidget *owner, const QString &text, const QString &title, Icon icon)
{
    record({Kind::Inform, text, title, icon, owner, false});
}

bool FakeMessageBoxes::askYesNo(QWidget *owner, const QString &text, const QString &title,
                                Icon icon)
{
    const bool answer = m_answers.isEmpty() ? defaultAnswer : m_answers.takeFirst();
    record({Kind::AskYesNo, text, title, icon, owner, answer});
    return answer;
}

void FakeMessageBoxes::informLater(QWidget *owner, const QString &text, const QString &title,
                                   std::function<void()> onClosed)
{
    record({Kind::InformLater, text, title, Icon::None, owner, false});
    if (!onClosed)
        return;
    if (holdLaterBoxes)
        m_held.append(std::move(onClosed));
    else
        QTimer::singleShot(0, std::move(onClosed));
}

void FakeMessageBoxes::closeHeldBoxes()
{
    const QList<std::function<void()>> held = std::exchange(m_held, {});
    for (const auto &onClosed : held)
        onClosed();
}

int FakeMessageBoxes::countWithText(const QString &text) const
{
    return int(std::count_if(m_boxes.cbegin(), m_boxes.cend(),
                             [&text](const Box &box) { return box.text == text; }));
}

QString FakeFilePicker::pick(QWidget *owner, const Request &request)
{
    m_calls.append({owner, request});
    return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
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
    if (!m_installed.contains(program) || m_broken.contains(program)) {
        m_started.append({0, program, arguments});
        return 0;
    }
    const qint64 taskId = m_nextTaskId++;
    m_running.insert(taskId);
    m_started.append({taskId, program, arguments});
    return taskId;
}

bool FakePrograms::terminate(qint64 taskId)
{
    ++m_terminateCalls;
    if (!m_running.remove(taskId))
        return false;
    m_terminated.append(taskId);
    return true;
}

bool FakePrograms::openUrl(const QString &url)
{
    m_urls.append(url);
    return openUrlResult;
}

FakeClock::FakeClock() : m_now(QDateTime::currentDateTime())
{
    m_started.start();
}

qint64 FakeClock::monotonicMs() const
{
    ++m_reads;
    qint64 value = 0;
    if (m_frozen) {
        value = m_frozenMs;
        m_frozenMs += stepPerRead;
    } else {
        value = m_started.elapsed();
    }
    if (onRead)
        onRead(value);
    return value;
}

QDateTime FakeClock::now() const
{
    return m_now;
}

void FakeClock::freeze(qint64 ms)
{
    m_frozen = true;
    m_frozenMs = ms;
}

void FakeClock::advance(qint64 ms)
{
    if (!m_frozen)
        freeze(m_started.elapsed());
    m_frozenMs += ms;
}

double FakeRandom::next()
{
    ++m_draws;
    if (!m_values.isEmpty())
        m_last = m_values.takeFirst();
    return m_last;
}

bool FakePrinting::printText(QWidget *, const QString &text)
{
    ++m_dialogs;
    if (answer)
        m_printed.append(text);
    return answer;
}

TestEnvironment::TestEnvironment(QString address) : bindAddress(std::move(address)) {}

QString TestEnvironment::settingsFolder() const
{
    return m_folder.path() + QLatin1Char('/');
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

bool TestEnvironment::unmapSerialPort(int port) const
{
    return QFile::remove(filePath(QStringLiteral("com%1").arg(port)));
}
