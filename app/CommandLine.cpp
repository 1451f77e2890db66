#include "app/CommandLine.h"

#include "app/StationEnvironment.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHostAddress>
#include <QTextStream>

CommandLine CommandLine::parse(const QStringList &arguments, Stage stage)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Carries the data of a serial port to another station over TCP/IP."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption settings(
        QStringLiteral("settings"),
        QStringLiteral("Folder of the settings file TETHRA.SAV and the com<n> port map "
                       "(default %1).")
            .arg(QLatin1String(kDefaultSettingsFolder)),
        QStringLiteral("DIR"), QLatin1String(kDefaultSettingsFolder));
    const QCommandLineOption bind(QStringLiteral("bind"),
                                  QStringLiteral("Local IPv4 address to listen on and call from "
                                                 "(default: all addresses)."),
                                  QStringLiteral("ADDRESS"));
    const QCommandLineOption statusLog(
        QStringLiteral("status-log"),
        QStringLiteral("Also append every status history line to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window and without a display: status lines go to "
                       "standard output; SIGHUP reads the settings file again."));
    parser.addOption(headless);
    parser.addOption(settings);
    parser.addOption(bind);
    parser.addOption(statusLog);

    CommandLine result;
    QTextStream err(stderr);
    if (!parser.parse(arguments)) {
        if (stage == Stage::BeforeWindows)
            return result;
        err << parser.errorText() << "\n";
        result.exitCode = 2;
        return result;
    }
    if (parser.isSet(help)) {
        // Without an application object the parser cannot name the program itself.
        QTextStream(stdout) << parser.helpText().replace(QLatin1String("<executable_name>"),
                                                         QFileInfo(arguments.value(0)).fileName());
        result.exitCode = 0;
        return result;
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << "tethra " << TETHRA_VERSION_MAJOR << '.' << TETHRA_VERSION_MINOR
                            << '.' << TETHRA_VERSION_PATCH << "\n";
        result.exitCode = 0;
        return result;
    }
    if (stage == Stage::BeforeWindows)
        return result;
    result.settingsFolder = parser.value(settings);
    if (!result.settingsFolder.endsWith(QLatin1Char('/')))
        result.settingsFolder += QLatin1Char('/');
    result.bindAddress = parser.value(bind);
    result.statusLogPath = parser.value(statusLog);
    result.headless = parser.isSet(headless);
    if (!result.bindAddress.isEmpty() &&
        QHostAddress(result.bindAddress).protocol() != QAbstractSocket::IPv4Protocol) {
        err << "tethra: --bind needs an IPv4 address, not \"" << result.bindAddress << "\"\n";
        result.exitCode = 2;
    }
    return result;
}

bool CommandLine::asksForHeadless(const QStringList &arguments)
{
    return arguments.contains(QLatin1String("--headless"));
}
