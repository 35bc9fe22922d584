// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFixtures.h"

#include <QSignalSpy>
#include <QTest>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

QList<int> pageIndices(const StagePageList &pages)
{
    QList<int> indices;
    for (const StagePage &page : pages)
        indices.append(page.pageIndex);
    return indices;
}

QJsonObject singleScore(int pageCount, const char *marksOnPage1 = nullptr)
{
    QJsonArray pages = test::pages(pageCount);
    if (marksOnPage1) {
        QJsonObject page = pages[1].toObject();
        page.insert("marksVersion"_L1, QString::fromLatin1(marksOnPage1));
        pages[1] = page;
    }
    return QJsonObject {{"structureVersion"_L1, 1},
        {"score"_L1,
            QJsonObject {{"scoreKey"_L1, "solo"_L1}, {"scoreToken"_L1, 9}, {"title"_L1, "Solo"_L1},
                {"pages"_L1, pages}}}};
}

// A joined live show whose pages come from a fake Host through a real asset store.
struct BankShow
{
    ManualScheduler scheduler;
    FakeHostAssets assets {scheduler};
    ShowModel model {scheduler};
    ManifestSource source;

    explicit BankShow(const QJsonObject &manifest, int page = 0)
    {
        model.setAssets(assets.store);
        source.attach(model);
        model.didJoin();
        model.setPhase(ShowPhase::connecting());
        model.handle(hello(1, page));
        source.answer(manifest);
        settle();
    }
    void settle() { scheduler.runPending(); }
};

} // namespace

class ShowBankTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runwayReadsOnIntoTheNextItem()
    {
        LiveShow show(manifest(1, threeItems(), 0, 2));
        // Alpha's last page, then beta's first two playable pages (it starts at page 1).
        QCOMPARE(pageIndices(show.model.stagePages()), (QList<int> {2, 1, 2}));
        QCOMPARE(show.model.stagePages()[1].scoreKey, u"beta"_s);
        QCOMPARE(show.model.stagePages()[1].itemIndex, 1);
        QCOMPARE(show.model.stagePages()[1].ordinal, 1);
        QCOMPARE(show.model.stagePages()[0].key, u"item:0|alpha|p2|b2"_s);
        QCOMPARE(show.model.stagePages()[0].chartIdentity, u"master|item:0|score:alpha"_s);
        QCOMPARE(show.model.activePageKey(), show.model.stagePages()[0].key);
    }

    void twoRowBankAtBothEndsOfAChart()
    {
        LiveShow show(singleScore(6));
        show.model.configurePageBank(1, 3);
        QCOMPARE(pageIndices(show.model.bankPages()), (QList<int> {0, 1, 2, 3}));
        show.model.handle(nav(5, 5));
        QCOMPARE(pageIndices(show.model.bankPages()), (QList<int> {4, 5}));
        QCOMPARE(show.model.bankPages()[1].ordinal, 5);
        QCOMPARE(show.model.bankActivePageKey(), show.model.bankPages()[1].key);
        QCOMPARE(pageIndices(show.model.stagePages()), (QList<int> {5}));
    }

    void pageWithoutBaseVersionNeverAppears()
    {
        QJsonObject manifest = singleScore(3);
        QJsonObject score = manifest["score"_L1].toObject();
        QJsonArray pages = score["pages"_L1].toArray();
        pages[1] = object(R"({"index": 1})");
        score.insert("pages"_L1, pages);
        manifest.insert("score"_L1, score);
        LiveShow show(manifest);
        QCOMPARE(pageIndices(show.model.stagePages()), (QList<int> {0, 2}));
        show.model.handle(nav(4, 1));
        QVERIFY(show.model.stagePages().isEmpty());
        QVERIFY(!show.model.expectedShownKey());
    }

    void displayedPageArrivesWithItsMarks()
    {
        BankShow show(singleScore(3, "m1"), 1);
        QSignalSpy base(&show.model, &ShowModel::basePNGChanged);
        QVERIFY(show.assets.serve(1));
        show.settle();
        QCOMPARE(show.model.basePNG(), FakeHostAssets::bytes(9, 1, u"base.png"_s, u"b1"_s));
        QCOMPARE(show.model.displayedPage(), 1);
        QVERIFY(show.model.displayedBaseIsExact());
        QVERIFY(!show.model.displayedMarksAreExact());

        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "begin", "pageIndex": 1})"));
        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "end"})"));
        QVERIFY(show.assets.serve(1, u"marks.png"_s));
        show.settle();
        QCOMPARE(show.model.marksPNG(), FakeHostAssets::bytes(9, 1, u"marks.png"_s, u"m1"_s));
        QVERIFY(show.model.displayedMarksAreExact());
        QCOMPARE(show.model.shownKey(), show.model.expectedShownKey().value());
        // The marks image holds the finished stroke now.
        QVERIFY(show.model.ink.strokes(1).isEmpty());
        QCOMPARE(base.count(), 1);
    }

    void answerAfterTheUserTurnedAwayIsIgnored()
    {
        BankShow show(singleScore(4));
        show.model.setTurnsPagesLocally(true);
        show.model.turnLocally(+2);
        show.settle();
        QVERIFY(show.assets.serve(0));
        show.settle();
        QVERIFY(show.model.basePNG().isNull());
        QVERIFY(show.assets.serve(2));
        show.settle();
        QCOMPARE(show.model.basePNG(), FakeHostAssets::bytes(9, 2, u"base.png"_s, u"b2"_s));
        QCOMPARE(show.model.displayedPage(), 2);
    }

    void pumpOrderIsNearestFirstThenTheRestOfTheBook()
    {
        QJsonArray items {item(u"alpha"_s, 1, 2), item(u"beta"_s, 2, 6), item(u"gamma"_s, 3, 3, 1)};
        BankShow show(manifest(1, items, 1, 2), 2);
        QStringList order;
        for (const AssetStore::Want &want : show.model.currentWants())
            order.append(want.scoreKey + u'/' + QString::number(want.pageIndex));
        QCOMPARE(order,
            (QStringList {u"beta/2"_s, u"beta/3"_s, u"beta/1"_s, u"beta/4"_s, u"beta/0"_s, u"beta/5"_s,
                u"gamma/1"_s, u"gamma/2"_s, u"alpha/0"_s, u"alpha/1"_s}));
    }

    void pumpOrdersPagesFarApartWithoutOverflow()
    {
        BankShow show(object(R"({"structureVersion": 1, "score": {"scoreKey": "solo", "scoreToken": 9,
            "pages": [{"index": -2147483648, "baseVersion": "low"}, {"index": 1, "baseVersion": "b1"}]}})"),
            1);
        QList<qint64> order;
        for (const AssetStore::Want &want : show.model.currentWants())
            order.append(want.pageIndex);
        QCOMPARE(order, (QList<qint64> {1, -2147483648}));
    }

    void pageMemoryKeepsTheTwentyFourMostRecentPages()
    {
        BankShow show(singleScore(30));
        show.model.configurePageBank(0, 0);
        show.model.setTurnsPagesLocally(true);
        auto showPage = [&](int page) {
            show.model.turnLocally(page - show.model.displayedPage());
            show.settle();
            while (show.assets.serve(page))
                show.settle();
        };
        QVERIFY(show.assets.serve(0));
        show.settle();
        for (int page = 1; page <= 24; ++page)
            showPage(page);
        // Page 0 was remembered least recently of 25 pages: it is gone, page 1 is not.
        show.model.turnLocally(-24);
        QVERIFY(!show.model.stagePages().first().basePNG);
        showPage(1);
        QVERIFY(show.model.stagePages().first().basePNG);
    }

    void staleImageWhileOfflineThenExactWhenBack()
    {
        BankShow show(singleScore(3), 1);
        QVERIFY(show.assets.serve(1));
        show.settle();
        show.assets.requests.clear();

        // The Host revises page 1 and the link drops before the new version arrives.
        QJsonObject revised = singleScore(3);
        revised.insert("structureVersion"_L1, 2);
        QJsonObject score = revised["score"_L1].toObject();
        QJsonArray pages = score["pages"_L1].toArray();
        pages[1] = object(R"({"index": 1, "baseVersion": "b1-new"})");
        score.insert("pages"_L1, pages);
        revised.insert("score"_L1, score);
        show.model.handle(object(R"({"type": "structure", "structureVersion": 2})"));
        show.model.connectionState(false, std::nullopt);
        show.source.answer(revised);
        show.settle();
        show.assets.fail(1);
        show.scheduler.advance(0.8);
        QVERIFY(show.model.shownKey().startsWith(u"stale|"_s));
        QCOMPARE(show.model.basePNG(), FakeHostAssets::bytes(9, 1, u"base.png"_s, u"b1"_s));
        QVERIFY(!show.model.displayedBaseIsExact());

        show.model.handle(hello(2, 1));
        show.settle();
        show.scheduler.advance(5.5);
        while (show.assets.serve(1))
            show.settle();
        show.scheduler.advance(0.8);
        QCOMPARE(show.model.basePNG(), FakeHostAssets::bytes(9, 1, u"base.png"_s, u"b1-new"_s));
        QVERIFY(show.model.displayedBaseIsExact());
        QVERIFY(!show.model.shownKey().startsWith(u"stale|"_s));
    }

    void leaveClearsTheStage()
    {
        BankShow show(singleScore(3));
        QVERIFY(show.assets.serve(0));
        show.settle();
        show.model.leaveShow();
        QVERIFY(show.model.stagePages().isEmpty());
        QVERIFY(show.model.basePNG().isNull());
        QVERIFY(show.model.currentWants().isEmpty());
        QCOMPARE(show.model.displayedPage(), -1);
    }
};

QTEST_GUILESS_MAIN(ShowBankTest)
#include "tst_showbank.moc"
