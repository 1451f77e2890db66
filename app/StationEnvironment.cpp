#include "app/StationEnvironment.h"

#include "platform/Clock.h"
#include "platform/FilePicker.h"
#include "platform/MessageBoxes.h"
#include "platform/Printing.h"
#include "platform/Programs.h"
#include "platform/RandomSource.h"

DesktopServices::DesktopServices()
    : m_clock(std::make_unique<SystemClock>()), m_random(std::make_unique<SystemRandom>()),
      m_messageBoxes(std::make_unique<DesktopMessageBoxes>()),
      m_filePicker(std::make_unique<DesktopFilePicker>()),
      m_printing(std::make_unique<DesktopPrinting>()),
      m_programs(std::make_unique<DesktopPrograms>())
{
}

DesktopServices::~DesktopServices() = default;

StationEnvironment DesktopServices::environment(const QString &settingsFolder,
                                                const QString &bindAddress) const
{
    StationEnvironment environment;
    environment.settingsFolder =
        settingsFolder.endsWith('/') ? settingsFolder : settingsFolder + QLatin1Char('/');
    environment.bindAddress = bindAddress;
    environment.clock = m_clock.get();
    environment.random = m_random.get();
    environment.messageBoxes = m_messageBoxes.get();
    environment.filePicker = m_filePicker.get();
    environment.printing = m_printing.get();
    environment.programs = m_programs.get();
    return environment;
}
