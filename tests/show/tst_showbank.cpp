// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFixtures.h"

#include "../assets/AssetStoreHarness.h"

#include <QSignalSpy>

using namespace pgw;
using namespace pgw::test;

namespace {

QList<int> pageIndices(const StagePageList &pages)
{
    QList<int> indices;
    for (const StagePage &page : pages)
        indices.append(page.pageIndex);
    return indices;
}

// A single score "solo" (token 9) whose page 1 carries `marks` when given and whose page `unversioned`
// has no base version.
QJsonObject singleScore(int pageCount, const char *marks = nullptr, int unversioned = -1)
{
    QJsonArray list = pages(pageCount);
    if (marks)
        list[1] = QJsonObject {
            {"index"_L1, 1}, {"baseVersion"_L1, "b1"_L1}, {"marksVersion"_L1, QLatin1StringView(marks)}};
    if (unversioned >= 0)
        list[unversioned] = QJsonObject {{"index"_L1, unversioned}};
    return {{"structureVersion"_L1, 1},
        {"score"_L1,
            QJsonObject {{"scoreKey"_L1, "solo"_L1}, {"scoreToken"_L1, 9}, {"title"_L1, "Solo"_L1},
                {"pages"_L1, list}}}};
}

QByteArray bytes(qint64 page, const QString &kind, const QString &version)
{
    return u"%1/%2@%3"_s.arg(page).arg(kind, version).toUtf8();
}

// A joined live show whose pages come from a fake Host through a real asset store.
struct BankShow
{
    AssetStoreHarness assets;
    ShowModel model {assets.scheduler};
    ManifestSource source;

    explicit BankShow(const QJsonObject &manifest, int page = 0)
    {
        assets.start();
        model.setAssets(assets.store);
        goLive(model, source, assets.scheduler, manifest, page);
    }

    // Answers the oldest open fetch of the page, with bytes naming it, or fails it.
    bool serve(qint64 page, const QString &kind = u"base.png"_s, bool fail = false)
    {
        for (qsizetype i = 0; i < assets.fetches.size(); ++i) {
            if (assets.fetches[i].pageIndex != page || assets.fetches[i].kind != kind)
                continue;
            const AssetStoreHarness::Fetch fetch = assets.fetches.takeAt(i);
            fetch.completion(fail ? 0 : 200, std::nullopt,
                fail ? std::nullopt : std::optional(bytes(page, kind, fetch.version)));
            assets.scheduler.runPending();
            return true;
        }
        return false;
    }
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
        const StagePageList stage = show.model.stagePages();
        QCOMPARE(pageIndices(stage), (QList<int> {2, 1, 2}));
        QCOMPARE(stage[1].scoreKey, u"beta"_s);
        QCOMPARE(stage[1].itemIndex, 1);
        QCOMPARE(stage[1].ordinal, 1);
        QCOMPARE(show.model.activePageKey(), stage[0].key);
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
        LiveShow show(singleScore(3, nullptr, 1));
        QCOMPARE(pageIndices(show.model.stagePages()), (QList<int> {0, 2}));
        show.model.handle(nav(4, 1));
        QVERIFY(show.model.stagePages().isEmpty());
        QVERIFY(!show.model.expectedShownKey());
    }

