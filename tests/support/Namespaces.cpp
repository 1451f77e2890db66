#include "support/Namespaces.h"

#include <QProcess>

#include <unistd.h>

NamespacePair::NamespacePair()
{
    const QString tag = QString::number(::getpid() % 100000);
    QList<QStringList> steps;
    for (int host = 0; host < 2; ++host) {
        m_names[host] = QStringLiteral("tethra%1%2").arg(tag, QChar('a' + host));
        m_interfaces[host] = QStringLiteral("tv%1%2").arg(tag, QChar('a' + host));
        m_addresses[host] = QStringLiteral("10.233.%1.%2").arg(::getpid() % 200 + 1).arg(host + 1);
        steps.append(QStringList{"ip", "netns", "add", m_names[host]});
    }
    steps.append(
        {"ip", "link", "add", m_interfaces[0], "type", "veth", "peer", "name", m_interfaces[1]});
    for (int host = 0; host < 2; ++host) {
        steps.append(QStringList{"ip", "link", "set", m_interfaces[host], "netns", m_names[host]});
        steps.append(inHost(host) + QStringList{"ip", "link", "set", "lo", "up"});
        steps.append(inHost(host) + QStringList{"ip", "address", "add", m_addresses[host] + "/24",
                                                "dev", m_interfaces[host]});
    }
    steps.append(QStringList{});
    for (const QStringList &step : steps) {
        QString output;
        if (step.isEmpty() ? !setLinkUp(true) : !run(step, &output)) {
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
    bool ok = true;
    for (int host = 0; host < 2; ++host)
        ok &= run(inHost(host) +
                  QStringList{"ip", "link", "set", m_interfaces[host], up ? "up" : "down"});
    return ok;
}

bool NamespacePair::setLinkRate(const QString &rate)
{
    bool ok = true;
    for (int host = 0; host < 2; ++host) {
        const QStringList tc = inHost(host) + QStringList{"tc", "qdisc"};
        const QStringList device = {"dev", m_interfaces[host], "root"};
        if (rate.isEmpty())
            run(tc + QStringList{"del"} + device);
        else
            ok &= run(tc + QStringList{"replace"} + device +
                      QStringList{"tbf", "rate", rate, "burst", "16kb", "latency", "2000ms"});
    }
    return ok;
}

bool NamespacePair::run(const QStringList &command, QString *output)
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
