// Feeds arbitrary bytes to the settings file reader as if they were TETHRA.SAV and checks
// what must hold whatever a damaged or hostile file holds.
//
// - Reading ends, with either every record or an error text, and never claims more records
//   than the file has.
// - The two log paths are reported exactly when reading got past their records.
// - A complete read, saved again and read back, gives the same settings, as long as no text
//   holds a double quote (which the file format cannot store).
#include "app/SettingsRecords.h"
#include "platform/RandomSource.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace
{

// The filler letters are never read back; any draw will do.
class FixedRandom final : public RandomSource
{
public:
    double next() override { return 0.5; }
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool sameRecords(const SettingsRecords &a, const SettingsRecords &b)
{
    return a.portNumber == b.portNumber && a.remoteHost == b.remoteHost &&
           a.serialPort == b.serialPort && a.serialSettings == b.serialSettings &&
           a.handshaking == b.handshaking && a.rxLogFile == b.rxLogFile &&
           a.txLogFile == b.txLogFile && a.viewTraffic == b.viewTraffic &&
           a.runInServerMode == b.runInServerMode && a.autoResolveHostName == b.autoResolveHostName;
}

bool storable(const SettingsRecords &records)
{
    const QChar quote = QLatin1Char('"');
    for (const QString *text :
         {&records.remoteHost, &records.serialSettings, &records.rxLogFile, &records.txLogFile}) {
        if (text->contains(quote))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const SettingsReadResult result = decodeSettingsRecords(bytes);

    check(result.recordsRead >= 0 && result.recordsRead <= SettingsRecords::kRecordCount);
    check(result.complete == (result.recordsRead == SettingsRecords::kRecordCount));
    check(result.complete == result.error.isEmpty());
    check(result.rxLogFile.has_value() ==
          (result.recordsRead >= SettingsRecords::kRxLogFileRecord));
    check(result.txLogFile.has_value() ==
          (result.recordsRead >= SettingsRecords::kTxLogFileRecord));
    // Each record read takes at least one byte of the file.
    check(result.recordsRead <= qsizetype(size));
    if (!result.complete)
        return 0;

    check(*result.rxLogFile == result.records.rxLogFile);
    check(*result.txLogFile == result.records.txLogFile);
    if (!storable(result.records))
        return 0;
    FixedRandom random;
    const SettingsReadResult again = decodeSettingsRecords(encode(result.records, random));
    check(again.complete);
    check(sameRecords(again.records, result.records));
    return 0;
}
