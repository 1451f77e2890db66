#include "platform/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));
    return bytes;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void writePlain(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Lowers the file size limit for the lifetime of the object. Writes past the limit then fail
// with EFBIG, also for root, which makes a failing write real without a full disk.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const { return m_active; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace

class FilesTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void append_everyByteValue_arrivesUnchangedAndInOrder();
    void append_failures_giveReadableErrorAndCreateNothing_data();
    void append_failures_giveReadableErrorAndCreateNothing();
    void append_readOnlyFile_fails();
    void append_writeCutShort_leavesFileAtOldLength();
    void replaceAtomically_replacesContentAndLeavesNoTemporaryFile();
    void replaceAtomically_createsMissingFolders();
    void replaceAtomically_failedWrite_keepsOldContent();
    void replaceAtomically_pathIsFolder_failsAndKeepsFolder();
    void replaceAtomically_folderBlockedByFile_fails();
    void read_missingFile_failsWithPath();
    void read_fileAboveLimit_isRefused();
    void removeAndExists_followTheFile();

private:
    QTemporaryDir m_dir;
};

void FilesTest::append_everyByteValue_arrivesUnchangedAndInOrder()
{
    const QString path = m_dir.filePath(QStringLiteral("bytes.log"));
    QVERIFY(!QFile::exists(path));

    const Files::Result first = Files::append(path, everyByteValue());
    QVERIFY2(first.ok, qPrintable(first.error));
    const Files::Result second = Files::append(path, QByteArray("\r\n\0tail", 7));
    QVERIFY2(second.ok, qPrintable(second.error));

    QCOMPARE(contentOf(path), everyByteValue() + QByteArray("\r\n\0tail", 7));
}

void FilesTest::append_failures_giveReadableErrorAndCreateNothing_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("reason");

    QTest::newRow("folder missing")
        << QStringLiteral("missing/sub/rx.log") << QStringLiteral("No such file");
    QTest::newRow("path under a file")
        << QStringLiteral("plain.txt/rx.log") << QStringLiteral("Not a directory");
    QTest::newRow("path names a folder")
        << QStringLiteral("afolder") << QStringLiteral("Is a directory");
}

void FilesTest::append_failures_giveReadableErrorAndCreateNothing()
{
    QFETCH(QString, relativePath);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    writePlain(dir.filePath(QStringLiteral("plain.txt")), "keep");
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("afolder")));
    const QString path = dir.filePath(relativePath);

    const Files::Result result = Files::append(path, "data");

    QVERIFY(!result.ok);
    QVERIFY(!result);
    QVERIFY2(result.error.contains(path), qPrintable(result.error));
    QVERIFY2(result.error.contains(reason, Qt::CaseInsensitive), qPrintable(result.error));
    QCOMPARE(contentOf(dir.filePath(QStringLiteral("plain.txt"))), QByteArray("keep"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
}

void FilesTest::append_readOnlyFile_fails()
{
    if (geteuid() == 0)
        QSKIP("root bypasses the permission check, so a read-only file stays writable");
    const QString path = m_dir.filePath(QStringLiteral("readonly.log"));
    writePlain(path, "old");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);

    const Files::Result result = Files::append(path, "new");

    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(QStringLiteral("Permission denied")), qPrintable(result.error));
    QCOMPARE(contentOf(path), QByteArray("old"));
}

void FilesTest::append_writeCutShort_leavesFileAtOldLength()
{
    const QString path = m_dir.filePath(QStringLiteral("short.log"));
    const QByteArray old(1000, 'o');
    writePlain(path, old);
    const QByteArray big(100 * 1024, 'n');

    Files::Result result;
    {
        FileSizeLimit limit(64 * 1024);
        if (!limit.active())
            QSKIP("cannot lower the file size limit here");
        result = Files::append(path, big);
    }

    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(path), qPrintable(result.error));
    QCOMPARE(contentOf(path), old);

    // The retry after the failure appends the chunk exactly once.
    const Files::Result retry = Files::append(path, big);
    QVERIFY2(retry.ok, qPrintable(retry.error));
    QCOMPARE(contentOf(path), old + big);
}

