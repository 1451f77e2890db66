#pragma once
// Two test hosts on one machine: two network namespaces joined by a veth pair, each with its
// own address, so two stations can both use port 9801. Needs root (CI runs as root).
#include <QStringList>

class NamespacePair
{
public:
    NamespacePair();
    ~NamespacePair();
    Q_DISABLE_COPY(NamespacePair)

    bool isUp() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    QString address(int host) const { return m_addresses[host]; }
    // The wrapper that runs a program inside a host.
    QStringList inHost(int host) const { return {"ip", "netns", "exec", m_names[host]}; }
    bool setLinkUp(bool up);
    // Shapes the link in both directions (tc's notation, such as "4mbit").
    bool setLinkRate(const QString &rate);
    static bool run(const QStringList &command, QString *output = nullptr);

private:
    // Runs command in each host, "DEV" standing for the host's end of the link.
    bool inBoth(const QStringList &command) const;

    QString m_error;
    QString m_names[2], m_addresses[2], m_interfaces[2];
};
