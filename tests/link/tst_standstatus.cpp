// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "link/StandStatus.h"
#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"

#include <QRegularExpression>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

using Snapshot = StandStatusSnapshot;

namespace {

QJsonObject sent(
    const Snapshot &snapshot, const QString &platform = u"Linux"_s, const QString &transport = u"peer"_s)
{
    return snapshot.wireMessage(u"player-abc12345"_s, platform, u"0.1.0"_s, u"7"_s, transport);
}

} // namespace

class StandStatusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageCarriesEverySnapshotField()
    {
        const Snapshot snapshot {.joined = true,
            .mode = Snapshot::Mode::Peek,
            .chart = Snapshot::ChartSelection::Part,
            .partID = u"harbour-reel.violin"_s,
            .masterFallback = true,
            .cacheReady = 3,
            .cacheTotal = 9,
            .displayedPage = 2,
            .hostPage = -1,
            .displayedScoreToken = 112,
            .hostScoreToken = -1,
            .connected = true,
            .reconnects = 2,
            .stalledRequests = 1,
            .lastHostContactAgeMilliseconds = 1500};
        QCOMPARE(sent(snapshot), test::object(R"({"type": "standStatus", "statusVersion": 1,
            "clientInstanceID": "player-abc12345", "client": {"platform": "Linux", "version": "0.1.0", "build": "7"},
            "transport": "peer", "joined": true, "mode": "peek",
            "chart": {"selection": "part", "partID": "harbour-reel.violin", "masterFallback": true},
            "cache": {"ready": 3, "total": 9},
            "page": {"displayed": 2, "host": -1, "displayedScoreToken": 112, "hostScoreToken": -1},
            "health": {"connected": true, "reconnects": 2, "stalledRequests": 1, "lastHostContactAgeMs": 1500}})"));
    }

    void numbersAreKeptInRange()
    {
        // The cache and health numbers sent: "ready/total reconnects stalled age".
        const auto numbers = [](const Snapshot &snapshot) {
            const QJsonObject message = sent(snapshot);
            const QJsonObject cache = message.value("cache"_L1).toObject();
            const QJsonObject health = message.value("health"_L1).toObject();
            return u"%1/%2 %3 %4 %5"_s.arg(cache.value("ready"_L1).toInteger())
                .arg(cache.value("total"_L1).toInteger())
                .arg(health.value("reconnects"_L1).toInteger())
                .arg(health.value("stalledRequests"_L1).toInteger())
                .arg(health.value("lastHostContactAgeMs"_L1).toInteger());
        };
        QCOMPARE(numbers({.cacheReady = 1'500'000, .cacheTotal = 2'000'000}), u"1000000/1000000 0 0 0"_s);
        QCOMPARE(numbers({.cacheReady = -3,
                     .cacheTotal = 5,
                     .reconnects = -1,
                     .stalledRequests = -4,
                     .lastHostContactAgeMilliseconds = 5'000'000}),
            u"0/5 0 0 3600000"_s);
        QCOMPARE(
            numbers(
                {.cacheReady = 8, .cacheTotal = 5, .reconnects = 4, .lastHostContactAgeMilliseconds = -20}),
            u"5/5 4 0 0"_s);
    }

    void stringsAreCutByUserPerceivedCharacters()
    {
        const QJsonObject message = sent({.partID = u"part"_s}, u"Linux"_s, QString(40, u'x'));
        QCOMPARE(message.value("transport"_L1).toString(), QString(24, u'x'));
        // A master chart sends an empty part id even when one is known.
        QCOMPARE(message.value("chart"_L1).toObject().value("partID"_L1).toString(), QString());

        // "e" + combining acute is one character; a family emoji joined with ZWJs is one character.
        const QString accented = u"e\u0301"_s;
        const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s;
        QCOMPARE(cutToGraphemes(accented.repeated(40), 32), accented.repeated(32));
        QCOMPARE(cutToGraphemes(family.repeated(30) + u"tail"_s, 24), family.repeated(24));
        QCOMPARE(cutToGraphemes(u"short"_s, 24), u"short"_s);
        QCOMPARE(cutToGraphemes(u"abc"_s, 0), QString());
        QCOMPARE(
            sent({}, accented.repeated(40)).value("client"_L1).toObject().value("platform"_L1).toString(),
            accented.repeated(32));
    }

    void rawValuesRoundTrip()
    {
        using Mode = Snapshot::Mode;
        for (Mode mode : {Mode::Follow, Mode::SelfTurn, Mode::Peek, Mode::Offline})
            QCOMPARE(Snapshot::modeFromRaw(Snapshot::rawValue(mode)), mode);
        QCOMPARE(Snapshot::rawValue(Mode::SelfTurn), u"selfTurn"_s);
        QVERIFY(!Snapshot::modeFromRaw(u"Follow"_s));
        QCOMPARE(Snapshot::chartFromRaw(u"part"_s), Snapshot::ChartSelection::Part);
        QVERIFY(!Snapshot::chartFromRaw(u""_s));
    }

    void clientIdentity_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("kept");
        QTest::newRow("ninety-six allowed characters")
            << QVariant(QString(46, u'a') + QString(46, u'7') + u"._:-"_s) << true;
        QTest::newRow("other scripts") << QVariant(u"Ωμέγα-プレイヤー-٣"_s) << true;
        QTest::newRow("seven characters") << QVariant(u"abcdefg"_s) << false;
        QTest::newRow("ninety-seven characters") << QVariant(QString(97, u'a')) << false;
        QTest::newRow("space") << QVariant(u"stand one"_s) << false;
        QTest::newRow("slash") << QVariant(u"stand/one"_s) << false;
        QTest::newRow("not a string") << QVariant(12345678) << false;
        QTest::newRow("missing") << QVariant() << false;
    }

    void clientIdentity()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, kept);
        MemoryDefaultsStore defaults;
        if (stored.isValid())
            defaults.setValue(DefaultsKeys::clientInstanceID, stored);
        const QString id = StandClientIdentity::loadOrCreate(defaults);
        if (kept) {
            QCOMPARE(id, stored.toString());
            return;
        }
        QVERIFY(QRegularExpression(u"^player-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"_s)
                    .match(id)
                    .hasMatch());
        QCOMPARE(defaults.value(DefaultsKeys::clientInstanceID).toString(), id);
        QCOMPARE(StandClientIdentity::loadOrCreate(defaults), id);
    }
};

QTEST_GUILESS_MAIN(StandStatusTest)
#include "tst_standstatus.moc"
