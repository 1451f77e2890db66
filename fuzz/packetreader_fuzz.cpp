// Feeds a stream through PacketReader in reads chosen by the input and checks what must hold
// whatever the peer sends.
//
// Input layout: byte 0 holds the number of read lengths in its low 4 bits, and three mode
// bits: 0x10 makes a new reader for every read, 0x20 defers the first state packet after
// every other read (as a loopback command does), 0x40 expands 0xFE c f into (c + 1) * 1024
// bytes f so that short inputs reach the buffer bound. Then come the read lengths, two bytes
// each (1 to 1024, used in turn), then the stream.
#include "link/LinkProtocol.h"
#include "link/PacketReader.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace
{

constexpr int kMaxRead = 1024;
constexpr int kRunUnit = 1024;
constexpr qsizetype kMaxExpanded = 2 * 1024 * 1024;
// Bytes searched, at most, by readers made anew for each read.
constexpr qsizetype kPerReadWorkLimit = qsizetype(1) << 29;
constexpr uint8_t kRunMarker = 0xFE;
constexpr uint8_t kPerReadReader = 0x10;
constexpr uint8_t kDeferState = 0x20;
constexpr uint8_t kExpandRuns = 0x40;

struct Entry {
    char flag;
    QByteArray payload;
    bool operator==(const Entry &other) const
    {
        return flag == other.flag && payload == other.payload;
    }
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool isStateFlag(char flag)
{
    return flag == LinkProtocol::kFlagNormal || flag == LinkProtocol::kFlagLocalLoop ||
           flag == LinkProtocol::kFlagRemoteLoop;
}

bool holdsInvariant(const QByteArray &buffer, const QByteArray &delim)
{
    return buffer.isEmpty() || buffer.startsWith(delim) ||
           (buffer.size() < delim.size() && delim.startsWith(buffer));
}

QByteArray expandRuns(const uint8_t *data, size_t size)
{
    QByteArray stream;
    for (size_t i = 0; i < size && stream.size() < kMaxExpanded; ++i) {
        if (data[i] == kRunMarker && i + 2 < size) {
            stream.append(qsizetype(data[i + 1] + 1) * kRunUnit, char(data[i + 2]));
            i += 2;
        } else {
            stream.append(char(data[i]));
        }
    }
    return stream;
}

QList<Entry> wholeStreamTrace(const QByteArray &stream)
{
    QByteArray buffer;
    PacketReader reader(buffer);
    reader.append(stream);
    QList<Entry> trace;
    while (const auto packet = reader.next())
        trace.append({packet->flag, packet->payload});
    return trace;
}

// Data payloads come out in stream order and never overlap, so each must be found after the
// previous one.
void checkPayloadsComeFromStream(const QList<Entry> &trace, const QByteArray &stream)
{
    auto from = stream.cbegin();
    for (const Entry &entry : trace) {
        if (entry.flag != LinkProtocol::kFlagData || entry.payload.isEmpty())
            continue;
        const auto at =
            std::search(from, stream.cend(), entry.payload.cbegin(), entry.payload.cend());
        check(at != stream.cend());
        from = at + entry.payload.size();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const size_t lengthCount = mode & 0x0F;
    if (size < 1 + 2 * lengthCount)
        return 0;
    QList<int> readLengths;
    for (size_t i = 0; i < lengthCount; ++i) {
        const int raw = data[1 + 2 * i] | (data[2 + 2 * i] << 8);
        readLengths.append(1 + raw % kMaxRead);
    }
    if (readLengths.isEmpty())
        readLengths.append(kMaxRead);
    const uint8_t *body = data + 1 + 2 * lengthCount;
    const size_t bodySize = size - 1 - 2 * lengthCount;
    QByteArray stream = (mode & kExpandRuns)
                            ? expandRuns(body, bodySize)
                            : QByteArray(reinterpret_cast<const char *>(body), qsizetype(bodySize));
    // A reader made anew for every read searches a waiting packet again each time, so its
    // work grows with the number of reads times the packet's length. The station keeps one
    // reader; the per-read mode is cut to a stream that ends within the fuzzer's time limit.
    if (mode & kPerReadReader) {
        const qsizetype shortestRead = *std::min_element(readLengths.cbegin(), readLengths.cend());
        const auto work = [shortestRead](qsizetype size) {
            return (size / shortestRead + 1) * std::min(size, PacketReader::kBufferBound);
        };
        qsizetype size = stream.size();
        while (size > 0 && work(size) > kPerReadWorkLimit)
            size /= 2;
        stream.truncate(size);
    }

    const QByteArray delim = LinkProtocol::PacketDelim();
    QByteArray buffer;
    std::optional<PacketReader> lasting;
    if (!(mode & kPerReadReader))
        lasting.emplace(buffer);
    QList<Entry> trace;
    bool syncPending = false;

    const auto readEvent = [&](const QByteArray &bytes, bool setPending) {
        std::optional<PacketReader> fresh;
        if (!lasting)
            fresh.emplace(buffer);
        PacketReader &reader = lasting ? *lasting : *fresh;
        if (setPending)
            syncPending = true;
        reader.append(bytes);
        check(buffer.size() <= PacketReader::kBufferBound + kMaxRead);
        while (const auto packet = reader.next()) {
            if (isStateFlag(packet->flag) && syncPending) {
                syncPending = false;
                reader.keepCurrent();
                check(buffer.startsWith(delim + packet->flag));
                return true;
            }
            trace.append({packet->flag, packet->payload});
        }
        check(buffer.size() <= PacketReader::kBufferBound);
        check(holdsInvariant(buffer, delim));
        return false;
    };

    qsizetype at = 0;
    for (int event = 0; at < stream.size(); ++event) {
        const int length = readLengths.at(event % readLengths.size());
        readEvent(stream.mid(at, length), (mode & kDeferState) && event % 2 == 1);
        at += length;
    }
    // A packet deferred by the last read comes out at the next event.
    while (readEvent(QByteArray(), false)) {
    }

    const QList<Entry> whole = wholeStreamTrace(stream);
    check(trace == whole);
    checkPayloadsComeFromStream(whole, stream);
    return 0;
}
