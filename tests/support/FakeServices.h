#pragma once
// Stand-ins for the desktop services a test cannot drive for real, bundled with a temporary
// settings folder in TestEnvironment.
#include "app/StationEnvironment.h"
#include "platform/Clock.h"
#include "platform/FilePicker.h"
#include "platform/MessageBoxes.h"
#include "platform/Printing.h"
#include "platform/Programs.h"
#include "platform/RandomSource.h"

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <utility>

// The whole file, or nothing when it cannot be read.
inline QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class FakeMessageBoxes final : public MessageBoxes
{
public:
    struct Box {
        QString text, title;
        Icon icon = Icon::None;
        QPointer<QWidget> owner;
    };

    void inform(QWidget *owner, const QString &text, const QString &title, Icon icon) override
    {
        record({text, title, icon, owner});
    }
    // Answers No unless a Yes was queued for it.
    bool askYesNo(QWidget *owner, const QString &text, const QString &title, Icon icon) override
    {
        record({text, title, icon, owner});
        return !m_answers.isEmpty() && m_answers.takeFirst();
    }
    // The box counts as closed by the user on the next pass of the event loop.
    void informLater(QWidget *owner, const QString &text, const QString &title,
                     std::function<void()> onClosed) override
    {
        record({text, title, Icon::None, owner});
        if (onClosed)
            QTimer::singleShot(0, std::move(onClosed));
    }

    void queueAnswer(bool yes) { m_answers.append(yes); }
    // Runs while a box is shown.
    std::function<void(const Box &)> onShown;

    int count() const { return int(m_boxes.size()); }
    const Box &last() const { return m_boxes.last(); }
    void clear() { m_boxes.clear(); }

private:
    void record(const Box &box)
    {
        m_boxes.append(box);
        if (onShown)
            onShown(box);
    }

    QList<Box> m_boxes;
    QList<bool> m_answers;
};

class FakeFilePicker final : public FilePicker
{
public:
    struct Call {
        QPointer<QWidget> owner;
        Request request;
    };

    // The path the next pick chooses; an empty text, or nothing queued, cancels it.
    void queueAnswer(const QString &path) { m_answers.append(path); }
    QString pick(QWidget *owner, const Request &request) override
    {
        m_calls.append({owner, request});
        return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    }
    const QList<Call> &calls() const { return m_calls; }

private:
    QList<QString> m_answers;
    QList<Call> m_calls;
};

class FakePrograms final : public Programs
{
public:
    struct Started {
        qint64 taskId = 0; // 0: it failed to start
        QString program;
        QStringList arguments;
    };

    // Programs that findProgram finds and start can start, unless broken.
    void install(const QString &program) { m_installed.insert(program); }
    void breakProgram(const QString &program) { m_broken.insert(program); }

    QString findProgram(const QStringList &candidates) const override
    {
        for (const QString &candidate : candidates)
            if (m_installed.contains(candidate))
                return candidate;
        return QString();
    }
    qint64 start(const QString &program, const QStringList &arguments) override
    {
        const bool starts = m_installed.contains(program) && !m_broken.contains(program);
        const qint64 taskId = starts ? *m_running.insert(m_nextTaskId++) : 0;
        m_started.append({taskId, program, arguments});
        return taskId;
    }
    bool terminate(qint64 taskId) override
    {
        return m_running.remove(taskId) && (m_terminated.append(taskId), true);
    }
    bool openUrl(const QString &url) override
    {
        m_urls.append(url);
        return openUrlResult;
    }

    bool openUrlResult = true;
    const QList<Started> &started() const { return m_started; }
    const QList<qint64> &terminated() const { return m_terminated; }
    const QStringList &openedUrls() const { return m_urls; }

private:
    QSet<QString> m_installed;
    QSet<QString> m_broken;
    QSet<qint64> m_running;
    QList<Started> m_started;
    QList<qint64> m_terminated;
    QStringList m_urls;
    qint64 m_nextTaskId = 1000;
};

// The wall-clock time a test sets.
class FakeClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void setNow(const QDateTime &now) { m_now = now; }

private:
    QDateTime m_now = QDateTime::currentDateTime();
};

// Returns the queued values in order and then repeats the last one (0.5 when none).
class FakeRandom final : public RandomSource
{
public:
    void queue(double value) { m_values.append(value); }
    double next() override { return m_last = m_values.isEmpty() ? m_last : m_values.takeFirst(); }

private:
    QList<double> m_values;
    double m_last = 0.5;
};

class FakePrinting final : public Printing
{
public:
    bool printText(QWidget *, const QString &text) override
    {
        ++m_dialogs;
        if (answer)
            m_printed.append(text);
        return answer;
    }
    bool answer = true; // false: the user cancelled the print dialog
    const QStringList &printed() const { return m_printed; }
    int dialogsShown() const { return m_dialogs; }

private:
    QStringList m_printed;
    int m_dialogs = 0;
};

// One station's outside world for a test: a temporary settings folder and a fake of every
// service. Keep it alive for as long as the station that uses it.
class TestEnvironment final
{
public:
    explicit TestEnvironment(QString bindAddress = QStringLiteral("127.0.0.1"))
        : bindAddress(std::move(bindAddress))
    {
    }

    // The fakes stay owned here so a test can read what happened.
    StationEnvironment environment()
    {
        return {settingsFolder(), bindAddress, {},        &clock,   &random,
                &messageBoxes,    &filePicker, &printing, &programs};
    }
    bool isValid() const { return m_folder.isValid(); }
    // Ends with '/'.
    QString settingsFolder() const { return m_folder.path() + QLatin1Char('/'); }
    QString filePath(const QString &name) const { return settingsFolder() + name; }
    // Makes Com n name the device: a com<n> symlink in the settings folder.
    bool mapSerialPort(int port, const QString &devicePath) const
    {
        const QString link = filePath(QStringLiteral("com%1").arg(port));
        QFile::remove(link);
        return QFile::link(devicePath, link);
    }

    QString bindAddress;
    FakeClock clock;
    FakeRandom random;
    FakeMessageBoxes messageBoxes;
    FakeFilePicker filePicker;
    FakePrinting printing;
    FakePrograms programs;

private:
    QTemporaryDir m_folder;
};
