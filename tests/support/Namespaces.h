#pragma once
// Two test hosts on one machine: two network namespaces joined by a veth pair, each with its
// own address, so two stations can both use port 9801. Needs root (CI runs as root).
#include <QString>
#include <QStringList>

class NamespacePair
{
public:
    NamespacePair();
    ~NamespacePair();
    NamespacePair(const NamespacePair &) = delete;
    NamespacePair &operator=(const NamespacePair &) = delete;

    bool isUp() const { return m_up; }
    QString errorString() const { return m_error; }
    QString name(int host) const { return m_names[host]; }
    QString address(int host) const { return m_addresses[host]; }
    QString interfaceName(int host) const { return m_interfaces[host]; }
    // Takes the link between the two hosts down or up again.
    bool setLinkUp(bool up);
    // Shapes the link to rate in both directions (tc's notation, such as "4mbit"); an empty
    // rate takes the shaping off.
    bool setLinkRate(const QString &rate);
    // The command line that runs program inside a host with folder mounted privately as
    // /var/lib/tethra/.
    QStringList commandInHost(int host, const QString &settingsFolder,
                              const QStringList &program) const;

    static bool runCommand(const QStringList &command, QString *output = nullptr);

private:
    bool m_up = false;
    QString m_error;
    QString m_names[2];
    QString m_addresses[2];
    QString m_interfaces[2];
};
