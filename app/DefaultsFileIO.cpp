#include "app/DefaultsFileIO.h"

#include "app/MainForm.h"
#include "app/Routines.h"
#include "app/SettingsRecords.h"
#include "monitor/StatusLine.h"
#include "monitor/TrafficMonitor.h"
#include "platform/Files.h"
#include "platform/MessageBoxes.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>

#include <cstdio>

namespace DefaultsFileIO
{
namespace
{

const QString kErrorTitle = QStringLiteral("ERROR - TETHRA.SAV");

QString settingsPath(const MainForm &form)
{
    return form.environment().settingsFolder + QLatin1String(SettingsRecords::kFileName);
}

void showError(MainForm &form, const QString &text)
{
    form.environment().messageBoxes->inform(&form, text, kErrorTitle);
}

// A shutdown that a stop signal asked for must end: its error goes where it can be read
// later, not into a box that nobody may be there to answer.
void reportSaveError(MainForm &form, const QString &text)
{
    if (!form.isStopSignalled()) {
        showError(form, text);
        return;
    }
    const QString line = kErrorTitle + QStringLiteral(": ") + text;
    std::fprintf(stderr, "tethra: %s\n", line.toLocal8Bit().constData());
    form.statusLine().recordEvent(line);
}

void apply(MainForm &form, const SettingsRecords &records)
{
    form.Port_Number = records.portNumber;
    if (Routines::IsIPAddress(records.remoteHost)) {
        form.Socket1->setRemoteHostName(QString());
        form.Socket1->setRemoteHostAddress(records.remoteHost);
    } else {
        form.Socket1->setRemoteHostAddress(QString());
        form.Socket1->setRemoteHostName(records.remoteHost);
    }
    form.RS232comms->setSettings(records.serialSettings);
    form.RS232comms->setHandshaking(records.handshaking);
    if (records.serialPort != 0) {
        form.RS232comms->setCommPort(static_cast<qint16>(records.serialPort));
        // A device that is not there yet (an adapter plugged in later) is opened when it comes.
        if (!form.RS232comms->setPortOpen(true))
            form.serialReconnector().expectPort();
    }
    if (records.viewTraffic)
        form.trafficMonitor().ViewMenuItem_Click();
    form.RunInServerMode = records.runInServerMode;
    form.AutoResolveHostName = records.autoResolveHostName;
}

} // namespace

void LoadDefaults(MainForm &form)
{
    QByteArray bytes;
    if (const Files::Result read = Files::read(settingsPath(form), &bytes); !read) {
        showError(form, read.error);
        return;
    }
    const SettingsReadResult result = decodeSettingsRecords(bytes);
    if (result.rxLogFile)
        form.RxLogFile = *result.rxLogFile;
    if (result.txLogFile)
        form.TxLogFile = *result.txLogFile;
    if (!result.complete) {
        showError(form, result.error);
        return;
    }
    apply(form, result.records);
}

void SaveDefaults(MainForm &form)
{
    SettingsRecords records;
    records.portNumber = form.Port_Number;
    records.remoteHost = Routines::IsIPAddress(form.DestinationText)
                             ? form.Socket1->RemoteHostAddress()
                             : form.Socket1->RemoteHostName();
    // A port waiting for its device stays the station's port for the next start.
    const bool portWanted = form.RS232comms->PortOpen() || form.serialReconnector().isExpecting();
    records.serialPort = portWanted ? form.RS232comms->CommPort() : 0;
    records.serialSettings = form.RS232comms->Settings();
    records.handshaking = form.RS232comms->Handshaking();
    records.rxLogFile = form.RxLogFile;
    records.txLogFile = form.TxLogFile;
    records.viewTraffic = form.ViewTraffic;
    records.runInServerMode = form.RunInServerMode;
    records.autoResolveHostName = form.AutoResolveHostName;

    const QString path = settingsPath(form);
    const QByteArray bytes = encode(records, *form.environment().random);
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
        reportSaveError(form, saved.error);
}

} // namespace DefaultsFileIO
