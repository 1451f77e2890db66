#include "app/SettingsRecords.h"

#include "app/Routines.h"
#include "platform/RandomSource.h"

#include <limits>

namespace
{

constexpr char kHeader[] = "TETHRA defaults";
constexpr char kTrue[] = "#TRUE#";
constexpr char kFalse[] = "#FALSE#";
constexpr char kLineEnd[] = "\r\n";
constexpr int kFillerLength = 10;
constexpr int kFillerSpan = 25;
constexpr int kFillerFirstCode = 'A';
constexpr char kQuote = '"';
constexpr char kComma = ',';
constexpr char kCR = '\r';
constexpr char kLF = '\n';

// Record numbers as they count in the file, from 1.
enum Record {
    PortNumberRecord = 3,
    RemoteHostRecord = 4,
    SerialPortRecord = 5,
    SerialSettingsRecord = 6,
    HandshakingRecord = 7,
    ViewTrafficRecord = 15,
    RunInServerModeRecord = 16,
    AutoResolveHostNameRecord = 17,
};

bool isNumberRecord(int record)
{
    return record == PortNumberRecord || record == SerialPortRecord || record == HandshakingRecord;
}

QByteArray quoted(const QString &text)
{
    return kQuote + text.toLatin1() + kQuote;
}

QByteArray number(int value)
{
    return QByteArray::number(value);
}

QByteArray boolean(bool value)
{
    return value ? QByteArray(kTrue) : QByteArray(kFalse);
}

// Never read back; it only varies the file from save to save. "A" and "Z" come up half as
// often as the other letters, since only half a step of the range rounds to them.
QString fillerLetters(RandomSource &random)
{
    QString letters;
    for (int i = 0; i < kFillerLength; ++i) {
        const qint64 code = Routines::RoundHalfEven(random.next() * kFillerSpan + kFillerFirstCode);
        letters.append(QChar(static_cast<char16_t>(code)));
    }
    return letters;
}

class FieldReader final
{
public:
    explicit FieldReader(const QByteArray &bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    // The next field, or nothing when the data has ended.
    std::optional<QString> next()
    {
        if (atEnd())
            return std::nullopt;
        while (m_pos < m_bytes.size() && m_bytes.at(m_pos) == ' ')
            ++m_pos;
        if (m_pos < m_bytes.size() && m_bytes.at(m_pos) == kQuote) {
            const qsizetype start = m_pos + 1;
            qsizetype end = m_bytes.indexOf(kQuote, start);
            if (end < 0)
                end = m_bytes.size();
            const QString text = QString::fromLatin1(m_bytes.mid(start, end - start));
            m_pos = end + 1;
            skipToDelimiter();
            return text;
        }
        const qsizetype start = m_pos;
        skipToDelimiter();
        return QString::fromLatin1(m_bytes.mid(start, m_fieldEnd - start));
    }

private:
    // Moves past the next comma or line end, remembering where the field stopped.
    void skipToDelimiter()
    {
        while (m_pos < m_bytes.size()) {
            const char c = m_bytes.at(m_pos);
            if (c == kComma || c == kLF) {
                m_fieldEnd = m_pos;
                ++m_pos;
                return;
            }
            if (c == kCR) {
                m_fieldEnd = m_pos;
                ++m_pos;
                if (m_pos < m_bytes.size() && m_bytes.at(m_pos) == kLF)
                    ++m_pos;
                return;
            }
            ++m_pos;
        }
        m_fieldEnd = m_bytes.size();
    }

    const QByteArray &m_bytes;
    qsizetype m_pos = 0;
    qsizetype m_fieldEnd = 0;
};

std::optional<int> readNumber(const QString &field)
{
    const qint64 value = Routines::RoundHalfEven(Routines::ParseLeadingNumber(field));
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

QByteArray encode(const SettingsRecords &records, RandomSource &random)
{
    const QByteArray lines[SettingsRecords::kRecordCount] = {
        quoted(QString::fromLatin1(kHeader)),
        QByteArray(),
        number(records.portNumber),
        quoted(records.remoteHost),
        number(records.serialPort),
        quoted(records.serialSettings),
        number(records.handshaking),
        quoted(QString()),
        quoted(QString()),
        quoted(QString()),
        quoted(fillerLetters(random)),
        number(0),
        quoted(records.rxLogFile),
        quoted(records.txLogFile),
        boolean(records.viewTraffic),
        boolean(records.runInServerMode),
        boolean(records.autoResolveHostName),
    };
    QByteArray file;
    for (const QByteArray &line : lines)
        file += line + kLineEnd;
    return file;
}

SettingsReadResult decodeSettingsRecords(const QByteArray &bytes)
{
    SettingsReadResult result;
    FieldReader reader(bytes);
    QString fields[SettingsRecords::kRecordCount + 1];
    for (int record = 1; record <= SettingsRecords::kRecordCount; ++record) {
        const std::optional<QString> field = reader.next();
        if (!field) {
            result.error = QStringLiteral("Input past end of file: the settings file ends after "
                                          "record %1 of %2")
                               .arg(result.recordsRead)
                               .arg(SettingsRecords::kRecordCount);
            return result;
        }
        fields[record] = *field;
        if (isNumberRecord(record)) {
            if (!readNumber(*field)) {
                result.error =
                    QStringLiteral("Overflow: record %1 of the settings file is beyond the "
                                   "32-bit range")
                        .arg(record);
                return result;
            }
        }
        if (record == SettingsRecords::kRxLogFileRecord)
            result.rxLogFile = *field;
        if (record == SettingsRecords::kTxLogFileRecord)
            result.txLogFile = *field;
        result.recordsRead = record;
    }

    SettingsRecords &records = result.records;
    records.portNumber = *readNumber(fields[PortNumberRecord]);
    records.remoteHost = fields[RemoteHostRecord];
    records.serialPort = *readNumber(fields[SerialPortRecord]);
    records.serialSettings = fields[SerialSettingsRecord];
    records.handshaking = *readNumber(fields[HandshakingRecord]);
    records.rxLogFile = fields[SettingsRecords::kRxLogFileRecord];
    records.txLogFile = fields[SettingsRecords::kTxLogFileRecord];
    // Exact and case-sensitive: "#true#" is False.
    records.viewTraffic = fields[ViewTrafficRecord] == QLatin1String(kTrue);
    records.runInServerMode = fields[RunInServerModeRecord] == QLatin1String(kTrue);
    records.autoResolveHostName = fields[AutoResolveHostNameRecord] == QLatin1String(kTrue);
    result.complete = true;
    return result;
}
