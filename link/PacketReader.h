#pragma once
// Cuts the received link stream into packets, working in place on the station's buffer.
//
// Principles of operation
// - After every call the buffer holds exactly the bytes still to be handled. next() removes
//   the packet it returns; keepCurrent() puts it back at the head for the next read event.
// - A dataless packet (any flag but "D") comes out as soon as its flag byte is there; what
//   follows its flag up to the next delimiter means nothing and is dropped with it. A "D"
//   packet comes out only once the next delimiter and the flag behind it have arrived; until
//   then it waits in the buffer from its delimiter on.
// - Once next() has returned nothing, the buffer is empty, starts with a delimiter, or holds
//   only a tail that could be the start of a delimiter cut by a read boundary (at most 9
//   bytes). Keeping that tail is what lets a message split anywhere, even inside a
//   delimiter, arrive whole.
// - A reader that lives as long as the buffer remembers how far it has searched a waiting
//   "D" packet for its end, so each received byte is searched about once. A reader made
//   anew for each read event is just as correct but searches the waiting packet again. If
//   the buffer is changed from outside (cleared on a new connection), the reader notices and
//   starts afresh.
// - A "D" packet that needs more than kBufferBound bytes (from its delimiter to the flag
//   after its end) is dropped as soon as that is certain, so a peer that never ends a packet
//   cannot exhaust memory. Whether a packet is dropped does not depend on how the stream was
//   split into reads.
#include <QByteArray>
#include <QtGlobal>
#include <optional>

class PacketReader final
{
    Q_DISABLE_COPY_MOVE(PacketReader)

public:
    static constexpr qsizetype kBufferBound = 256 * 1024;

    struct Packet {
        char flag = 0;
        // Only "D" packets carry a payload; it is empty for every other flag.
        QByteArray payload;
    };

    // The buffer is only bound here, not read, so it may belong to an object still being
    // built.
    explicit PacketReader(QByteArray &buffer);

    void append(const QByteArray &bytes);
    std::optional<Packet> next();
    // Puts the packet last returned by next() back at the head of the buffer, from its
    // delimiter on, to be returned again after the next append().
    void keepCurrent();
    // True when, after next() returned nothing, a "D" packet waits for its end.
    bool holdsIncompleteData() const;

private:
    void resync();
    void remember();
    void settle();
    void skipToDelimiter();
    void dropFront(qsizetype count);
    void forgetSearch();

    QByteArray &m_buffer;
    const QByteArray m_delim;
    std::optional<Packet> m_current;
    // For a "D" packet at the head: where its closing delimiter was found (-1 while not yet),
    // and where the search for it resumes.
    qsizetype m_endAt = -1;
    qsizetype m_searchFrom = 0;
    // The buffer as this reader left it, to notice changes made from outside.
    const char *m_knownData = nullptr;
    qsizetype m_knownSize = -1;
};
