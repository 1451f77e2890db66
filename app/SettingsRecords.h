#pragma once
// The settings file as plain data: 17 records, one a line, written once at exit and read
// once at start.
//
// Format
// - Lines end in CR LF; each character is one byte (Latin-1).
// - A text is written between double quotes with nothing escaped, so a text holding a
//   double quote cannot be stored whole. Numbers are plain decimal; Booleans are #TRUE# or
//   #FALSE# without quotes; record 2 is an empty line.
// - Reading takes one field after the other: a field that starts with a double quote runs to
//   the next double quote (anything after it up to the next comma or line end is skipped);
//   any other field runs to the next comma or line end, leading blanks skipped. Both CR LF
//   and a bare LF end a line.
// - Number records take the number at the start of their field, as typed numbers are read
//   everywhere in the station: a field without a number reads as 0, fractions round half to
//   even. A number beyond the 32-bit range stops the reading, like a short file does.
#include <QByteArray>
#include <QString>

#include <optional>

class RandomSource;

struct SettingsRecords {
    static constexpr char kFileName[] = "TETHRA.SAV";
    static constexpr int kRecordCount = 17;
    static constexpr int kRxLogFileRecord = 13;
    static constexpr int kTxLogFileRecord = 14;

    int portNumber = 9801;
    QString remoteHost;
    // 0 when the serial port was closed at saving.
    int serialPort = 0;
    QString serialSettings = QStringLiteral("9600,n,8,1");
    int handshaking = 0;
    QString rxLogFile;
    QString txLogFile;
    bool viewTraffic = false;
    bool runInServerMode = false;
    bool autoResolveHostName = false;
};

// How far reading got. A complete read has every record; an incomplete one has the error
// text and, when reading got past them, the two log paths, which the station applies even
// from a file that stops early.
struct SettingsReadResult {
    bool complete = false;
    SettingsRecords records;
    QString error;
    int recordsRead = 0;
    std::optional<QString> rxLogFile;
    std::optional<QString> txLogFile;
};

// The whole file. Record 11 is ten random capital letters drawn from random.
QByteArray encode(const SettingsRecords &records, RandomSource &random);
SettingsReadResult decodeSettingsRecords(const QByteArray &bytes);
