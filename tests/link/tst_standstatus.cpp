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
        using S = Snapshot;
        const S snapshot {true, S::Mode::Peek, S::ChartSelection::Part, u"harbour-reel.violin"_s, true, 3, 9,
            2, -1, 112, -1, true, 2, 1, 1500};
        QCOMPARE(sent(snapshot), test::object(R"({"type": "standStatus", "statusVersion": 1,
            "clientInstanceID": "player-abc12345", "client": {"platform": "Linux", "version": "0.1.0", "build": "7"},
            "transport": "peer", "joined": true, "mode": "peek",
            "chart": {"selection": "part", "partID": "harbour-reel.violin", "masterFallback": true},
            "cache": {"ready": 3, "total": 9},
            "page": {"displayed": 2, "host": -1, "displayedScoreToken": 112, "hostScoreToken": -1},
            "health": {"connected": true, "reconnects": 2, "stalledRequests": 1, "lastHostContactAgeMs": 1500}})"));
        QStringList modes;
        for (S::Mode mode : {S::Mode::Follow, S::Mode::SelfTurn, S::Mode::Offline})
            modes << sent({false, mode}).value("mode"_L1).toString();
        QCOMPARE(modes, (QStringList {u"follow"_s, u"selfTurn"_s, u"offline"_s}));
    }

    void numbersAreKeptInRange()
    {
        // The cache's ready and total, the reconnects, stalled requests and contact age given, then as sent.
        const auto sentNumbers = [](qint64 ready, qint64 total, qint64 reconnects, qint64 stalled,
                                     qint64 age) {
            const QJsonObject message = sent(
                {false, {}, {}, {}, false, ready, total, -1, -1, -1, -1, false, reconnects, stalled, age});
            const QJsonObject cache = message.value("cache"_L1).toObject();
            const QJsonObject health = message.value("health"_L1).toObject();
            return QList<qint64> {cache.value("ready"_L1).toInteger(), cache.value("total"_L1).toInteger(),
                health.value("reconnects"_L1).toInteger(), health.value("stalledRequests"_L1).toInteger(),
                health.value("lastHostContactAgeMs"_L1).toInteger()};
        };
        QCOMPARE(sentNumbers(1'500'000, 2'000'000, 0, 0, 0), (QList<qint64> {1'000'000, 1'000'000, 0, 0, 0}));
        QCOMPARE(sentNumbers(-3, 5, -1, -4, 5'000'000), (QList<qint64> {0, 5, 0, 0, 3'600'000}));
        QCOMPARE(sentNumbers(8, 5, 4, 0, -20), (QList<qint64> {5, 5, 4, 0, 0}));
    }

    void stringsAreCutByUserPerceivedCharacters()
    {
        Snapshot master;
        master.partID = u"part"_s;
        const QJsonObject message = sent(master, u"Linux"_s, QString(40, u'x'));
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

    void clientIdentityIsKeptOnlyWhenValid()
    {
        const QString key = DefaultsKeys::clientInstanceID;
        for (const QString &kept :
            {QString(46, u'a') + QString(46, u'7') + u"._:-"_s, u"Ωμέγα-プレイヤー-٣"_s}) {
            MemoryDefaultsStore defaults;
            defaults.setValue(key, kept);
            QCOMPARE(StandClientIdentity::loadOrCreate(defaults), kept);
        }
        const QRegularExpression made(
            u"^player-[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"_s);
        for (const QVariant &replaced : {QVariant(u"abcdefg"_s), QVariant(QString(97, u'a')),
                 QVariant(u"stand one"_s), QVariant(u"stand/one"_s), QVariant(12345678), QVariant()}) {
            MemoryDefaultsStore defaults;
            if (replaced.isValid())
                defaults.setValue(key, replaced);
            const QString id = StandClientIdentity::loadOrCreate(defaults);
            QVERIFY2(made.match(id).hasMatch(), qPrintable(id));
            QCOMPARE(StandClientIdentity::loadOrCreate(defaults), id);
        }
    }
};

QTEST_GUILESS_MAIN(StandStatusTest)
#include "tst_standstatus.moc"
