// What a traffic box keeps and how its bytes look, in a box of the offscreen platform.
#include "monitor/TrafficBox.h"
#include "monitor/TrafficView.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

namespace
{

QByteArray numbered(qsizetype count)
{
    QByteArray bytes;
    for (qsizetype index = 0; index < count; ++index)
        bytes.append(char('0' + index % 10));
    return bytes;
}

// A character as the box's font draws it, other fonts filling in for characters it lacks.
QImage drawn(const QFont &font, const QString &text)
{
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

} // namespace

class TrafficViewTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appendAndTrim_keepsNewest_data();
    void appendAndTrim_keepsNewest();
    void refresh_showsWhatTheBoxHolds_data();
    void refresh_showsWhatTheBoxHolds();
    void controlBytes_drawnDistinctly();
};

void TrafficViewTest::appendAndTrim_keepsNewest_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("appended");
    QTest::addColumn<int>("kept");

    QTest::newRow("150 on 1900 drops 99") << 1900 << 150 << 1951;
    QTest::newRow("up to the limit") << 1990 << 10 << 2000;
    QTest::newRow("one past the limit") << 2000 << 1 << 1902;
    QTest::newRow("large chunk into empty box") << 0 << 5000 << 4000;
    QTest::newRow("small chunk on a full box") << 4000 << 1 << 3902;
    QTest::newRow("megabyte chunk") << 3000 << 1000000 << 4000;
}

void TrafficViewTest::appendAndTrim_keepsNewest()
{
    QFETCH(int, held);
    QFETCH(int, appended);
    QFETCH(int, kept);
    QString text = QString::fromLatin1(numbered(held));
    const QByteArray chunk = numbered(appended + 3).mid(3);

    TrafficView::appendAndTrim(text, chunk);

    QCOMPARE(text.size(), kept);
    QCOMPARE(text, QString::fromLatin1(numbered(held) + chunk).right(kept));
}

void TrafficViewTest::refresh_showsWhatTheBoxHolds_data()
{
    QTest::addColumn<int>("maxChunk");
    QTest::addColumn<int>("refreshEvery");

    QTest::newRow("small chunks, refreshed each") << 40 << 1;
    QTest::newRow("small chunks, refreshed now and then") << 40 << 7;
    QTest::newRow("chunks near the capacity") << 5000 << 2;
}

// Line ends split across chunks and refreshes, the front trimmed between refreshes: the box
// shows what it holds, as it would if drawn anew.
void TrafficViewTest::refresh_showsWhatTheBoxHolds()
{
    QFETCH(int, maxChunk);
    QFETCH(int, refreshEvery);
    QRandomGenerator random(7);
    TrafficBox box;
    QByteArray stream;
    for (int append = 1; append <= 400; ++append) {
        QByteArray chunk;
        const int size = random.bounded(1, maxChunk + 1);
        for (int index = 0; index < size; ++index)
            chunk.append("\r\nab\x01\x85"[random.bounded(6)]);
        box.appendChunk(chunk);
        stream += chunk;
        if (append % refreshEvery != 0)
            continue;
        // As many refreshes as a flooded box may wait for its next full redraw.
        for (int refresh = 0; refresh < 4; ++refresh)
            box.refresh();
        const QString held = box.traffic();
        QCOMPARE(held, QString::fromLatin1(stream.right(held.size())));
        const bool afterCr =
            stream.size() > held.size() && stream.at(stream.size() - held.size() - 1) == '\r';
        QCOMPARE(box.toPlainText(), TrafficView::shown(held, afterCr));
    }
}

void TrafficViewTest::controlBytes_drawnDistinctly()
{
    QList<int> codes;
    for (int code = 0; code < 0xa0; ++code) {
        if ((code < 0x20 && code != '\t' && code != '\n' && code != '\r') || code >= 0x7f)
            codes.append(code);
    }
    const TrafficBox box;
    QList<QImage> images;
    for (const int code : codes) {
        const QString shown = TrafficView::shown(QString(QChar(code)), false);
        QCOMPARE(shown.size(), 1);
        images.append(drawn(box.font(), shown));
    }
    for (qsizetype first = 0; first < codes.size(); ++first) {
        for (qsizetype second = first + 1; second < codes.size(); ++second)
            QVERIFY2(images[first] != images[second],
                     qPrintable(QStringLiteral("bytes %1 and %2 look alike")
                                    .arg(codes[first], 2, 16, QLatin1Char('0'))
                                    .arg(codes[second], 2, 16, QLatin1Char('0'))));
    }
}

QTEST_MAIN(TrafficViewTest)
#include "trafficview_test.moc"