    void displayedPageArrivesWithItsMarks()
    {
        BankShow show(singleScore(3, "m1"), 1);
        QSignalSpy base(&show.model, &ShowModel::basePNGChanged);
        QVERIFY(show.serve(1));
        QCOMPARE(show.model.basePNG(), bytes(1, u"base.png"_s, u"b1"_s));
        QCOMPARE(show.model.displayedPage(), 1);
        QVERIFY(show.model.displayedBaseIsExact());
        QVERIFY(!show.model.displayedMarksAreExact());

        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "begin", "pageIndex": 1})"));
        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "end"})"));
        QVERIFY(show.serve(1, u"marks.png"_s));
        QCOMPARE(show.model.marksPNG(), bytes(1, u"marks.png"_s, u"m1"_s));
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
        QVERIFY(show.serve(0));
        QVERIFY(show.model.basePNG().isNull());
        QVERIFY(show.serve(2));
        QCOMPARE(show.model.basePNG(), bytes(2, u"base.png"_s, u"b2"_s));
        QCOMPARE(show.model.displayedPage(), 2);
    }

    // Nearest pages of the displayed item first, then the items after it, then those before; far-apart
    // indices do not overflow.
    void pumpOrder_data()
    {
        QTest::addColumn<QJsonObject>("manifest");
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("set list") << manifest(
            1, QJsonArray {item(u"alpha"_s, 1, 2), item(u"beta"_s, 2, 6), item(u"gamma"_s, 3, 3, 1)}, 1, 2)
                                  << 2
                                  << QStringList {u"beta/2"_s, u"beta/3"_s, u"beta/1"_s, u"beta/4"_s,
                                         u"beta/0"_s, u"beta/5"_s, u"gamma/1"_s, u"gamma/2"_s, u"alpha/0"_s,
                                         u"alpha/1"_s};
        QTest::newRow("far apart") << object(R"({"structureVersion": 1, "score": {"scoreKey": "solo",
            "scoreToken": 9, "pages": [{"index": -2147483648, "baseVersion": "low"}, {"index": 1, "baseVersion": "b1"}]}})")
                                   << 1 << QStringList {u"solo/1"_s, u"solo/-2147483648"_s};
    }

    void pumpOrder()
    {
        QFETCH(QJsonObject, manifest);
        QFETCH(int, page);
        BankShow show(manifest, page);
        QStringList order;
        for (const AssetStore::Want &want : show.model.currentWants())
            order.append(want.scoreKey + u'/' + QString::number(want.pageIndex));
        QTEST(order, "order");
    }

    void pageMemoryKeepsTheTwentyFourMostRecentPages()
    {
        BankShow show(singleScore(30));
        show.model.configurePageBank(0, 0);
        show.model.setTurnsPagesLocally(true);
        auto showPage = [&](int page) {
            show.model.turnLocally(page - show.model.displayedPage());
            show.assets.scheduler.runPending();
            while (show.serve(page)) { }
        };
        QVERIFY(show.serve(0));
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
        QVERIFY(show.serve(1));
        show.assets.fetches.clear();

        // The Host revises page 1 and the link drops before the new version arrives.
        QJsonObject revised = singleScore(3);
        revised.insert("structureVersion"_L1, 2);
        QJsonObject score = revised["score"_L1].toObject();
        QJsonArray list = score["pages"_L1].toArray();
        list[1] = object(R"({"index": 1, "baseVersion": "b1-new"})");
        score.insert("pages"_L1, list);
        revised.insert("score"_L1, score);
        show.model.handle(structure(2));
        show.model.connectionState(false, std::nullopt);
        show.source.answer(revised);
        show.assets.scheduler.runPending();
        QVERIFY(show.serve(1, u"base.png"_s, true));
        show.assets.scheduler.advance(0.8);
        QVERIFY(show.model.shownKey().startsWith(u"stale|"_s));
        QCOMPARE(show.model.basePNG(), bytes(1, u"base.png"_s, u"b1"_s));
        QVERIFY(!show.model.displayedBaseIsExact());

        show.model.handle(hello(2, 1));
        show.assets.scheduler.runPending();
        show.assets.scheduler.advance(5.5);
        while (show.serve(1)) { }
        show.assets.scheduler.advance(0.8);
        QCOMPARE(show.model.basePNG(), bytes(1, u"base.png"_s, u"b1-new"_s));
        QVERIFY(show.model.displayedBaseIsExact());
        QVERIFY(!show.model.shownKey().startsWith(u"stale|"_s));
    }

    void leaveClearsTheSessionAndTheStage()
    {
        BankShow show(manifest(2, threeItems()), 1);
        ShowModel &model = show.model;
        QVERIFY(show.serve(0));
        QVERIFY(!model.basePNG().isNull());
        model.handle(object(R"({"type": "presence", "count": 2})"));
        model.handle(object(R"({"type": "blackout", "on": true})"));
        model.leaveShow();
        QVERIFY(!model.manifest());
        QCOMPARE(model.structureVersion(), 0);
        QCOMPARE(model.navIndex(), -1);
        QCOMPARE(model.displayedPage(), -1);
        QCOMPARE(model.presenceText(), QString());
        QVERIFY(!model.blackout());
        QVERIFY(!model.isJoined());
        QVERIFY(model.stagePages().isEmpty());
        QVERIFY(model.basePNG().isNull());
        QVERIFY(model.currentWants().isEmpty());
        // The next session accepts a nav at any time stamp.
        model.handle(nav(0.1, 1));
        QCOMPARE(model.navIndex(), 1);
    }
};

QTEST_GUILESS_MAIN(ShowBankTest)
#include "tst_showbank.moc"
