// SPDX-License-Identifier: GPL-3.0-or-later
// Parts over loopback TCP against the Host simulator: the sample show's "Harbour Reel" offers a Violin
// and a Clarinet in B♭ rendition.
#include "LivePlayer.h"

#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int timeout = 10'000;
const QString violin = u"builtin:violin"_s;
const QString clarinet = u"builtin:clarinet-b-flat"_s;

QStringList renditionRefs(const HostSimulator &host)
{
    QStringList refs;
    for (const QJsonObject &request : host.recorded(u"renditionManifest"_s))
        refs.append(request.value("ref"_L1).toString());
    return refs;
}

// Joins with the given instruments and waits for the opening page of the Chorale.
bool joinOnTheChorale(LivePlayer &player, const HostSimulator &host, const QSet<QString> &instruments)
{
    for (const QString &id : instruments)
        player->settings().setInstrument(id, true);
    player.join(host);
    return QTest::qWaitFor(
        [&] { return player.model().basePNG() == samplePage(u"101/0/base.png"_s); }, timeout);
}

} // namespace

class ShowPartsLiveTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theOneMatchingPartArrivesWhenTheHostReachesItsSong()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        LivePlayer player;
        QVERIFY(joinOnTheChorale(player, host, {violin}));
        // The song to come has one part for this player: it is asked for ahead of time.
        QTRY_COMPARE_WITH_TIMEOUT(renditionRefs(host), QStringList {u"harbour-reel.violin"_s}, timeout);

        host.navigate(0, 1);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"112/0/base.png"_s), timeout);

        // A part turns locally, from pages the pump has fetched.
        player.model().turnLocally(1);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"112/1/base.png"_s), timeout);
        QCOMPARE(renditionRefs(host), QStringList {u"harbour-reel.violin"_s});
    }

    void twoMatchingPartsRaiseTheChooser()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        LivePlayer player;
        QVERIFY(joinOnTheChorale(player, host, {violin, clarinet}));

        host.navigate(0, 1);
        QTRY_VERIFY_WITH_TIMEOUT(player.model().partChooser().has_value(), timeout);
        // The master stays on the stand while the player chooses.
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"102/0/base.png"_s), timeout);

        player.model().selectPart(u"clar"_s);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"122/0/base.png"_s), timeout);
        QCOMPARE(renditionRefs(host), QStringList {u"harbour-reel.clarinet"_s});
    }

    void aPartThatNeverArrivesFallsBackToTheLocalMaster()
    {
        HostSimulator host(sampleShow(), {});
        host.setRenditionsWithheld(true);
        QVERIFY(host.listen());
        LivePlayer player;
        QVERIFY(joinOnTheChorale(player, host, {violin}));

        host.navigate(0, 1);
        QTRY_COMPARE_WITH_TIMEOUT(
            player.model().toast(), u"Violin unavailable — using local Master"_s, timeout);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"102/0/base.png"_s), timeout);
        const QStringList refs = renditionRefs(host);
        QVERIFY(!refs.isEmpty() && refs.count(u"harbour-reel.violin"_s) == refs.size());

        // The stand-in master turns locally like the part would have.
        player.model().turnLocally(1);
        QTRY_COMPARE_WITH_TIMEOUT(player.model().basePNG(), samplePage(u"102/1/base.png"_s), timeout);
    }
};

QTEST_GUILESS_MAIN(ShowPartsLiveTest)
#include "tst_showpartslive.moc"
