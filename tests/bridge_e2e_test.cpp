// Two real tethra processes, each in its own network namespace (so both use port 9801) with
// its own settings folder mounted as /var/lib/tethra/ and a pseudo-terminal as Com1.
#include "support/Namespaces.h"
#include "support/StationProcess.h"

#include <QTest>

#include <csignal>

class BridgeEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void bytesCrossBothWays();

private:
    // Writes a marker at one end until it comes out of the other: data written before the
    // stations have found each other is dropped, as with a cable not yet plugged in.
    bool waitForLink(StationProcess &from, StationProcess &to, int timeoutMs);

    std::unique_ptr<NamespacePair> m_hosts;
};

void BridgeEndToEndTest::initTestCase()
{
    if (StationProcess::binary().isEmpty())
        QSKIP("TETHRA_BINARY is not set (run through ctest)");
    m_hosts = std::make_unique<NamespacePair>();
    if (!m_hosts->isUp() && ::geteuid() != 0)
        QSKIP("network namespaces need root; CI runs this test as root");
    QVERIFY2(m_hosts->isUp(), qPrintable(m_hosts->errorString()));
}

bool BridgeEndToEndTest::waitForLink(StationProcess &from, StationProcess &to, int timeoutMs)
{
    const QByteArray marker("link?");
    QDeadlineTimer deadline(timeoutMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        from.device().write(marker);
        seen += to.device().readUntil(marker.size(), 250);
        if (seen.contains(marker)) {
            // Let any markers still on their way arrive before the real data.
            QTest::qWait(500);
            to.device().read();
            return true;
        }
    }
    return false;
}

void BridgeEndToEndTest::bytesCrossBothWays()
{
    StationProcess stations[2];
    for (int host = 0; host < 2; ++host) {
        QVERIFY(stations[host].prepare(m_hosts->address(1 - host)));
        QVERIFY(stations[host].start(m_hosts->commandInHost(host, stations[host].folder(),
                                                            {StationProcess::binary()})));
    }
    QVERIFY2(waitForLink(stations[0], stations[1], 30000), qPrintable(stations[0].output()));
    QVERIFY(waitForLink(stations[1], stations[0], 10000));

    QByteArray allValues;
    for (int round = 0; round < 64; ++round)
        for (int value = 0; value < 256; ++value)
            allValues += char(value);
    for (int from = 0; from < 2; ++from) {
        StationProcess &sender = stations[from];
        StationProcess &receiver = stations[1 - from];
        QVERIFY(sender.device().writeAll(allValues));
        const QByteArray received = receiver.device().readUntil(allValues.size(), 20000);
        QCOMPARE(received.size(), allValues.size());
        QVERIFY(received == allValues);
    }

    for (StationProcess &station : stations)
        QVERIFY(station.stop(SIGTERM));
}

QTEST_GUILESS_MAIN(BridgeEndToEndTest)
#include "bridge_e2e_test.moc"
