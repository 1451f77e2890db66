#include "app/DefaultsFileIO.h"

#include "app/MainForm.h"
#include "app/Routines.h"
#include "app/SettingsRecords.h"
#include "monitor/TrafficMonitor.h"
#include "platform/Files.h"
#include "platform/MessageBoxes.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>

namespace DefaultsFileIO {
namespace {

const QString kErrorTitle = QStringLiteral("ERROR - TETHRA.SAV");

QString settingsPath(const MainForm &form)
{
    return form.environment().settingsFolder + QLatin1String(SettingsRecords::kFileName);
}

void showError(MainForm &form, const QString &text)
{
    form.environment().messageBoxes->inform(&form, text, kErrorTitle);
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
    records.remoteHost = Routines::IsIPAddress(form.DestinationName->text())
                             ? form.Socket1->RemoteHostAddress()
                             : form.Socket1->RemoteHostName();
    // A port waiting for its device stays the station's port for the next start.
    const bool portWanted = form.RS232comms->PortOpen() || form.serialReconnector().isExpecting();
    records.serialPort = portWanted ? form.RS232comms->CommPort() : 0;
    records.serialSettings = form.RS232comms->Settings();
    records.handshaking = form.RS232comms->Handshaking();
    records.rxLogFile = form.RxLogFile;
    records.txLogFile = form.TxLogFile;
    records.viewTraffic = form.ViewMenuItem->isChecked();
    records.runInServerMode = form.RunInServerMode;
    records.autoResolveHostName = form.AutoResolveHostName;

    const QString path = settingsPath(form);
    const QFileInfo folder(QFileInfo(path).absolutePath());
    // A folder the station may not write to at all fails silently, as the old file stays.
    const bool mayWrite = !folder.exists() || folder.isWritable();
    const Files::Result saved =
        Files::replaceAtomically(path, encode(records, *form.environment().random));
    if (!saved && mayWrite)
        showError(form, saved.error);
}

} // namespace DefaultsFileIO
