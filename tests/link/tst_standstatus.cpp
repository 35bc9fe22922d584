// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/StandStatus.h"
#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

class StandStatusTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageCarriesEverySnapshotField()
    {
        StandStatusSnapshot snapshot;
        snapshot.joined = true;
        snapshot.mode = StandStatusSnapshot::Mode::Peek;
        snapshot.chart = StandStatusSnapshot::ChartSelection::Part;
        snapshot.partID = u"harbour-reel.violin"_s;
        snapshot.masterFallback = true;
        snapshot.cacheReady = 3;
        snapshot.cacheTotal = 9;
        snapshot.displayedPage = 2;
        snapshot.hostPage = -1;
        snapshot.displayedScoreToken = 112;
        snapshot.hostScoreToken = -1;
        snapshot.connected = true;
        snapshot.reconnects = 2;
        snapshot.stalledRequests = 1;
        snapshot.lastHostContactAgeMilliseconds = 1500;
        const QJsonObject message
            = snapshot.wireMessage(u"player-abc12345"_s, u"Linux"_s, u"0.1.0"_s, u"7"_s, u"peer"_s);
        const QJsonObject expected {
            {"type"_L1, "standStatus"_L1},
            {"statusVersion"_L1, 1},
            {"clientInstanceID"_L1, "player-abc12345"_L1},
            {"client"_L1,
                QJsonObject {{"platform"_L1, "Linux"_L1}, {"version"_L1, "0.1.0"_L1}, {"build"_L1, "7"_L1}}},
            {"transport"_L1, "peer"_L1},
            {"joined"_L1, true},
            {"mode"_L1, "peek"_L1},
            {"chart"_L1,
                QJsonObject {{"selection"_L1, "part"_L1}, {"partID"_L1, "harbour-reel.violin"_L1},
                    {"masterFallback"_L1, true}}},
            {"cache"_L1, QJsonObject {{"ready"_L1, 3}, {"total"_L1, 9}}},
            {"page"_L1,
                QJsonObject {{"displayed"_L1, 2}, {"host"_L1, -1}, {"displayedScoreToken"_L1, 112},
                    {"hostScoreToken"_L1, -1}}},
            {"health"_L1,
                QJsonObject {{"connected"_L1, true}, {"reconnects"_L1, 2}, {"stalledRequests"_L1, 1},
                    {"lastHostContactAgeMs"_L1, 1500}}},
        };
        QCOMPARE(message, expected);
    }

    void numbersAreClamped_data()
    {
        QTest::addColumn<qint64>("ready");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("reconnects");
        QTest::addColumn<qint64>("age");
        QTest::addColumn<qint64>("sentReady");
        QTest::addColumn<qint64>("sentTotal");
        QTest::addColumn<qint64>("sentReconnects");
        QTest::addColumn<qint64>("sentAge");
        QTest::newRow("huge cache") << qint64(1'500'000) << qint64(2'000'000) << qint64(0) << qint64(0)
                                    << qint64(1'000'000) << qint64(1'000'000) << qint64(0) << qint64(0);
        QTest::newRow("negative ready") << qint64(-3) << qint64(5) << qint64(-1) << qint64(5'000'000)
                                        << qint64(0) << qint64(5) << qint64(0) << qint64(3'600'000);
        QTest::newRow("ready above total") << qint64(8) << qint64(5) << qint64(4) << qint64(-20) << qint64(5)
                                           << qint64(5) << qint64(4) << qint64(0);
    }

    void numbersAreClamped()
    {
        QFETCH(qint64, ready);
        QFETCH(qint64, total);
        QFETCH(qint64, reconnects);
        QFETCH(qint64, age);
        StandStatusSnapshot snapshot;
        snapshot.cacheReady = ready;
        snapshot.cacheTotal = total;
        snapshot.reconnects = reconnects;
        snapshot.stalledRequests = -4;
        snapshot.lastHostContactAgeMilliseconds = age;
        const QJsonObject message = snapshot.wireMessage(u"id"_s, u"Linux"_s, u"v"_s, u"b"_s, u"peer"_s);
        const QJsonObject cache = message.value("cache"_L1).toObject();
        const QJsonObject health = message.value("health"_L1).toObject();
        QTEST(cache.value("ready"_L1).toInteger(), "sentReady");
        QTEST(cache.value("total"_L1).toInteger(), "sentTotal");
        QTEST(health.value("reconnects"_L1).toInteger(), "sentReconnects");
        QTEST(health.value("lastHostContactAgeMs"_L1).toInteger(), "sentAge");
        QCOMPARE(health.value("stalledRequests"_L1).toInteger(), 0);
    }

    void stringsAreCutByUserPerceivedCharacters()
    {
        StandStatusSnapshot snapshot;
        snapshot.partID = u"part"_s;
        const QString transport = QString(40, u'x');
        QJsonObject message = snapshot.wireMessage(u"id"_s, u"Linux"_s, u"v"_s, u"b"_s, transport);
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
        message = snapshot.wireMessage(u"id"_s, accented.repeated(40), u"v"_s, u"b"_s, u"peer"_s);
        QCOMPARE(
            message.value("client"_L1).toObject().value("platform"_L1).toString(), accented.repeated(32));
    }

    void rawValuesRoundTrip()
    {
        using Mode = StandStatusSnapshot::Mode;
        for (Mode mode : {Mode::Follow, Mode::SelfTurn, Mode::Peek, Mode::Offline})
            QCOMPARE(StandStatusSnapshot::modeFromRaw(StandStatusSnapshot::rawValue(mode)), mode);
        QCOMPARE(StandStatusSnapshot::rawValue(Mode::SelfTurn), u"selfTurn"_s);
        QVERIFY(!StandStatusSnapshot::modeFromRaw(u"Follow"_s));
        QCOMPARE(StandStatusSnapshot::chartFromRaw(u"part"_s), StandStatusSnapshot::ChartSelection::Part);
        QVERIFY(!StandStatusSnapshot::chartFromRaw(u""_s));
    }

    void clientIdentity_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("kept");
        const QString marks = u"._:-"_s;
        QTest::newRow("ninety-six allowed characters")
            << QVariant(QString(46, u'a') + QString(46, u'7') + marks) << true;
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
        QCOMPARE(id.size(), 43);
        QCOMPARE(defaults.value(DefaultsKeys::clientInstanceID).toString(), id);
        QCOMPARE(StandClientIdentity::loadOrCreate(defaults), id);
    }
};

QTEST_GUILESS_MAIN(StandStatusTest)
#include "tst_standstatus.moc"
