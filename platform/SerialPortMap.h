#pragma once
// Which device a port number names: Com n (1 to 16) is what <settings folder>/com<n> names
// when that path exists (typically a symlink, com3 -> /dev/ttyUSB0), else /dev/ttyS<n-1>.
#include <QString>

class SerialPortMap
{
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 16;

    explicit SerialPortMap(QString settingsFolder) : m_folder(std::move(settingsFolder)) {}
    QString devicePath(int port) const;
    QString folder() const { return m_folder; }

private:
    QString m_folder;
};
