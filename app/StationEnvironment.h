#pragma once
// What reaches a station from outside: its settings folder, the local address to use, the
// clock, the random draw and the desktop services. Two stations in one process each get
// their own.
#include <QString>

#include <memory>

class Clock;
class RandomSource;
class MessageBoxes;
class FilePicker;
class Printing;
class Programs;

struct StationEnvironment {
    QString settingsFolder; // ends with '/'
    QString bindAddress;    // empty: all IPv4 addresses
    QString statusLogPath;  // empty: the history window is the only record
    Clock *clock = nullptr;
    RandomSource *random = nullptr;
    MessageBoxes *messageBoxes = nullptr;
    FilePicker *filePicker = nullptr;
    Printing *printing = nullptr;
    Programs *programs = nullptr;
};

// The services of the real program, owned for the lifetime of the station.
class DesktopServices final
{
public:
    DesktopServices();
    ~DesktopServices();
    StationEnvironment environment(const QString &settingsFolder,
                                   const QString &bindAddress) const;

private:
    std::unique_ptr<Clock> m_clock;
    std::unique_ptr<RandomSource> m_random;
    std::unique_ptr<MessageBoxes> m_messageBoxes;
    std::unique_ptr<FilePicker> m_filePicker;
    std::unique_ptr<Printing> m_printing;
    std::unique_ptr<Programs> m_programs;
};

// The folder the settings file and the com<n> map live in by default.
inline constexpr const char *kDefaultSettingsFolder = "/var/lib/tethra/";
