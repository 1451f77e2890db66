#include "link/LinkProtocol.h"

#include <QTest>

namespace
{

// Written out byte by byte so that a wrong delimiter in the code cannot hide in the test.
QByteArray delim()
{
    return QByteArray("\x01\x01"
                      "TETHRA"
                      "\x02\x02",
                      10);
}

} // namespace

class LinkProtocolTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void delimiter_isTheTenWireBytes();
    void message_hasExactLayout_data();
    void message_hasExactLayout();
    void dataMessagesFor_splitsLongChunksLosslessly_data();
    void dataMessagesFor_splitsLongChunksLosslessly();
    void reflectedDataMessagesFor_splitsLongPayloadsLosslessly();
    void testText_choosesByDraw_data();
    void testText_choosesByDraw();
};

void LinkProtocolTest::delimiter_isTheTenWireBytes()
{
    QCOMPARE(LinkProtocol::PacketDelim(), delim());
    QCOMPARE(LinkProtocol::PacketDelim().size(), LinkProtocol::kDelimLength);
    QCOMPARE(LinkProtocol::kMaxDataPerMessage, 32743);
    QCOMPARE(LinkProtocol::kMaxReflectedDataPerMessage, 32745);
}

void LinkProtocolTest::message_hasExactLayout_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("length");

    const QByteArray sp("  ");
    QTest::newRow("data abc") << LinkProtocol::dataMessage("abc")
                              << sp + delim() + "Dabc" + delim() + "E" << 27;
    QTest::newRow("data empty") << LinkProtocol::dataMessage(QByteArray())
                                << sp + delim() + "D" + delim() + "E" << 24;
    const QByteArray binary("\x00\x01\xff\r\n", 5);
    QTest::newRow("data binary kept raw")
        << LinkProtocol::dataMessage(binary) << sp + delim() + "D" + binary + delim() + "E" << 29;
    QTest::newRow("reflected abc")
        << LinkProtocol::reflectedDataMessage("abc") << delim() + "Dabc" + delim() + "E" << 25;
    QTest::newRow("reflected empty")
        << LinkProtocol::reflectedDataMessage(QByteArray()) << delim() + "D" + delim() + "E" << 22;
    QTest::newRow("test message first")
        << LinkProtocol::testMessage(LinkProtocol::testText(0.9))
        << sp + delim() + "DThis is a TETHRA test message\r\n" + delim() + "E" << 26 + 29;
    QTest::newRow("test message second")
        << LinkProtocol::testMessage(LinkProtocol::testText(0.1))
        << sp + delim() + "DAnother test message for TETHRA\r\n" + delim() + "E" << 26 + 31;
    for (const char flag : {'A', 'L', 'R'}) {
        const QByteArray unit = sp + delim() + flag;
        QTest::newRow(qPrintable(QStringLiteral("state %1").arg(flag)))
            << LinkProtocol::stateMessage(flag) << unit + unit << 26;
        QTest::newRow(qPrintable(QStringLiteral("loopback change %1").arg(flag)))
            << LinkProtocol::loopbackChangeMessage(flag) << delim() + flag << 11;
    }
}

void LinkProtocolTest::message_hasExactLayout()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, expected);
    QFETCH(int, length);
    QCOMPARE(message.toHex(' '), expected.toHex(' '));
    QCOMPARE(message.size(), length);
}

void LinkProtocolTest::dataMessagesFor_splitsLongChunksLosslessly_data()
{
    QTest::addColumn<int>("chunkLength");
    QTest::addColumn<int>("messageCount");
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("one byte") << 1 << 1;
    QTest::newRow("largest single") << 32743 << 1;
    QTest::newRow("one over") << 32744 << 2;
    QTest::newRow("two full") << 2 * 32743 << 2;
    QTest::newRow("100000") << 100000 << 4;
}

void LinkProtocolTest::dataMessagesFor_splitsLongChunksLosslessly()
{
    QFETCH(int, chunkLength);
    QFETCH(int, messageCount);
    QByteArray chunk(chunkLength, Qt::Uninitialized);
    for (int i = 0; i < chunkLength; ++i)
        chunk[i] = char((i * 7 + i / 251) & 0xff);

    const QList<QByteArray> messages = LinkProtocol::dataMessagesFor(chunk);
    QCOMPARE(messages.size(), messageCount);
    const QByteArray head = QByteArray("  ") + delim() + 'D';
    const QByteArray tail = delim() + 'E';
    QByteArray reassembled;
    for (const QByteArray &message : messages) {
        QVERIFY(message.size() <= LinkProtocol::kMaxMessageLength);
        QVERIFY(message.startsWith(head));
        QVERIFY(message.endsWith(tail));
        reassembled += message.mid(head.size(), message.size() - head.size() - tail.size());
    }
    QCOMPARE(reassembled, chunk);
}

void LinkProtocolTest::reflectedDataMessagesFor_splitsLongPayloadsLosslessly()
{
    const QByteArray payload(100000, 'x');
    const QList<QByteArray> messages = LinkProtocol::reflectedDataMessagesFor(payload);
    QCOMPARE(messages.size(), 4);
    QCOMPARE(messages.first().size(), LinkProtocol::kMaxMessageLength);
    QByteArray reassembled;
    for (const QByteArray &message : messages) {
        QVERIFY(message.startsWith(delim() + 'D'));
        QVERIFY(message.endsWith(delim() + 'E'));
        reassembled += message.mid(11, message.size() - 22);
    }
    QCOMPARE(reassembled, payload);
    QCOMPARE(LinkProtocol::reflectedDataMessagesFor(QByteArray()),
             QList<QByteArray>{delim() + 'D' + delim() + 'E'});
}

void LinkProtocolTest::testText_choosesByDraw_data()
{
    QTest::addColumn<double>("r");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("0") << 0.0 << QByteArray("Another test message for TETHRA");
    QTest::newRow("0.5") << 0.5 << QByteArray("Another test message for TETHRA");
    QTest::newRow("just above 0.5") << 0.5000001 << QByteArray("This is a TETHRA test message");
    QTest::newRow("0.999") << 0.999 << QByteArray("This is a TETHRA test message");
}

void LinkProtocolTest::testText_choosesByDraw()
{
    QFETCH(double, r);
    QFETCH(QByteArray, text);
    QCOMPARE(LinkProtocol::testText(r), text);
}

QTEST_GUILESS_MAIN(LinkProtocolTest)
#include "linkprotocol_test.moc"
