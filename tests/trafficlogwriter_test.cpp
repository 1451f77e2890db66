#include "app/LogQueue.h"
#include "serial/TrafficLogWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    void append_switchedOffLog_dropsOnlyMoreThan20000Bytes_data();
    void append_switchedOffLog_dropsOnlyMoreThan20000Bytes();
    void queue_atCeiling_keepsOldestBytesAndLeavesNewestOut();
    void queue_afterFlushAtCeiling_acceptsDataAgain();

private:
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
}

void TrafficLogWriterTest::append_everyByteValue_reachesFileUnchangedAndEmptiesBuffer()
{
    LogQueue::queue(m_buffer, everyByteValue());
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);

    QCOMPARE(contentOf(m_path), everyByteValue());
    QVERIFY(m_buffer.isEmpty());
    QCOMPARE(m_flash, 3);

    m_flash = 1;
    LogQueue::queue(m_buffer, QByteArray("\r\n\0", 3));
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);

    QCOMPARE(contentOf(m_path), everyByteValue() + QByteArray("\r\n\0", 3));
    QCOMPARE(m_flash, 3);
}

void TrafficLogWriterTest::append_emptyBuffer_touchesNothing()
{
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);

    QVERIFY(!QFile::exists(m_path));
    QCOMPARE(m_flash, 0);
}

void TrafficLogWriterTest::append_renamedLog_isReplacedByNewFileWithOnlyNewData()
{
    LogQueue::queue(m_buffer, "first tick");
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);
    const QString renamed = m_path + QStringLiteral(".taken");
    QVERIFY(QFile::rename(m_path, renamed));

    LogQueue::queue(m_buffer, "second tick");
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);

    QCOMPARE(contentOf(m_path), QByteArray("second tick"));
    QCOMPARE(contentOf(renamed), QByteArray("first tick"));

    // A reader that deleted the log gets a new one at the next append as well.
    QVERIFY(QFile::remove(m_path));
    LogQueue::queue(m_buffer, "third tick");
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);
    QCOMPARE(contentOf(m_path), QByteArray("third tick"));
}

void TrafficLogWriterTest::append_unavailablePath_keepsDataUntilItCanBeWritten()
{
    // A folder where the file should be refuses the append, for root as well.
    QVERIFY(QDir().mkdir(m_path));
    QByteArray expected;
    for (int tick = 0; tick < 5; ++tick) {
        const QByteArray chunk = QByteArray::number(tick) + everyByteValue();
        expected += chunk;
        LogQueue::queue(m_buffer, chunk);
        TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);
        QCOMPARE(m_buffer, expected);
        QCOMPARE(m_flash, 0);
    }

    QVERIFY(QDir().rmdir(m_path));
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);

    QCOMPARE(contentOf(m_path), expected);
    QVERIFY(m_buffer.isEmpty());
    QCOMPARE(m_flash, 3);
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

    TrafficLogWriter::AppendTrafficLog(QString(), m_buffer, m_flash);

    QCOMPARE(m_buffer.isEmpty(), dropped);
    QCOMPARE(m_flash, 0);

    // What was kept is written once a path is set again.
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);
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

    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);
    LogQueue::queue(m_buffer, "after");
    TrafficLogWriter::AppendTrafficLog(m_path, m_buffer, m_flash);

    const QByteArray content = contentOf(m_path);
    QCOMPARE(content.size(), kCeiling + 5);
    QVERIFY(content.endsWith(QByteArray("aaaaafter")));
    QVERIFY(!content.contains("lost"));
}

QTEST_GUILESS_MAIN(TrafficLogWriterTest)
#include "trafficlogwriter_test.moc"
