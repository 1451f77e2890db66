#include "monitor/TrafficView.h"

#include <QTest>

namespace
{

QString numbered(int count, int first = 0)
{
    QString text;
    for (int i = first; i < first + count; ++i)
        text.append(QLatin1Char('0' + i % 10));
    return text;
}

} // namespace

class TrafficViewTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appendAndTrim_pastLimit_dropsFirst99AndKeepsNewestAtEnd();
    void appendAndTrim_atLimit_keepsEverything();
    void appendAndTrim_hugeChunk_isWornDownBy99PerAppend();
    void bytesAsText_mapsEveryByteToSameCode();
};

void TrafficViewTest::appendAndTrim_pastLimit_dropsFirst99AndKeepsNewestAtEnd()
{
    const QString box = numbered(1900);
    const QString chunk = QString(150, QLatin1Char('n'));

    const QString result = TrafficView::appendAndTrim(box, chunk);

    QCOMPARE(result.size(), 1951);
    QVERIFY(result.endsWith(chunk));
    QCOMPARE(result, (box + chunk).mid(99));
}

void TrafficViewTest::appendAndTrim_atLimit_keepsEverything()
{
    const QString result = TrafficView::appendAndTrim(numbered(1990), numbered(10));
    QCOMPARE(result.size(), 2000);
    QCOMPARE(TrafficView::appendAndTrim(result, QStringLiteral("x")).size(), 2001 - 99);
}

void TrafficViewTest::appendAndTrim_hugeChunk_isWornDownBy99PerAppend()
{
    const QString chunk = numbered(5000);
    QString box = TrafficView::appendAndTrim(QString(), chunk);
    QCOMPARE(box.size(), 4901);
    QCOMPARE(box, chunk.mid(99));

    box = TrafficView::appendAndTrim(box, QString());
    QCOMPARE(box.size(), 4802);
    box = TrafficView::appendAndTrim(box, QStringLiteral("z"));
    QCOMPARE(box.size(), 4704);
    QVERIFY(box.endsWith(QLatin1Char('z')));

    int appends = 0;
    while (box.size() > 2000 && appends < 100) {
        box = TrafficView::appendAndTrim(box, QStringLiteral("z"));
        ++appends;
    }
    QVERIFY(box.size() <= 2000);
    QCOMPARE(appends, 28);
}

void TrafficViewTest::bytesAsText_mapsEveryByteToSameCode()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(static_cast<char>(value));

    const QString text = TrafficView::bytesAsText(bytes);

    QCOMPARE(text.size(), 256);
    for (int value = 0; value < 256; ++value)
        QCOMPARE(text.at(value).unicode(), static_cast<char16_t>(value));
}

QTEST_GUILESS_MAIN(TrafficViewTest)
#include "trafficview_test.moc"
