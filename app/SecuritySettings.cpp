#include "app/SecuritySettings.h"

#include "platform/Files.h"

#include <QFileInfo>
#include <QSettings>

#include <cctype>

namespace SecuritySettingsFile
{
namespace
{
const QString kAcceptFromKey = QStringLiteral("Security/AcceptFrom");
const QString kPassphraseKey = QStringLiteral("Security/Passphrase");
const QString kAnyone = QStringLiteral("anyone");
const QString kRemoteHost = QStringLiteral("remote-host");

QByteArray quoted(const QString &text)
{
    // A hex escape runs on over hex digits, so a digit right after one is escaped too.
    QByteArray result = "\"";
    bool afterHexEscape = false;
    for (const QChar c : text) {
        const ushort code = c.unicode();
        const bool hexDigit = std::isxdigit(code < 0x80 ? code : 0);
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
            result += '\\' + QByteArray(1, char(code));
        } else if (code >= 0x20 && code < 0x7f && !(afterHexEscape && hexDigit)) {
            result += char(code);
        } else {
            result += "\\x" + QByteArray::number(code, 16);
            afterHexEscape = true;
            continue;
        }
        afterHexEscape = false;
    }
    return result + '"';
}
} // namespace

SecuritySettings load(const QString &folder, QString *error)
{
    SecuritySettings result;
    const QString path = folder + QLatin1String(SecuritySettings::kFileName);
    const QSettings file(path, QSettings::IniFormat);
    if (QFileInfo::exists(path) &&
        (!QFileInfo(path).isReadable() || file.status() != QSettings::NoError)) {
        result.passphraseUnknown = true;
        if (error)
            *error = QStringLiteral("Cannot read %1: %2")
                         .arg(path, file.status() == QSettings::FormatError
                                        ? QStringLiteral("not in INI format")
                                        : QStringLiteral("access denied"));
        return result;
    }
    if (file.value(kAcceptFromKey).toString().trimmed() == kAnyone)
        result.acceptFrom = SecuritySettings::AcceptFrom::Anyone;
    result.passphrase = file.value(kPassphraseKey).toString();
    return result;
}

QByteArray encode(const SecuritySettings &settings)
{
    const bool anyone = settings.acceptFrom == SecuritySettings::AcceptFrom::Anyone;
    return "[Security]\nAcceptFrom=" + (anyone ? kAnyone : kRemoteHost).toLatin1() +
           "\nPassphrase=" + quoted(settings.passphrase) + '\n';
}

QString save(const QString &folder, const SecuritySettings &settings)
{
    const Files::Result written =
        Files::replaceAtomically(folder + QLatin1String(SecuritySettings::kFileName),
                                 encode(settings), Files::Access::OwnerOnly);
    return written ? QString() : written.error;
}

} // namespace SecuritySettingsFile
