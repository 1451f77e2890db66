#include "common/StreamPattern.h"

namespace
{
constexpr quint64 kSeedMix = 0x9E3779B97F4A7C15ULL;
constexpr quint64 kMultiplier = 0x2545F4914F6CDD1DULL;
constexpr char kDelimiterStart = 0x01;
constexpr char kStandIn = char(0xFE);
} // namespace

StreamPattern::StreamPattern(quint64 seed, bool avoidDelimiterStart)
    : m_state(seed * kSeedMix | 1), m_avoidDelimiterStart(avoidDelimiterStart)
{
}

void StreamPattern::fill(char *out, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i) {
        if (m_bytesLeft == 0) {
            // xorshift64*: fast, and good enough that no byte value is favoured.
            m_state ^= m_state >> 12;
            m_state ^= m_state << 25;
            m_state ^= m_state >> 27;
            m_word = m_state * kMultiplier;
            m_bytesLeft = 8;
        }
        char byte = char(m_word & 0xFF);
        m_word >>= 8;
        --m_bytesLeft;
        if (m_avoidDelimiterStart && byte == kDelimiterStart)
            byte = kStandIn;
        out[i] = byte;
    }
}
