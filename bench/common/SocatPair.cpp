#include "common/SocatPair.h"

#include "support/Pty.h"

#include <QStringList>

SocatPair::SocatPair()
{
    for (auto &device : m_devices)
        device = std::make_unique<Pty>();
}

SocatPair::~SocatPair() = default;

bool SocatPair::start(const QString &addressA, const QString &addressB, int port)
{
    for (const auto &device : m_devices) {
        if (!device->isOpen()) {
            m_error = QStringLiteral("no pseudo-terminal: ") + device->errorString();
            return false;
        }
    }
    const auto file = [this](int end) {
        return QStringLiteral("FILE:%1,raw,echo=0").arg(m_devices[end]->slavePath());
    };
    const QStringList listener = {
        QStringLiteral("socat"), file(1),
        QStringLiteral("TCP-LISTEN:%1,bind=%2,reuseaddr").arg(port).arg(addressB)};
    // The caller retries until the listener is up, so no start-up order has to be awaited.
    const QStringList caller = {QStringLiteral("socat"), file(0),
                                QStringLiteral("TCP:%1:%2,bind=%3,retry=100,interval=0.05")
                                    .arg(addressB)
                                    .arg(port)
                                    .arg(addressA)};
    if (!m_processes[1].start(listener, m_folder.filePath(QStringLiteral("listener.log"))) ||
        !m_processes[0].start(caller, m_folder.filePath(QStringLiteral("caller.log")))) {
        m_error = m_processes[1].errorString() + m_processes[0].errorString();
        return false;
    }
    return true;
}

int SocatPair::deviceFd(int end) const
{
    return m_devices[end]->masterFd();
}
