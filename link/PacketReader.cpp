#include "link/PacketReader.h"

#include "link/LinkProtocol.h"

#include <algorithm>

namespace
{

constexpr qsizetype kDelimLength = LinkProtocol::kDelimLength;
// Delimiter and flag.
constexpr qsizetype kHeaderLength = kDelimLength + 1;

} // namespace

PacketReader::PacketReader(QByteArray &buffer)
    : m_buffer(buffer), m_delim(LinkProtocol::PacketDelim()), m_searchFrom(kHeaderLength)
{
}

void PacketReader::append(const QByteArray &bytes)
{
    resync();
    m_current.reset();
    m_buffer.append(bytes);
    settle();
    remember();
}

std::optional<PacketReader::Packet> PacketReader::next()
{
    resync();
    m_current.reset();
    settle();
    if (m_buffer.size() >= kHeaderLength) {
        const char flag = m_buffer.at(kDelimLength);
        if (flag != LinkProtocol::kFlagData) {
            m_current = Packet{flag, QByteArray()};
            dropFront(kHeaderLength);
            skipToDelimiter();
        } else if (m_endAt >= 0 && m_endAt + kDelimLength < m_buffer.size()) {
            m_current = Packet{flag, m_buffer.mid(kHeaderLength, m_endAt - kHeaderLength)};
            dropFront(m_endAt);
        }
    }
    remember();
    return m_current;
}

void PacketReader::keepCurrent()
{
    resync();
    if (!m_current)
        return;
    QByteArray head = m_delim + m_current->flag;
    if (m_current->flag == LinkProtocol::kFlagData) {
        head += m_current->payload;
        m_buffer.prepend(head);
        // Its end is known: the delimiter that now follows it.
        m_endAt = head.size();
        m_searchFrom = m_endAt;
    } else {
        m_buffer.prepend(head);
        forgetSearch();
    }
    m_current.reset();
    remember();
}

bool PacketReader::holdsIncompleteData() const
{
    return m_buffer.size() >= kHeaderLength && m_buffer.startsWith(m_delim) &&
           m_buffer.at(kDelimLength) == LinkProtocol::kFlagData;
}

void PacketReader::resync()
{
    if (m_buffer.constData() == m_knownData && m_buffer.size() == m_knownSize)
        return;
    m_current.reset();
    forgetSearch();
}

void PacketReader::remember()
{
    m_knownData = m_buffer.constData();
    m_knownSize = m_buffer.size();
}

// Brings the head of the buffer to a packet start (or a possible delimiter tail) and applies
// the bound to a "D" packet waiting there.
void PacketReader::settle()
{
    for (;;) {
        skipToDelimiter();
        if (m_buffer.size() < kHeaderLength || m_buffer.at(kDelimLength) != LinkProtocol::kFlagData)
            return;

        if (m_endAt < 0) {
            m_endAt = m_buffer.indexOf(m_delim, m_searchFrom);
            // A delimiter that starts in the last 9 bytes may still be arriving.
            if (m_endAt < 0)
                m_searchFrom = std::max(kHeaderLength, m_buffer.size() - (kDelimLength - 1));
        }
        const qsizetype earliestEnd = m_endAt >= 0 ? m_endAt : m_searchFrom;
        if (earliestEnd + kHeaderLength <= kBufferBound)
            return;
        // Too long to ever be delivered: keep only what may begin the next packet.
        dropFront(earliestEnd);
    }
}

void PacketReader::skipToDelimiter()
{
    if (m_buffer.startsWith(m_delim))
        return;
    const qsizetype at = m_buffer.indexOf(m_delim);
    if (at >= 0) {
        dropFront(at);
        return;
    }
    qsizetype keep = std::min(m_buffer.size(), kDelimLength - 1);
    while (keep > 0 && !m_buffer.endsWith(QByteArrayView(m_delim).first(keep)))
        --keep;
    dropFront(m_buffer.size() - keep);
}

void PacketReader::dropFront(qsizetype count)
{
    if (count <= 0)
        return;
    m_buffer.remove(0, count);
    forgetSearch();
}

void PacketReader::forgetSearch()
{
    m_endAt = -1;
    m_searchFrom = kHeaderLength;
}
