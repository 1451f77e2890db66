#pragma once
// The file operations of the station. Each reports failure with a readable text.
#include <QByteArray>
#include <QString>

namespace Files
{

struct Result {
    bool ok = true;
    QString error;
    explicit operator bool() const { return ok; }
};

// Opens for appending (creating the file), writes all bytes, closes. On a failed or short
// write the file is cut back to its old length, so a retry appends the bytes exactly once.
Result append(const QString &path, const QByteArray &bytes);
enum class Access { Default, OwnerOnly };
// Writes a temporary file in the same folder and renames it over the old one: a failure or
// a crash never leaves a truncated file behind. Creates the folder when it is missing.
// OwnerOnly makes the temporary file mode 0600 before a byte is written to it.
Result replaceAtomically(const QString &path, const QByteArray &bytes,
                         Access access = Access::Default);
// For a file in a folder where no new file can be made: writes the bytes over the file's
// start and cuts it to their length. Not atomic; on a failed write the old content is put
// back as far as the disk lets it.
Result rewriteInPlace(const QString &path, const QByteArray &bytes);
// Files larger than maxBytes are refused rather than read into memory.
inline constexpr qint64 kDefaultReadLimit = 16 * 1024 * 1024;
Result read(const QString &path, QByteArray *bytes, qint64 maxBytes = kDefaultReadLimit);
// Deletes a file; a FIFO or device at the path is left alone.
bool remove(const QString &path);
bool exists(const QString &path);

} // namespace Files
