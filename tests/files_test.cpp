// File writes in temporary folders: what replaces data is atomic, what fails says where and
// why and loses nothing; a traffic log may be a FIFO or a device.
#include "platform/Files.h"
#include "platform/LogTarget.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const QByteArray kOld(1000, 'o');
const QByteArray kNew = QByteArray(64 * 1024, 'n') + QByteArray("\0\r\n\xff", 4);
enum Op { Append, Replace, Rewrite, Read };
struct FileCase {
    Op op;
    const char *name;
    int sizeLimit; // a full disk, also for root; 0: none
    QByteArray after;
    const char *error; // empty: succeeds
};
// Reader of the FIFO: none, one that reads, one that reads nothing, one that has gone.
enum Reader { None, Reads, Idle, Gone };
} // namespace
Q_DECLARE_METATYPE(FileCase)

class FilesTest final : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void init()
    {
        QFile::remove(path(QStringLiteral("old")));
        QVERIFY(Files::append(path(QStringLiteral("old")), kOld));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder/inside")));
        QVERIFY(QFile::exists(path("fifo")) ||
                ::mkfifo(QFile::encodeName(path("fifo")), 0600) == 0);
    }

    void files_data()
    {
        QTest::addColumn<FileCase>("c");
        const QByteArray none("<none>");
        QTest::newRow("append") << FileCase{Append, "old", 0, kOld + kNew, ""};
        QTest::newRow("append cut short") << FileCase{Append, "old", 4096, kOld, "File too large"};
        QTest::newRow("replace") << FileCase{Replace, "old", 0, kNew, ""};
        QTest::newRow("replace cut short") << FileCase{Replace, "old", 4096, kOld, "old"};
        QTest::newRow("replace, new folders") << FileCase{Replace, "etc/t/SAV", 0, kNew, ""};
        QTest::newRow("rewrite in place") << FileCase{Rewrite, "old", 0, kNew, ""};
        QTest::newRow("rewrite cut short") << FileCase{Rewrite, "old", 4096, kOld, "old"};
        QTest::newRow("append, no folder") << FileCase{Append, "no/rx", 0, none, "No such file"};
        // Never waits for a reader; a FIFO or device belongs to LogTarget.
        QTest::newRow("append to FIFO") << FileCase{Append, "fifo", 0, {}, "No such device"};
        QTest::newRow("replace a folder") << FileCase{Replace, "folder", 0, none, "is a folder"};
        QTest::newRow("replace under a file") << FileCase{Replace, "old/S", 0, none, "in the way"};
        QTest::newRow("read") << FileCase{Read, "old", 0, kOld, ""};
        QTest::newRow("read, too large") << FileCase{Read, "old", 999, none, "larger than 999"};
        QTest::newRow("read, missing") << FileCase{Read, "no", 0, none, "No such file"};
    }
    void files()
    {
        QFETCH(FileCase, c);
        const QString where = path(QLatin1String(c.name));
        QByteArray read("<none>");
        Files::Result result;
        if (c.op == Read) {
            result = Files::read(where, &read, c.sizeLimit ? c.sizeLimit : 4096);
        } else {
            rlimit old{}, lowered{};
            ::getrlimit(RLIMIT_FSIZE, &old);
            lowered = {c.sizeLimit ? rlim_t(c.sizeLimit) : old.rlim_cur, old.rlim_max};
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
            result = c.op == Append    ? Files::append(where, kNew)
                     : c.op == Replace ? Files::replaceAtomically(where, kNew)
                                       : Files::rewriteInPlace(where, kNew);
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
            QFile file(where);
            if (!c.after.isEmpty())
                read = file.open(QIODevice::ReadOnly) ? file.readAll() : "<none>";
        }
        QCOMPARE(result.ok, !*c.error);
        QVERIFY2(result.ok || (result.error.contains(where.section(u'/', 0, -2)) &&
                               result.error.contains(QLatin1String(c.error))),
                 qPrintable(result.error));
        QVERIFY(c.after.isEmpty() || read == c.after);
        // Nothing else is left behind or harmed.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old"});
        QVERIFY(QFileInfo(path("folder/inside")).isDir());
    }

    void logTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("reader");
        QTest::addColumn<QString>("error");
        QTest::newRow("file") << "old" << int(None) << "";
        QTest::newRow("device") << "/dev/null" << int(None) << "";
        QTest::newRow("FIFO read") << "fifo" << int(Reads) << "";
        QTest::newRow("FIFO full: takes what fits") << "fifo" << int(Idle) << "";
        QTest::newRow("FIFO, no reader") << "fifo" << int(None) << "no program is reading it";
        QTest::newRow("FIFO, reader gone")
            << "fifo" << int(Gone) << "the program reading it has gone";
    }
    void logTarget()
    {
        QFETCH(QString, target);
        QFETCH(int, reader);
        QFETCH(QString, error);
        const QString where = target.startsWith(u'/') ? target : path(target);
        const int fd = reader ? ::open(QFile::encodeName(where), O_RDONLY | O_NONBLOCK) : -1;
        LogTarget log;
        const QByteArray bytes = reader == Idle ? QByteArray(1024 * 1024, 'x') : kOld;
        QCOMPARE(log.append(where, "first").written, reader == None && !error.isEmpty() ? 0 : 5);
        if (reader == Gone)
            ::close(fd);
        const LogTarget::Result result = log.append(where, bytes);
        QCOMPARE(result.error, error.isEmpty() ? error : where + QStringLiteral(": ") + error);
        QVERIFY(reader == Idle ? result.written > 0 && result.written < bytes.size()
                               : result.written == (error.isEmpty() ? bytes.size() : 0));
        QByteArray taken(bytes.size() + 5, 0);
        taken.resize(reader == Reads ? qMax(0L, ::read(fd, taken.data(), taken.size())) : 0);
        QVERIFY(reader != Reads || taken == "first" + bytes);
        // The FIFO and the device are the user's own: removing logs leaves them.
        QCOMPARE(Files::remove(where), target == "old");
        QVERIFY(QFile::exists(where) != (target == "old"));
        if (fd >= 0 && reader != Gone)
            ::close(fd);
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "files_test.moc"
