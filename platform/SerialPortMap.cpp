#include "platform/SerialPortMap.h"

#include <QFileInfo>

QString SerialPortMap::devicePath(int port) const
{
    if (port < kFirstPort || port > kLastPort)
        return {};
    if (!m_folder.isEmpty()) {
        QString mapped = m_folder;
        if (!mapped.endsWith(QLatin1Char('/')))
            mapped += QLatin1Char('/');
        mapped += QStringLiteral("com%1").arg(port);
        // A dangling link still names the port: falling back to a built-in port would open
        // some other device behind the user's back when an adapter is unplugged.
        const QFileInfo info(mapped);
        if (info.exists() || info.isSymLink())
            return mapped;
    }
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}
