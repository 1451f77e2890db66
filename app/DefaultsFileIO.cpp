#include "app/DefaultsFileIO.h"

#include "app/Routines.h"
#include "app/SettingsRecords.h"
#include "app/Station.h"
#include "link/NetworkSettings.h"
#include "monitor/TrafficMonitor.h"
#include "platform/Files.h"
#include "platform/MessageBoxes.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"

#include <QFileInfo>

#include <cstdio>
#include <optional>

namespace DefaultsFileIO
{
namespace
{

const QString kErrorTitle = QStringLiteral("ERROR - TETHRA.SAV");

QString settingsPath(const Station &station)
{
    return station.environment().settingsFolder + QLatin1String(SettingsRecords::kFileName);
}

void showError(Station &station, const QString &text)
{
    station.environment().messageBoxes->inform(station.parts().window, text, kErrorTitle);
}

// A shutdown that a stop signal asked for must end: its error goes where it can be read
// later, not into a box that nobody may be there to answer.
void reportSaveError(Station &station, const QString &text)
{
    if (!station.isStopSignalled()) {
        showError(station, text);
        return;
    }
    const QString line = kErrorTitle + QStringLiteral(": ") + text;
    std::fprintf(stderr, "tethra: %s\n", line.toLocal8Bit().constData());
    station.parts().view.recordEvent(line);
}

void apply(Station &station, const SettingsRecords &records)
{
    station.state().Port_Number = records.portNumber;
    if (Routines::IsIPAddress(records.remoteHost)) {
        station.Socket1->setRemoteHostName(QString());
        station.Socket1->setRemoteHostAddress(records.remoteHost);
    } else {
        station.Socket1->setRemoteHostAddress(QString());
        station.Socket1->setRemoteHostName(records.remoteHost);
    }
    station.RS232comms->setSettings(records.serialSettings);
    station.RS232comms->setHandshaking(records.handshaking);
    if (records.serialPort != 0) {
        station.RS232comms->setCommPort(static_cast<qint16>(records.serialPort));
        // A device that is not there yet (an adapter plugged in later) is opened when it comes.
        if (!station.RS232comms->setPortOpen(true))
            station.serialReconnector().expectPort();
    }
    if (records.viewTraffic)
        station.trafficMonitor().ViewMenuItem_Click();
    station.state().RunInServerMode = records.runInServerMode;
    station.state().AutoResolveHostName = records.autoResolveHostName;
}

// The file's records; what a read left out is told and nothing is returned.
std::optional<SettingsRecords> read(Station &station)
{
    QByteArray bytes;
    if (const Files::Result read = Files::read(settingsPath(station), &bytes); !read) {
        showError(station, read.error);
        return std::nullopt;
    }
    const SettingsReadResult result = decodeSettingsRecords(bytes);
    if (result.rxLogFile)
        station.state().RxLogFile = *result.rxLogFile;
    if (result.txLogFile)
        station.state().TxLogFile = *result.txLogFile;
    if (!result.complete) {
        showError(station, result.error);
        return std::nullopt;
    }
    return result.records;
}

} // namespace

void LoadDefaults(Station &station)
{
    if (const std::optional<SettingsRecords> records = read(station))
        apply(station, *records);
}

void ReloadDefaults(Station &station)
{
    const std::optional<SettingsRecords> records = read(station);
    if (!records)
        return;
    NetworkSettings network;
    network.remoteHost = records->remoteHost;
    network.port = records->portNumber;
    network.localAddress = station.environment().bindAddress;
    network.serverMode = records->runInServerMode;
    network.autoResolve = records->autoResolveHostName;
    network.fastConnect = station.state().NetworkTimerTag == QLatin1String(StationState::kFastTag);
    network.applyTo(station.parts());
}

void SaveDefaults(Station &station)
{
    SettingsRecords records;
    records.portNumber = station.state().Port_Number;
    records.remoteHost = Routines::IsIPAddress(station.state().DestinationText)
                             ? station.Socket1->RemoteHostAddress()
                             : station.Socket1->RemoteHostName();
    // A port waiting for its device stays the station's port for the next start.
    const bool portWanted =
        station.RS232comms->PortOpen() || station.serialReconnector().isExpecting();
    records.serialPort = portWanted ? station.RS232comms->CommPort() : 0;
    records.serialSettings = station.RS232comms->Settings();
    records.handshaking = station.RS232comms->Handshaking();
    records.rxLogFile = station.state().RxLogFile;
    records.txLogFile = station.state().TxLogFile;
    records.viewTraffic = station.state().ViewTraffic;
    records.runInServerMode = station.state().RunInServerMode;
    records.autoResolveHostName = station.state().AutoResolveHostName;

    const QString path = settingsPath(station);
    const QByteArray bytes = encode(records, *station.environment().random);
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    Files::Result saved;
    if (folder.exists() && !folder.isWritable()) {
        // No new file can be made beside it, so the file itself is rewritten; one the
        // station may not write either stays as it is, silently.
        if (!file.isFile() || !file.isWritable())
            return;
        saved = Files::rewriteInPlace(path, bytes);
    } else {
        saved = Files::replaceAtomically(path, bytes);
    }
    if (!saved)
        reportSaveError(station, saved.error);
}

} // namespace DefaultsFileIO
