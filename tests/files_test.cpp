// File writes in temporary folders: what replaces data is atomic, what fails says where and
// why and loses nothing; a traffic log may be a FIFO or a device.
#include "platform/Files.h"
#include "platform/LogTarget.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QByteArray pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 256);
    return bytes;
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

enum Op { Append, Replace, Rewrite, Read };
} // namespace

class FilesTest final : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(Files::append(path(QStringLiteral("old")), QByteArray(1000, 'o')));
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("folder/inside")));
        QVERIFY(::mkfifo(QFile::encodeName(path(QStringLiteral("fifo"))), 0600) == 0);
    }

    void write_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("cutShort"); // by a file size limit: a full disk, also for root
        QTest::addColumn<QByteArray>("expected");
        const QByteArray old(1000, 'o');
        const QByteArray added = pattern(64 * 1024);
        QTest::newRow("append") << int(Append) << "old" << false << old + added;
        QTest::newRow("append cut short") << int(Append) << "old" << true << old;
        QTest::newRow("replace") << int(Replace) << "old" << false << added;
        QTest::newRow("replace cut short") << int(Replace) << "old" << true << old;
        QTest::newRow("replace, new folders") << int(Replace) << "etc/t/SAV" << false << added;
        QTest::newRow("rewrite in place") << int(Rewrite) << "old" << false << added;
        QTest::newRow("rewrite cut short") << int(Rewrite) << "old" << true << old;
    }
    void write()
    {
        QFETCH(int, op);
        QFETCH(QString, name);
        QFETCH(bool, cutShort);
        QFETCH(QByteArray, expected);
        Files::Result result;
        {
            rlimit old{};
            ::getrlimit(RLIMIT_FSIZE, &old);
            rlimit lowered = old;
            lowered.rlim_cur = cutShort ? 16 * 1024 : old.rlim_cur;
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &lowered) == 0);
            const QByteArray added = pattern(64 * 1024);
            result = op == Append    ? Files::append(path(name), added)
                     : op == Replace ? Files::replaceAtomically(path(name), added)
                                     : Files::rewriteInPlace(path(name), added);
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
        QCOMPARE(result.ok, !cutShort);
        QVERIFY2(result.ok || result.error.contains(path(name)), qPrintable(result.error));
        QVERIFY(contentOf(path(name)) == expected);
        QCOMPARE(QDir(QFileInfo(path(name)).path()).entryList(QDir::Files | QDir::Hidden).size(),
                 1);
    }

    void failure_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("append, folder missing") << int(Append) << "no/rx.log"
                                                << "No such file";
        QTest::newRow("append under a file") << int(Append) << "old/rx.log"
                                             << "Not a directory";
        QTest::newRow("append to a folder") << int(Append) << "folder"
                                            << "Is a directory";
        QTest::newRow("append to a FIFO") << int(Append) << "fifo"
                                          << "No such device";
        QTest::newRow("replace a folder") << int(Replace) << "folder"
                                          << "is a folder";
        QTest::newRow("replace under a file") << int(Replace) << "old/SAV"
                                              << "a file is in the way";
        QTest::newRow("read, missing") << int(Read) << "none"
                                       << "No such file";
        QTest::newRow("read, too large") << int(Read) << "old"
                                         << "larger than 999 bytes";
    }
    void failure()
    {
        QFETCH(int, op);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QByteArray read("untouched");
        const Files::Result result = op == Append ? Files::append(path(name), "new")
                                     : op == Read ? Files::read(path(name), &read, 999)
                                                  : Files::replaceAtomically(path(name), "new");
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(reason), qPrintable(result.error));
        QVERIFY2(result.error.contains(path(name).section(u'/', 0, -2)), qPrintable(result.error));
        QCOMPARE(read, QByteArray("untouched"));
        QCOMPARE(contentOf(path(QStringLiteral("old"))), QByteArray(1000, 'o'));
        QVERIFY(QFileInfo(path(QStringLiteral("folder/inside"))).isDir());
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("no"))));
    }

    void remove_onlyFiles()
    {
        QVERIFY(!Files::remove(path(QStringLiteral("fifo"))));
        QVERIFY(!Files::remove(QStringLiteral("/dev/null")));
        QVERIFY(Files::exists(path(QStringLiteral("fifo"))) && QFile::exists("/dev/null"));
        QVERIFY(Files::remove(path(QStringLiteral("old"))));
        QVERIFY(!Files::exists(path(QStringLiteral("old"))));
    }

    void logTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("reader"); // 0 none, 1 reads, 2 reads once then goes, 3 idle
        QTest::addColumn<QString>("error");
        QTest::newRow("file") << "old" << 0 << "";
        QTest::newRow("device") << "/dev/null" << 0 << "";
        QTest::newRow("FIFO read") << "fifo" << 1 << "";
        QTest::newRow("FIFO, no reader") << "fifo" << 0 << "no program is reading it";
        QTest::newRow("FIFO, reader gone") << "fifo" << 2 << "the program reading it has gone";
        QTest::newRow("FIFO, reader idle: takes what fits") << "fifo" << 3 << "";
    }
    void logTarget()
    {
        QFETCH(QString, target);
        QFETCH(int, reader);
        QFETCH(QString, error);
        const QString where = target.startsWith(u'/') ? target : path(target);
        const int fd = reader ? ::open(QFile::encodeName(where), O_RDONLY | O_NONBLOCK) : -1;
        LogTarget log;
        const QByteArray bytes = pattern(reader == 3 ? 1024 * 1024 : 1000);
        QCOMPARE(log.append(where, "first ").written, reader == 0 && !error.isEmpty() ? 0 : 6);
        if (reader == 2)
            ::close(fd);
        const LogTarget::Result result = log.append(where, bytes);
        QCOMPARE(result.error, error.isEmpty() ? error : where + QStringLiteral(": ") + error);
        QVERIFY(reader == 3 ? result.written > 0 && result.written < bytes.size()
                            : result.written == (error.isEmpty() ? bytes.size() : 0));
        QByteArray taken(2 * 1024 * 1024, 0);
        taken.resize(qMax<ssize_t>(0, reader == 1 ? ::read(fd, taken.data(), taken.size()) : 0));
        QVERIFY(reader != 1 || taken == "first " + bytes);
        QVERIFY(target != "old" || contentOf(where) == QByteArray(1000, 'o') + "first " + bytes);
        if (fd >= 0 && reader != 2)
            ::close(fd);
    }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "files_test.moc"
