#pragma once
// Who may call the station and the secure link's passphrase: what the 17 records of the
// settings file have no room for. They live in tethra.ini (Qt's INI format) in the settings
// folder, readable by its owner only, and are written when the security dialog's OK
// applies them.
//
// Format
//   [Security]
//   AcceptFrom=remote-host      or anyone
//   Passphrase="..."            empty: no encryption
// The passphrase is written quoted, with backslash, quote and every character outside
// printable ASCII escaped as Qt's INI reader undoes them (\\, \", \x{hex}).
#include <QString>

struct SecuritySettings {
    static constexpr char kFileName[] = "tethra.ini";
    enum class AcceptFrom { RemoteHost, Anyone };

    AcceptFrom acceptFrom = AcceptFrom::RemoteHost;
    QString passphrase;
    // The file is there but cannot be read: a passphrase may be set that is not known here.
    // No link is made then, rather than a plain one.
    bool passphraseUnknown = false;

    bool operator==(const SecuritySettings &other) const
    {
        return acceptFrom == other.acceptFrom && passphrase == other.passphrase &&
               passphraseUnknown == other.passphraseUnknown;
    }
};

namespace SecuritySettingsFile
{
// The settings in folder (ending in '/'); the defaults when there is no file. An unknown
// AcceptFrom reads as remote-host: the safe side. A file that cannot be read gives
// passphraseUnknown and the reason in error.
SecuritySettings load(const QString &folder, QString *error = nullptr);
// Replaces the file atomically; its permissions are the owner's alone before the
// passphrase is in it. An empty text on success, else what went wrong.
QString save(const QString &folder, const SecuritySettings &settings);
QByteArray encode(const SecuritySettings &settings);
} // namespace SecuritySettingsFile
