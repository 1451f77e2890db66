#pragma once
// A reproducible stream of pseudo-random bytes: the sender and the checker of one direction
// each hold one with the same seed, so the checker knows every byte that should arrive
// without keeping what was sent. The stream is the same however it is cut into reads.
//
// With avoidDelimiterStart the stream never holds 0x01, the first byte of the link's
// packet delimiter, so no payload can look like a delimiter.
#include <QtGlobal>

class StreamPattern final
{
public:
    StreamPattern(quint64 seed, bool avoidDelimiterStart);
    void fill(char *out, qsizetype count);

private:
    quint64 m_state;
    quint64 m_word = 0;
    int m_bytesLeft = 0;
    bool m_avoidDelimiterStart;
};
