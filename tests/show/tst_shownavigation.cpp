// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFixtures.h"

#include <QTest>

#include <limits>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

// Items: alpha pages 0–2; beta pages 0–3 playing from 1; gamma pages 0–4 playing from 2.
QJsonObject book(int version = 2, int open = 0, int page = 0)
{
    return manifest(version, threeItems(), open, page);
}

} // namespace

class ShowNavigationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configuredPageRange_data()
    {
        QTest::addColumn<QJsonObject>("item");
        QTest::addColumn<QList<int>>("playable");
        QTest::newRow("end beyond last") << item(u"k"_s, 1, 10, 2, 20) << QList<int> {2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("end on last") << item(u"k"_s, 1, 10, 2, 9) << QList<int> {2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("end inside") << item(u"k"_s, 1, 10, 2, 5) << QList<int> {2, 3, 4, 5};
        QTest::newRow("end before start") << item(u"k"_s, 1, 10, 6, 3) << QList<int> {6, 7, 8, 9};
        QTest::newRow("start beyond last") << item(u"k"_s, 1, 3, 8) << QList<int> {2};
        QTest::newRow("no pages") << object(R"({"scoreKey": "k", "scoreToken": 1, "pages": []})")
                                  << QList<int> {};
        QTest::newRow("most negative count") << object(R"({"scoreKey": "k", "scoreToken": 1,
            "pageCount": -9223372036854775808, "pages": [{"index": 0}, {"index": 1}]})")
                                             << QList<int> {0};
    }

    void configuredPageRange()
    {
        QFETCH(QJsonObject, item);
        QFETCH(QList<int>, playable);
        QCOMPARE(ShowModel::configuredPageIndices(item), playable);
    }

    void walkingTheSetList()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        QCOMPARE(model.adjacentLocalPosition({2, 0}, +1), (LocalPosition {1, 1}));
        QCOMPARE(model.adjacentLocalPosition({3, 1}, +1), (LocalPosition {2, 2}));
        QCOMPARE(model.adjacentLocalPosition({2, 2}, -1), (LocalPosition {3, 1}));
        QCOMPARE(model.adjacentLocalPosition({0, 1}, +1), (LocalPosition {1, 1}));
        QCOMPARE(model.adjacentLocalPosition({1, 1}, -1), (LocalPosition {2, 0}));
        QVERIFY(!model.adjacentLocalPosition({4, 2}, +1));
        QVERIFY(!model.adjacentLocalPosition({0, 0}, -1));
    }

    void localTurnsWhileTurningLocally()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.setTurnsPagesLocally(true);
        QCOMPARE(model.toast(), u"your pages — the amber ACTIVE cue still follows the Mac"_s);
        QCOMPARE(model.manualPosition(), (LocalPosition {0, 0}));

        model.turnLocally(+2);
        QCOMPARE(model.displayedIndex(), 2);
        // Only one further page exists in alpha, then beta starts at its start page.
        model.turnLocally(+1);
        QCOMPARE(model.manualPosition(), (LocalPosition {1, 1}));
        QCOMPARE(model.displayedScoreIndex(), 1);
        QCOMPARE(displayedToken(model), 2);

        model.turnLocally(+100);
        QCOMPARE(model.manualPosition(), (LocalPosition {4, 2}));
        model.setToast(QString());
        model.turnLocally(+1);
        QCOMPARE(model.manualPosition(), (LocalPosition {4, 2}));
        QCOMPARE(model.toast(), QString());
        QCOMPARE(model.phase(), ShowPhase::live());

        // The Host moves on; the stand stays where the player is.
        model.handle(nav(50, 1));
        QCOMPARE(model.displayedIndex(), 4);

        model.setTurnsPagesLocally(false);
        QCOMPARE(model.toast(), u"following the host again — p.2"_s);
        QVERIFY(!model.manualPosition());
        QCOMPARE(model.displayedIndex(), 1);
    }

    void turnWithSinglePageLeftMovesOnePage()
    {
        LiveShow show(object(R"({"structureVersion": 1,
            "score": {"scoreKey": "solo", "scoreToken": 5, "pages": [{"index": 0, "baseVersion": "a"},
                                                                    {"index": 1, "baseVersion": "b"}]}})"));
        show.model.setTurnsPagesLocally(true);
        show.model.turnLocally(+3);
        QCOMPARE(show.model.displayedIndex(), 1);
        show.model.turnLocally(-5);
        QCOMPARE(show.model.displayedIndex(), 0);
        QCOMPARE(show.model.manualPosition(), (LocalPosition {0, std::nullopt}));
    }

    void peekReturnsAutomatically()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.setAutoReturnAfter(10.0);
        model.turnLocally(+1);
        QCOMPARE(model.phase(), ShowPhase::peek());
        QCOMPARE(model.displayedIndex(), 1);
        QCOMPARE(model.navIndex(), 0);

        show.scheduler.advance(9.9);
        QCOMPARE(model.phase(), ShowPhase::peek());
        // Turning again re-arms the timer.
        model.turnLocally(+1);
        show.scheduler.advance(9.9);
        QCOMPARE(model.phase(), ShowPhase::peek());
        QCOMPARE(model.displayedIndex(), 2);
        show.scheduler.advance(0.2);
        QCOMPARE(model.phase(), ShowPhase::live());
        QCOMPARE(model.toast(), u"back with the band — p.1"_s);
        QCOMPARE(model.displayedIndex(), 0);
    }

    void hostOnTheHighestPageIndexIsNumberedInFull()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.setAutoReturnAfter(10.0);
        model.handle(nav(1, std::numeric_limits<int>::max()));
        const QString page = u"p.2147483648"_s;
        QCOMPARE(model.liveChipText(), u"LIVE "_s + page);
        QCOMPARE(model.hostPositionText(), u"HOST "_s + page);
        model.turnLocally(+1);
        QCOMPARE(model.phase(), ShowPhase::peek());
        show.scheduler.advance(10.0);
        QCOMPARE(model.toast(), u"back with the band — "_s + page);
        model.setTurnsPagesLocally(true);
        model.setTurnsPagesLocally(false);
        QCOMPARE(model.toast(), u"following the host again — "_s + page);
    }

    void peekWithoutAutoReturnLastsUntilTheScoreChanges()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.turnLocally(+1);
        show.scheduler.advance(60);
        QCOMPARE(model.phase(), ShowPhase::peek());

        // Same open score: the peek survives a new manifest.
        model.handle(object(R"({"type": "structure", "structureVersion": 3})"));
        show.source.answer(book(3));
        QCOMPARE(model.phase(), ShowPhase::peek());

        model.handle(object(R"({"type": "structure", "structureVersion": 4})"));
        show.source.answer(book(4, 1, 1));
        QCOMPARE(model.phase(), ShowPhase::live());
        QCOMPARE(model.toast(), u"next: BETA"_s);
        QCOMPARE(model.displayedScoreIndex(), 1);
    }

    void switchingOnWhileOfflineKeepsTheDisplayedPage()
    {
        LiveShow show(book(2, 1, 2));
        ShowModel &model = show.model;
        model.connectionState(false, std::nullopt);
        QCOMPARE(model.phase(), ShowPhase::offline());
        model.turnLocally(+1);
        QCOMPARE(model.offlinePosition(), (LocalPosition {3, 1}));
        model.setToast(QString());
        model.setTurnsPagesLocally(true);
        QCOMPARE(model.manualPosition(), (LocalPosition {3, 1}));
        QCOMPARE(model.toast(), QString());

        // Back online, the offline position becomes the player's own page.
        model.handle(hello(2, 2, 1, u"beta"_s));
        QCOMPARE(model.toast(), u"back online — turning independently"_s);
        QCOMPARE(model.manualPosition(), (LocalPosition {3, 1}));
        QCOMPARE(model.displayedIndex(), 3);
    }

    void manualPositionFollowsItsItemAcrossSetListChanges()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.setTurnsPagesLocally(true);
        model.turnLocally(+4);
        QCOMPARE(model.manualPosition(), (LocalPosition {2, 1}));

        // Beta moves to the end of the list.
        const QJsonArray reordered {
            item(u"alpha"_s, 1, 3), item(u"gamma"_s, 3, 5, 2), item(u"beta"_s, 2, 4, 1)};
        model.handle(object(R"({"type": "structure", "structureVersion": 3})"));
        show.source.answer(manifest(3, reordered));
        QCOMPARE(model.manualPosition(), (LocalPosition {2, 2}));
        QCOMPARE(displayedToken(model), 2);

        // Beta disappears: the position is seeded from the Host.
        model.handle(object(R"({"type": "structure", "structureVersion": 4})"));
        show.source.answer(manifest(4, QJsonArray {item(u"alpha"_s, 1, 3), item(u"gamma"_s, 3, 5, 2)}, 1, 3));
        QCOMPARE(model.manualPosition(), (LocalPosition {3, 1}));
    }

    void precedenceOfPositions()
    {
        LiveShow show(book(2, 0, 0));
        ShowModel &model = show.model;
        model.turnLocally(+1);
        QCOMPARE(model.displayedIndex(), 1);
        model.connectionState(false, std::nullopt);
        model.turnLocally(+1);
        QCOMPARE(model.displayedIndex(), 2);
        model.handle(hello(2, 0, 0, u"alpha"_s));
        QCOMPARE(model.phase(), ShowPhase::live());
        QCOMPARE(model.displayedIndex(), 0);
        QVERIFY(!model.peekPosition());
    }

    void practiceForcesLocalTurningOnlyWhileItLasts()
    {
        ManualScheduler scheduler;
        ShowModel model(scheduler);
        model.didJoin();
        model.beginPractice();
        QVERIFY(model.turnsPagesLocally());
        model.setTurnsPagesLocally(false);
        QVERIFY(model.turnsPagesLocally());
        model.leaveShow();
        QVERIFY(!model.turnsPagesLocally());
    }

    void nothingTurnsOutsideAShow()
    {
        ManualScheduler scheduler;
        ShowModel model(scheduler);
        model.turnLocally(+1);
        QCOMPARE(model.phase(), ShowPhase::lobby());
        QCOMPARE(model.displayedIndex(), -1);
        QVERIFY(!model.currentLocalPosition());
    }
};

QTEST_GUILESS_MAIN(ShowNavigationTest)
#include "tst_shownavigation.moc"
