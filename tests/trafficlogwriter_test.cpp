#include "app/LogQueue.h"
#include "serial/TrafficLogWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
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

} // namespace

class TrafficLogWriterTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void append_everyByteValue_reachesFileUnchangedAndEmptiesBuffer();
    void append_emptyBuffer_touchesNothing();
    void append_renamedLog_isReplacedByNewFileWithOnlyNewData();
    void append_unavailablePath_keepsDataUntilItCanBeWritten();
    void append_fifo_flowsToItsReaderWithoutBlocking();
    void append_switchedOffLog_dropsOnlyMoreThan20000Bytes_data();
    void append_switchedOffLog_dropsOnlyMoreThan20000Bytes();
    void queue_atCeiling_keepsOldestBytesAndLeavesNewestOut();
    void queue_afterFlushAtCeiling_acceptsDataAgain();

private:
    QString append(const QString &path)
    {
        return TrafficLogWriter::AppendTrafficLog(m_log, path, m_buffer, m_flash);
    }

    TrafficLogWriter::LogState m_log{QStringLiteral("Receive log")};
    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_buffer;
    int m_flash = 0;
    int m_run = 0;
};

void TrafficLogWriterTest::init()
{
    QVERIFY(m_dir.isValid());
    // One file per test and data row, so no row sees what another wrote.
    m_path = m_dir.filePath(QStringLiteral("rx-%1.log").arg(++m_run));
    m_buffer.clear();
    m_flash = 0;
    m_log.target.close();
    m_log.failing = false;
}

void TrafficLogWriterTest::append_everyByteValue_reachesFileUnchangedAndEmptiesBuffer()
{
    LogQueue::queue(m_buffer, everyByteValue());
    append(m_path);

    QCOMPARE(contentOf(m_path), everyByteValue());
    QVERIFY(m_buffer.isEmpty());
    QCOMPARE(m_flash, 3);

    m_flash = 1;
    LogQueue::queue(m_buffer, QByteArray("\r\n\0", 3));
    append(m_path);

    QCOMPARE(contentOf(m_path), everyByteValue() + QByteArray("\r\n\0", 3));
    QCOMPARE(m_flash, 3);
}

void TrafficLogWriterTest::append_emptyBuffer_touchesNothing()
{
    append(m_path);

    QVERIFY(!QFile::exists(m_path));
    QCOMPARE(m_flash, 0);
}

void TrafficLogWriterTest::append_renamedLog_isReplacedByNewFileWithOnlyNewData()
{
    LogQueue::queue(m_buffer, "first tick");
    append(m_path);
    const QString renamed = m_path + QStringLiteral(".taken");
    QVERIFY(QFile::rename(m_path, renamed));

    LogQueue::queue(m_buffer, "second tick");
    append(m_path);

    QCOMPARE(contentOf(m_path), QByteArray("second tick"));
    QCOMPARE(contentOf(renamed), QByteArray("first tick"));

    // A reader that deleted the log gets a new one at the next append as well.
    QVERIFY(QFile::remove(m_path));
    LogQueue::queue(m_buffer, "third tick");
    append(m_path);
    QCOMPARE(contentOf(m_path), QByteArray("third tick"));
}

void TrafficLogWriterTest::append_unavailablePath_keepsDataUntilItCanBeWritten()
{
    // A folder where the file should be refuses the append, for root as well.
    QVERIFY(QDir().mkdir(m_path));
    QByteArray expected;
    QStringList reports;
    for (int tick = 0; tick < 5; ++tick) {
        const QByteArray chunk = QByteArray::number(tick) + everyByteValue();
        expected += chunk;
        LogQueue::queue(m_buffer, chunk);
        reports += append(m_path);
        QCOMPARE(m_buffer, expected);
        QCOMPARE(m_flash, 0);
    }
    // Told once, not on every tick.
    QVERIFY2(reports.first().startsWith(QStringLiteral("Receive log not written: ")) &&
                 reports.first().contains(m_path),
             qPrintable(reports.first()));
    QCOMPARE(reports.mid(1), QStringList(4, QString()));

    QVERIFY(QDir().rmdir(m_path));
    QCOMPARE(append(m_path), QStringLiteral("Receive log written again"));

    QCOMPARE(contentOf(m_path), expected);
    QVERIFY(m_buffer.isEmpty());
    QCOMPARE(m_flash, 3);
    QCOMPARE(append(m_path), QString());
}

