// SPDX-License-Identifier: GPL-3.0-or-later
// A Player following the Host simulator over loopback TCP: what reaches the stage, in which order the
// rest is fetched, Host page turns, and playing on from the cache while the Host is away.
#include "LivePlayer.h"

#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int timeout = 10'000;

bool requestedVersion(const HostSimulator &host, const QString &version)
{
    const QList<QJsonObject> requests = host.recorded(u"asset"_s);
    return std::any_of(requests.begin(), requests.end(),
        [&](const QJsonObject &request) { return request.value("version"_L1).toString() == version; });
}

} // namespace

class ShowLiveTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theHostPageComesFirstThenThePumpFetchesNearestFirst_data()
    {
        QTest::addColumn<std::optional<QString>>("pin");
        QTest::newRow("plain") << std::optional<QString>();
        QTest::newRow("sealed with a PIN") << std::optional(u"4821"_s);
    }

    void theHostPageComesFirstThenThePumpFetchesNearestFirst()
    {
        QFETCH(std::optional<QString>, pin);
        HostSimulator::Options options;
        options.pin = pin;
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen());
        LivePlayer player;
        player.join(host, pin);

        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"101/0/base.png"_s), timeout);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().marksPNG(), samplePage(u"101/0/marks.png"_s), timeout);
        QVERIFY(std::all_of(host.recorded().begin(), host.recorded().end(),
            [&](const RecordedMessage &record) { return record.sealed == pin.has_value(); }));
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), timeout);

        // The marks follow on screen unless the pump got them first.
        const QString urgent = assetRequests(host, true).join(u' ');
        QVERIFY2(urgent == u"101/0/base.png"_s || urgent == u"101/0/base.png 101/0/marks.png"_s,
            qPrintable(urgent));

        QStringList background = assetRequests(host, false);
        background.removeAll(u"101/0/marks.png"_s);
        // The pump starts on the displayed page, the stage asks ahead for the next two; then one file at a
        // time, nearest first, and on through the set list. The title page before the Processional's start
        // page is never wanted.
        QCOMPARE(background.join(u' ').replace(u"/base.png"_s, u"b"_s).replace(u"/marks.png"_s, u"m"_s),
            u"101/0b 101/1b 101/2b 101/2m 101/3b 101/4b 101/4m 102/0b 102/0m 102/1b 102/2b 102/3b 102/3m "
            u"103/1b 103/2b 103/3b 103/4b"_s);
    }

    void hostTurnsFromTheCacheAndCachedPagesTurnWhileItIsAway()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        const quint16 port = host.port();
        LivePlayer player;
        player.join(host);
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), timeout);
        const qsizetype requests = host.recorded(u"asset"_s).size();
        // The Host turns the display from the cache, into the next song and back.
        host.navigate(3, 1);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"102/3/base.png"_s), timeout);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().marksPNG(), samplePage(u"102/3/marks.png"_s), timeout);
        host.navigate(1, 0);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"101/1/base.png"_s), timeout);
        QCOMPARE(host.recorded(u"asset"_s).size(), requests);

        // The Host re-engraves page 4 and cannot serve it yet.
        host.revisePage(101, 3, u"base.png"_s, u"ch-b3-2"_s, {});
        QTRY_VERIFY_WITH_TIMEOUT(requestedVersion(host, u"ch-b3-2"_s), timeout);

        host.stopListening();
        QTRY_COMPARE_WITH_TIMEOUT(player.model().phase(), ShowPhase::offline(), timeout);

        player.model().turnLocally(1);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"101/2/base.png"_s), timeout);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().marksPNG(), samplePage(u"101/2/marks.png"_s), timeout);

        // The new version never came: the older one stands in.
        player.model().turnLocally(1);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"101/3/base.png"_s), timeout);
        QVERIFY(!player.model().displayedBaseIsExact());

        player.model().turnLocally(-3);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().displayedPage(), 0, timeout);

        // The Host comes back on that page, able to serve it now.
        const QByteArray revised = samplePage(u"102/2/base.png"_s);
        host.show().addAsset(101, 3, u"base.png"_s, u"ch-b3-2"_s, revised);
        host.navigate(3);
        QVERIFY(host.listen(QHostAddress::LocalHost, port));
        QTRY_COMPARE_WITH_TIMEOUT(player.model().phase(), ShowPhase::live(), 15'000);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().stagePages().first().basePNG, revised, timeout);
        QVERIFY(player.model().displayedBaseIsExact());
    }
};

QTEST_GUILESS_MAIN(ShowLiveTest)
#include "tst_showlive.moc"
