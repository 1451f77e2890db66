#pragma once
// Drives bytes through a bridge, one or both ways at once, and checks every byte that comes
// out: one poll loop writes pattern bytes into the device end of each direction and reads
// the far end, comparing against the same pattern and hashing both sides (SHA-256).
//
// A direction is done when everything it sent has come out. It has lost bytes when its
// output stops for stallSeconds while bytes are still missing; the run then ends and the
// result says how many arrived.
#include "common/StreamPattern.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct PumpSettings {
    // Bytes per direction; 0 runs for `seconds` instead.
    qint64 bytes = 0;
    double seconds = 0;
    // Each direction's pace; 0 is as fast as the path takes the bytes.
    double bytesPerSecond = 0;
    bool avoidDelimiterStart = false;
    double stallSeconds = 10;
    // Called about every sampleSeconds with the seconds since the start.
    double sampleSeconds = 0;
    std::function<void(double)> onSample;
};

struct DirectionResult {
    QString label;
    qint64 sent = 0;
    qint64 received = 0;
    qint64 firstMismatch = -1;
    qint64 mismatched = 0;
    QByteArray sentHash;
    QByteArray receivedHash;
    double firstWrite = 0;
    double lastRead = 0;

    bool intact() const
    {
        return sent > 0 && sent == received && mismatched == 0 && sentHash == receivedHash;
    }
    double seconds() const { return lastRead - firstWrite; }
    double megabytesPerSecond() const
    {
        return seconds() > 0 ? double(received) / seconds() / 1e6 : 0;
    }
    QString describe() const;
};

class TrafficPump final
{
public:
    explicit TrafficPump(PumpSettings settings);
    ~TrafficPump();
    TrafficPump(const TrafficPump &) = delete;
    TrafficPump &operator=(const TrafficPump &) = delete;

    void addDirection(const QString &label, int writeFd, int readFd, quint64 seed);
    std::vector<DirectionResult> run();

private:
    struct Direction;

    bool sendingOver(const Direction &direction, double elapsed) const;
    qint64 allowance(const Direction &direction, double elapsed) const;
    void writeSome(Direction &direction, double now, double elapsed);
    void readSome(Direction &direction, double now);

    PumpSettings m_settings;
    std::vector<std::unique_ptr<Direction>> m_directions;
};
