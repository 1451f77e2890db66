#include "support/Namespaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <unistd.h>

NamespacePair::NamespacePair()
{
    const QString tag = QString::number(::getpid() % 100000);
    for (int host = 0; host < 2; ++host) {
        m_names[host] = QStringLiteral("tethra%1%2").arg(tag, QChar('a' + host));
        m_interfaces[host] = QStringLiteral("tv%1%2").arg(tag, QChar('a' + host));
        m_addresses[host] = QStringLiteral("10.233.%1.%2").arg(::getpid() % 200 + 1).arg(host + 1);
    }
    if (::geteuid() != 0) {
        m_error = QStringLiteral("network namespaces need root");
        return;
    }
    const QStringList steps[] = {
        {"ip", "netns", "add", m_names[0]},
        {"ip", "netns", "add", m_names[1]},
        {"ip", "link", "add", m_interfaces[0], "type", "veth", "peer", "name", m_interfaces[1]},
        {"ip", "link", "set", m_interfaces[0], "netns", m_names[0]},
        {"ip", "link", "set", m_interfaces[1], "netns", m_names[1]},
    };
    for (const QStringList &step : steps) {
        QString output;
        if (!runCommand(step, &output)) {
            m_error = step.join(' ') + QStringLiteral(": ") + output;
            return;
        }
    }
    for (int host = 0; host < 2; ++host) {
        const QStringList inside = {"ip", "netns", "exec", m_names[host]};
        const QStringList hostSteps[] = {
            inside + QStringList{"ip", "link", "set", "lo", "up"},
            inside + QStringList{"ip", "address", "add", m_addresses[host] + "/24", "dev",
                                 m_interfaces[host]},
            inside + QStringList{"ip", "link", "set", m_interfaces[host], "up"},
        };
        for (const QStringList &step : hostSteps) {
            QString output;
            if (!runCommand(step, &output)) {
                m_error = step.join(' ') + QStringLiteral(": ") + output;
                return;
            }
        }
    }
    QDir().mkpath(QStringLiteral("/var/lib/tethra"));
    m_up = true;
}

NamespacePair::~NamespacePair()
{
    for (const QString &name : m_names)
        runCommand({"ip", "netns", "delete", name});
}

bool NamespacePair::setLinkUp(bool up)
{
    bool ok = true;
    for (int host = 0; host < 2; ++host)
        ok &= runCommand({"ip", "netns", "exec", m_names[host], "ip", "link", "set",
                          m_interfaces[host], up ? "up" : "down"});
    return ok;
}

bool NamespacePair::setLinkRate(const QString &rate)
{
    bool ok = true;
    for (int host = 0; host < 2; ++host) {
        const QStringList tc = {"ip", "netns", "exec", m_names[host], "tc", "qdisc"};
        const QStringList device = {"dev", m_interfaces[host], "root"};
        if (rate.isEmpty()) {
            runCommand(tc + QStringList{"del"} + device);
            continue;
        }
        ok &= runCommand(tc + QStringList{"replace"} + device +
                         QStringList{"tbf", "rate", rate, "burst", "16kb", "latency", "2000ms"});
    }
    return ok;
}

QStringList NamespacePair::commandInHost(int host, const QString &settingsFolder,
                                         const QStringList &program) const
{
    // A private mount namespace gives the station its own /var/lib/tethra/.
    const QString script = QStringLiteral("mount --bind \"$0\" /var/lib/tethra && exec \"$@\"");
    return QStringList{"ip",      "netns",   "exec",          m_names[host],
                       "unshare", "--mount", "--propagation", "private",
                       "sh",      "-c",      script,          settingsFolder} +
           program;
}

bool NamespacePair::runCommand(const QStringList &command, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(10000))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