void TrafficLogWriterTest::append_fifo_flowsToItsReaderWithoutBlocking()
{
    QVERIFY(::mkfifo(QFile::encodeName(m_path).constData(), 0600) == 0);
    const QByteArray early("before the reader");
    LogQueue::queue(m_buffer, early);

    // No reader yet: kept as for a file that cannot be opened, and told once.
    const QString refused = append(m_path);
    QVERIFY2(refused.contains(QStringLiteral("no program is reading it")), qPrintable(refused));
    QCOMPARE(append(m_path), QString());
    QCOMPARE(m_buffer, early);

    const int reader = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    const auto drain = [reader] {
        QByteArray got(1 << 20, Qt::Uninitialized);
        const ssize_t n = ::read(reader, got.data(), got.size());
        got.resize(qMax<ssize_t>(n, 0));
        return std::make_pair(got, n);
    };
    // More than a pipe holds: what does not fit waits in the buffer, in order.
    QByteArray expected = early;
    for (int round = 0; round < 400; ++round)
        expected += everyByteValue();
    LogQueue::queue(m_buffer, expected.mid(early.size()));
    QCOMPARE(append(m_path), QStringLiteral("Receive log written again"));
    QVERIFY(!m_buffer.isEmpty());
    QByteArray received;
    for (int tick = 0; tick < 10 && received.size() < expected.size(); ++tick) {
        received += drain().first;
        append(m_path);
    }
    QCOMPARE(received, expected);
    QVERIFY(m_buffer.isEmpty());
    // Still open between ticks: the reader has not seen the end of the stream.
    const auto [nothing, result] = drain();
    QVERIFY(result < 0 && errno == EAGAIN);

    // The reader gone: told once more, the bytes kept, and the program not ended by SIGPIPE.
    ::close(reader);
    LogQueue::queue(m_buffer, "after the reader");
    const QString gone = append(m_path);
    QVERIFY2(gone.contains(QStringLiteral("has gone")), qPrintable(gone));
    QCOMPARE(m_buffer, QByteArray("after the reader"));
}

void TrafficLogWriterTest::append_switchedOffLog_dropsOnlyMoreThan20000Bytes_data()
{
    QTest::addColumn<int>("buffered");
    QTest::addColumn<bool>("dropped");

    QTest::newRow("20001 dropped") << 20001 << true;
    QTest::newRow("20000 kept") << 20000 << false;
    QTest::newRow("1 kept") << 1 << false;
}

void TrafficLogWriterTest::append_switchedOffLog_dropsOnlyMoreThan20000Bytes()
{
    QFETCH(int, buffered);
    QFETCH(bool, dropped);
    const QByteArray data(buffered, 'd');
    LogQueue::queue(m_buffer, data);

    append(QString());

    QCOMPARE(m_buffer.isEmpty(), dropped);
    QCOMPARE(m_flash, 0);

    // What was kept is written once a path is set again.
    append(m_path);
    QCOMPARE(contentOf(m_path), dropped ? QByteArray("<missing>") : data);
}

void TrafficLogWriterTest::queue_atCeiling_keepsOldestBytesAndLeavesNewestOut()
{
    constexpr qsizetype kCeiling = LogQueue::kBufferCeiling;
    m_buffer = QByteArray(kCeiling - 10, 'o');

    LogQueue::queue(m_buffer, "0123456789abcdef");

    QCOMPARE(m_buffer.size(), kCeiling);
    QVERIFY(m_buffer.endsWith("o0123456789"));

    LogQueue::queue(m_buffer, "more");
    QCOMPARE(m_buffer.size(), kCeiling);
    QVERIFY(m_buffer.endsWith("o0123456789"));
    QVERIFY(m_buffer.startsWith("ooo"));
}

void TrafficLogWriterTest::queue_afterFlushAtCeiling_acceptsDataAgain()
{
    constexpr qsizetype kCeiling = LogQueue::kBufferCeiling;
    LogQueue::queue(m_buffer, QByteArray(kCeiling, 'a'));
    LogQueue::queue(m_buffer, "lost");
    QCOMPARE(m_buffer.size(), kCeiling);

    append(m_path);
    LogQueue::queue(m_buffer, "after");
    append(m_path);

    const QByteArray content = contentOf(m_path);
    QCOMPARE(content.size(), kCeiling + 5);
    QVERIFY(content.endsWith(QByteArray("aaaaafter")));
    QVERIFY(!content.contains("lost"));
}

QTEST_GUILESS_MAIN(TrafficLogWriterTest)
#include "trafficlogwriter_test.moc"
