#pragma once
// The open-file picker of the traffic log dialog.
#include <QString>

class QWidget;

class FilePicker
{
public:
    struct Request {
        QString title;
        QString initialFolder;
        QString presetFileName;
        QString filter;          // Qt filter text, entries separated by ";;"
        QString defaultSuffix;
    };
    virtual ~FilePicker() = default;
    // The chosen full path, or an empty text when the user cancelled or the picker failed.
    // Names of files that do not exist yet are accepted.
    virtual QString pick(QWidget *owner, const Request &request) = 0;
};

class DesktopFilePicker final : public FilePicker
{
public:
    QString pick(QWidget *owner, const Request &request) override;
};