void FilesTest::replaceAtomically_replacesContentAndLeavesNoTemporaryFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TETHRA.SAV"));
    writePlain(path, "old content that is longer than the new one");

    const Files::Result result = Files::replaceAtomically(path, everyByteValue());

    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(contentOf(path), everyByteValue());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("TETHRA.SAV")});
}

void FilesTest::replaceAtomically_createsMissingFolders()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("etc/tethra/TETHRA.SAV"));

    const Files::Result result = Files::replaceAtomically(path, "records");

    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(contentOf(path), QByteArray("records"));
}

void FilesTest::replaceAtomically_failedWrite_keepsOldContent()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TETHRA.SAV"));
    const QByteArray old("the settings of the last run");
    writePlain(path, old);

    Files::Result result;
    {
        FileSizeLimit limit(4096);
        if (!limit.active())
            QSKIP("cannot lower the file size limit here");
        result = Files::replaceAtomically(path, QByteArray(64 * 1024, 'x'));
    }

    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(path), qPrintable(result.error));
    QCOMPARE(contentOf(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("TETHRA.SAV")});
}

void FilesTest::replaceAtomically_pathIsFolder_failsAndKeepsFolder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("TETHRA.SAV"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("TETHRA.SAV")));
    writePlain(path + QStringLiteral("/inside"), "inside");

    const Files::Result result = Files::replaceAtomically(path, "records");

    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(path), qPrintable(result.error));
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(contentOf(path + QStringLiteral("/inside")), QByteArray("inside"));
}

void FilesTest::replaceAtomically_folderBlockedByFile_fails()
{
    QTemporaryDir dir;
    writePlain(dir.filePath(QStringLiteral("etc")), "a file where the folder should be");
    const QString path = dir.filePath(QStringLiteral("etc/TETHRA.SAV"));

    const Files::Result result = Files::replaceAtomically(path, "records");

    QVERIFY(!result.ok);
    QVERIFY2(!result.error.isEmpty(), "no error text");
    QCOMPARE(contentOf(dir.filePath(QStringLiteral("etc"))),
             QByteArray("a file where the folder should be"));
}

void FilesTest::read_missingFile_failsWithPath()
{
    const QString path = m_dir.filePath(QStringLiteral("nothing-here.sav"));
    QByteArray bytes("untouched");

    const Files::Result result = Files::read(path, &bytes);

    QVERIFY(!result.ok);
    QVERIFY2(result.error.contains(path), qPrintable(result.error));
    QCOMPARE(bytes, QByteArray("untouched"));
}

void FilesTest::read_fileAboveLimit_isRefused()
{
    const QString path = m_dir.filePath(QStringLiteral("large.sav"));
    writePlain(path, QByteArray(101, 'a'));
    QByteArray bytes;

    QVERIFY(Files::read(path, &bytes, 101).ok);
    QCOMPARE(bytes.size(), 101);

    const Files::Result refused = Files::read(path, &bytes, 100);
    QVERIFY(!refused.ok);
    QVERIFY2(refused.error.contains(QStringLiteral("100")), qPrintable(refused.error));
}

void FilesTest::removeAndExists_followTheFile()
{
    const QString path = m_dir.filePath(QStringLiteral("gone.log"));
    QVERIFY(!Files::exists(path));
    QVERIFY(!Files::remove(path));

    QVERIFY(Files::append(path, "x").ok);
    QVERIFY(Files::exists(path));
    QVERIFY(Files::remove(path));
    QVERIFY(!Files::exists(path));
    QVERIFY(!Files::exists(QString()));
}

QTEST_GUILESS_MAIN(FilesTest)
#include "files_test.moc"
