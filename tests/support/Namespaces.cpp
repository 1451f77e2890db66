#include "support/Namespaces.h"

#include <QProcess>

#include <unistd.h>

NamespacePair::NamespacePair()
{
    const int tag = ::getpid() % 100000;
    QList<QStringList> steps;
    for (int host = 0; host < 2; ++host) {
        m_names[host] = QStringLiteral("tethra%1%2").arg(tag).arg(QChar('a' + host));
        m_interfaces[host] = QStringLiteral("tv%1%2").arg(tag).arg(QChar('a' + host));
        m_addresses[host] = QStringLiteral("10.233.%1.%2").arg(tag % 200 + 1).arg(host + 1);
        steps.append({"ip", "netns", "add", m_names[host]});
    }
    steps.append(
        {"ip", "link", "add", m_interfaces[0], "type", "veth", "peer", "name", m_interfaces[1]});
    for (int host = 0; host < 2; ++host) {
        steps.append({"ip", "link", "set", m_interfaces[host], "netns", m_names[host]});
        steps.append(inHost(host) + QStringList{"ip", "link", "set", "lo", "up"});
        steps.append(inHost(host) + QStringList{"ip", "address", "add", m_addresses[host] + "/24",
                                                "dev", m_interfaces[host]});
        steps.append(inHost(host) + QStringList{"ip", "link", "set", m_interfaces[host], "up"});
    }
    for (const QStringList &step : steps) {
        if (QString output; !run(step, &output)) {
            m_error = step.join(' ') + QStringLiteral(": ") + output;
            return;
        }
    }
}

NamespacePair::~NamespacePair()
{
    for (const QString &name : m_names)
        run({"ip", "netns", "delete", name});
}

bool NamespacePair::setLinkUp(bool up)
{
    return inBoth({"ip", "link", "set", "DEV", up ? "up" : "down"});
}

bool NamespacePair::setLinkRate(const QString &rate)
{
    return inBoth({"tc", "qdisc", "replace", "dev", "DEV", "root", "tbf", "rate", rate, "burst",
                   "16kb", "latency", "2000ms"});
}

bool NamespacePair::inBoth(const QStringList &command) const
{
    bool ok = true;
    for (int host = 0; host < 2; ++host)
        ok &= run(inHost(host) + QStringList(command).replaceInStrings("DEV", m_interfaces[host]));
    return ok;
}

bool NamespacePair::run(const QStringList &command, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    const bool ended = process.waitForFinished(10000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
