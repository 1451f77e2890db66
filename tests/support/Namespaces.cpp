#include "support/Namespaces.h"

#include <QProcess>

#include <unistd.h>

NamespacePair::NamespacePair()
{
    const int tag = ::getpid() % 100000;
    for (int host : {0, 1}) {
        m_names[host] = QStringLiteral("tethra%1%2").arg(tag).arg(QChar('a' + host));
        m_interfaces[host] = QStringLiteral("tv%1%2").arg(tag).arg(QChar('a' + host));
        m_addresses[host] = QStringLiteral("10.233.%1.%2").arg(tag % 200 + 1).arg(host + 1);
    }
    // $1 $2: the hosts, $3 $4: their ends of the link, $5 $6: their addresses.
    const QString script = QStringLiteral(
        "set -ex; ip netns add $1; ip netns add $2; ip link add $3 type veth peer name $4\n"
        "for host in \"$1 $3 $5\" \"$2 $4 $6\"; do set -- $host; ip link set $2 netns $1\n"
        "  ip -n $1 link set lo up; ip -n $1 address add $3/24 dev $2; ip -n $1 link set $2 up\n"
        "done");
    if (QString output; !run({"sh", "-c", script, "sh", m_names[0], m_names[1], m_interfaces[0],
                              m_interfaces[1], m_addresses[0], m_addresses[1]},
                             &output))
        m_error = output;
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
