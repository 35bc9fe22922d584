// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFixtures.h"

using namespace pgw;
using namespace pgw::test;

namespace {

QJsonObject book(int version = 2, int open = 0, int page = 0)
{
    return manifest(version, threeItems(), open, page);
}

} // namespace

class ShowNavigationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configuredPageRange()
    {
        const QList<std::pair<QJsonObject, QList<int>>> cases {{item(u"k"_s, 1, 10, 2, 20), range(2, 9)},
            {item(u"k"_s, 1, 10, 2, 9), range(2, 9)}, {item(u"k"_s, 1, 10, 2, 5), range(2, 5)},
            {item(u"k"_s, 1, 10, 6, 3), range(6, 9)}, {item(u"k"_s, 1, 3, 8), {2}},
            {object(R"({"scoreKey": "k", "scoreToken": 1, "pages": []})"), {}},
            {object(R"({"scoreKey": "k", "scoreToken": 1, "pageCount": -9223372036854775808,
                "pages": [{"index": 0}, {"index": 1}]})"),
                {0}}};
        for (const auto &[owner, playable] : cases)
            QCOMPARE(ShowModel::configuredPageIndices(owner), playable);
    }

    void localTurnsWhileTurningLocally()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        const auto step = [&model](LocalPosition from, int direction) {
            return model.adjacentLocalPosition(from, direction);
        };
        QCOMPARE(std::tuple(step({2, 0}, +1), step({3, 1}, +1), step({2, 2}, -1), step({0, 1}, +1),
                     step({1, 1}, -1)),
            std::tuple(LocalPosition {1, 1}, LocalPosition {2, 2}, LocalPosition {3, 1}, LocalPosition {1, 1},
                LocalPosition {2, 0}));
        QVERIFY(!step({4, 2}, +1) && !step({0, 0}, -1));

        model.setTurnsPagesLocally(true);
        QCOMPARE(model.toast(), u"your pages — the amber ACTIVE cue still follows the Mac"_s);
        QCOMPARE(model.manualPosition(), (LocalPosition {0, 0}));
        // Two pages on in alpha, then beta from its start page.
        model.turnLocally(+2);
        model.turnLocally(+1);
        QCOMPARE(std::tuple(model.manualPosition(), where(model), displayedToken(model)),
            std::tuple(LocalPosition {1, 1}, u"live host 0 shows 1/1"_s, 2));
        model.turnLocally(+100);
        model.setToast(QString());
        model.turnLocally(+1);
        QCOMPARE(std::tuple(model.manualPosition(), model.toast(), where(model)),
            std::tuple(LocalPosition {4, 2}, QString(), u"live host 0 shows 2/4"_s));

        // The Host moves on; the stand stays where the player is.
        model.handle(nav(50, 1));
        QCOMPARE(model.displayedIndex(), 4);
        model.setTurnsPagesLocally(false);
        QCOMPARE(std::tuple(model.toast(), model.manualPosition(), model.displayedIndex()),
            std::tuple(u"following the host again — p.2"_s, std::nullopt, 1));

        LiveShow single(object(R"({"structureVersion": 1, "score": {"scoreKey": "solo", "scoreToken": 5,
            "pages": [{"index": 0, "baseVersion": "a"}, {"index": 1, "baseVersion": "b"}]}})"));
        single.model.setTurnsPagesLocally(true);
        single.model.turnLocally(+3);
        QCOMPARE(single.model.displayedIndex(), 1);
        single.model.turnLocally(-5);
        QCOMPARE(single.model.manualPosition(), (LocalPosition {0, std::nullopt}));
    }

    void peekReturnsOnATimerOrWithTheNextScore()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.setAutoReturnAfter(10.0);
        model.turnLocally(+1);
        QCOMPARE(where(model), u"peek host 0 shows 0/1"_s);
        show.scheduler.advance(9.9);
        // Turning again re-arms the timer.
        model.turnLocally(+1);
        show.scheduler.advance(9.9);
        QCOMPARE(where(model), u"peek host 0 shows 0/2"_s);
        show.scheduler.advance(0.2);
        QCOMPARE(std::tuple(where(model), model.toast()),
            std::tuple(u"live host 0 shows 0/0"_s, u"back with the band — p.1"_s));

        // Without the timer a peek survives a new manifest of the same open score, but not another score.
        model.setAutoReturnAfter(0);
        model.turnLocally(+1);
        show.scheduler.advance(60);
        model.handle(structure(3));
        show.source.answer(book(3));
        QCOMPARE(model.phase(), ShowPhase::peek());
        model.handle(structure(4));
        show.source.answer(book(4, 1, 1));
        QCOMPARE(
            std::tuple(where(model), model.toast()), std::tuple(u"live host 1 shows 1/1"_s, u"next: BETA"_s));
    }

    void offlineTurnsAndWhatFollowsThem()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.turnLocally(+1);
        model.connectionState(false, std::nullopt);
        model.turnLocally(+1);
        QCOMPARE(model.displayedIndex(), 2);
        // Back online, a hello drops both the peek and the offline page.
        model.handle(hello(2, 0, 0, u"alpha"_s));
        QCOMPARE(where(model), u"live host 0 shows 0/0"_s);
        QVERIFY(!model.peekPosition());

        // Switching to local turning offline keeps the page; back online it becomes the player's own.
        LiveShow beta(book(2, 1, 2));
        beta.model.connectionState(false, std::nullopt);
        beta.model.turnLocally(+1);
        beta.model.setToast(QString());
        beta.model.setTurnsPagesLocally(true);
        QCOMPARE(std::tuple(beta.model.manualPosition(), beta.model.toast()),
            std::tuple(LocalPosition {3, 1}, QString()));
        beta.model.handle(hello(2, 2, 1, u"beta"_s));
        QCOMPARE(std::tuple(beta.model.toast(), beta.model.manualPosition(), beta.model.displayedIndex()),
            std::tuple(u"back online — turning independently"_s, LocalPosition {3, 1}, 3));
    }

    void manualPositionFollowsItsItemAcrossSetListChanges()
    {
        LiveShow show(book());
        ShowModel &model = show.model;
        model.setTurnsPagesLocally(true);
        model.turnLocally(+4);
        QCOMPARE(model.manualPosition(), (LocalPosition {2, 1}));

        // Beta moves to the end of the list.
        model.handle(structure(3));
        show.source.answer(manifest(
            3, QJsonArray {item(u"alpha"_s, 1, 3), item(u"gamma"_s, 3, 5, 2), item(u"beta"_s, 2, 4, 1)}));
        QCOMPARE(
            std::tuple(model.manualPosition(), displayedToken(model)), std::tuple(LocalPosition {2, 2}, 2));

        // Beta disappears: the position is seeded from the Host.
        model.handle(structure(4));
        show.source.answer(manifest(4, QJsonArray {item(u"alpha"_s, 1, 3), item(u"gamma"_s, 3, 5, 2)}, 1, 3));
        QCOMPARE(model.manualPosition(), (LocalPosition {3, 1}));
    }

    void nothingTurnsOutsideAShowAndPracticeTurnsLocallyWhileItLasts()
    {
        ManualScheduler scheduler;
        ShowModel model(scheduler);
        model.turnLocally(+1);
        QCOMPARE(where(model), u"lobby host -1 shows -/-1"_s);
        QVERIFY(!model.currentLocalPosition());

        model.didJoin();
        model.beginPractice();
        model.setTurnsPagesLocally(false);
        QVERIFY(model.turnsPagesLocally());
        model.leaveShow();
        QVERIFY(!model.turnsPagesLocally());
    }
};

QTEST_GUILESS_MAIN(ShowNavigationTest)
#include "tst_shownavigation.moc"
