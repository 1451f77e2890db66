#pragma once
// Starting helper programs (the address viewer, the system information viewer) and
// opening web addresses with the desktop's browser.
#include <QString>
#include <QStringList>

class Programs
{
public:
    virtual ~Programs() = default;
    // The first program of the list that is installed (found on PATH), or empty.
    virtual QString findProgram(const QStringList &candidates) const = 0;
    // Starts it detached from the caller's wait; returns a task id above 0, or 0.
    virtual qint64 start(const QString &program, const QStringList &arguments) = 0;
    // Ends a started task; false when it is already gone (nothing is sent then).
    virtual bool terminate(qint64 taskId) = 0;
    virtual bool openUrl(const QString &url) = 0;
};

class DesktopPrograms final : public Programs
{
public:
    QString findProgram(const QStringList &candidates) const override;
    qint64 start(const QString &program, const QStringList &arguments) override;
    bool terminate(qint64 taskId) override;
    bool openUrl(const QString &url) override;
};
