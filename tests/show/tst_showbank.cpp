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

// A single score "solo" (token 9) whose page 1 is `page1` when given.
QJsonObject singleScore(int pageCount, const char *page1 = nullptr, int version = 1)
{
    QJsonArray list = pages(pageCount);
    if (page1)
        list[1] = object(page1);
    return {{"structureVersion"_L1, version},
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
        QCOMPARE(
            std::tuple(stage[1].scoreKey, stage[1].itemIndex, stage[1].ordinal, show.model.activePageKey()),
            std::tuple(u"beta"_s, 1, 1, stage[0].key));
    }

    void twoRowBankAtBothEndsOfAChart()
    {
        LiveShow show(singleScore(6));
        show.model.configurePageBank(1, 3);
        QCOMPARE(pageIndices(show.model.bankPages()), (QList<int> {0, 1, 2, 3}));
        show.model.handle(nav(5, 5));
        const StagePageList bank = show.model.bankPages();
        QCOMPARE(std::tuple(pageIndices(bank), bank[1].ordinal, show.model.bankActivePageKey(),
                     pageIndices(show.model.stagePages())),
            std::tuple(QList<int> {4, 5}, 5, bank[1].key, QList<int> {5}));
    }

    void pageWithoutBaseVersionNeverAppears()
    {
        LiveShow show(singleScore(3, R"({"index": 1})"));
        QCOMPARE(pageIndices(show.model.stagePages()), (QList<int> {0, 2}));
        show.model.handle(nav(4, 1));
        QVERIFY(show.model.stagePages().isEmpty() && !show.model.expectedShownKey());
    }

    void displayedPageArrivesWithItsMarksAndGoesStaleOffline()
    {
        BankShow show(singleScore(3, R"({"index": 1, "baseVersion": "b1", "marksVersion": "m1"})"), 1);
        QSignalSpy base(&show.model, &ShowModel::basePNGChanged);
        QVERIFY(show.serve(1));
        QCOMPARE(std::tuple(show.model.basePNG(), show.model.displayedPage(),
                     show.model.displayedBaseIsExact(), show.model.displayedMarksAreExact()),
            std::tuple(bytes(1, u"base.png"_s, u"b1"_s), 1, true, false));

        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "begin", "pageIndex": 1})"));
        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "end"})"));
        QVERIFY(show.serve(1, u"marks.png"_s));
        // The marks image holds the finished stroke now.
        QCOMPARE(std::tuple(show.model.marksPNG(), show.model.displayedMarksAreExact(), show.model.shownKey(),
                     show.model.ink.strokes(1).size(), base.count()),
            std::tuple(bytes(1, u"marks.png"_s, u"m1"_s), true, show.model.expectedShownKey().value(), 0, 1));

        // The Host revises page 1 and the link drops before the new version arrives.
        show.assets.fetches.clear();
        show.model.handle(structure(2));
        show.model.connectionState(false, std::nullopt);
        show.source.answer(singleScore(3, R"({"index": 1, "baseVersion": "b1-new"})", 2));
        show.assets.scheduler.runPending();
        QVERIFY(show.serve(1, u"base.png"_s, true));
        show.assets.scheduler.advance(0.8);
        QCOMPARE(std::tuple(show.model.shownKey().startsWith(u"stale|"_s), show.model.basePNG(),
                     show.model.displayedBaseIsExact()),
            std::tuple(true, bytes(1, u"base.png"_s, u"b1"_s), false));

        show.model.handle(hello(2, 1));
        show.assets.scheduler.runPending();
        show.assets.scheduler.advance(5.5);
        while (show.serve(1)) { }
        show.assets.scheduler.advance(0.8);
        QCOMPARE(std::tuple(show.model.shownKey().startsWith(u"stale|"_s), show.model.basePNG(),
                     show.model.displayedBaseIsExact()),
            std::tuple(false, bytes(1, u"base.png"_s, u"b1-new"_s), true));
    }

    // Nearest pages of the displayed item first, then the items after it, then those before; far-apart
    // indices do not overflow.
    void pumpOrder()
    {
        const QList<std::tuple<QJsonObject, int, QStringList>> cases {
            {manifest(1,
                 QJsonArray {item(u"alpha"_s, 1, 2), item(u"beta"_s, 2, 6), item(u"gamma"_s, 3, 3, 1)}, 1, 2),
                2,
                {u"beta/2"_s, u"beta/3"_s, u"beta/1"_s, u"beta/4"_s, u"beta/0"_s, u"beta/5"_s, u"gamma/1"_s,
                    u"gamma/2"_s, u"alpha/0"_s, u"alpha/1"_s}},
            {object(R"({"structureVersion": 1, "score": {"scoreKey": "solo", "scoreToken": 9,
                "pages": [{"index": -2147483648, "baseVersion": "low"}, {"index": 1, "baseVersion": "b1"}]}})"),
                1, {u"solo/1"_s, u"solo/-2147483648"_s}}};
        for (const auto &[manifest, page, order] : cases) {
            BankShow show(manifest, page);
            QStringList wanted;
            for (const AssetStore::Want &want : show.model.currentWants())
                wanted.append(want.scoreKey + u'/' + QString::number(want.pageIndex));
            QCOMPARE(wanted, order);
        }
    }

    // An answer for a page the player has turned away from is not shown; of the pages shown, the 24 most
    // recent stay in memory.
    void turnedAwayAnswersAndPageMemory()
    {
        BankShow show(singleScore(30));
        show.model.configurePageBank(0, 0);
        show.model.setTurnsPagesLocally(true);
        auto showPage = [&](int page) {
            show.model.turnLocally(page - show.model.displayedPage());
            show.assets.scheduler.runPending();
            while (show.serve(page)) { }
        };
        show.model.turnLocally(+2);
        QVERIFY(show.serve(0) && show.model.basePNG().isNull());
        QVERIFY(show.serve(2));
        QCOMPARE(std::tuple(show.model.basePNG(), show.model.displayedPage()),
            std::tuple(bytes(2, u"base.png"_s, u"b2"_s), 2));
        for (int page = 3; page <= 26; ++page)
            showPage(page);
        show.model.turnLocally(-24);
        QVERIFY(!show.model.stagePages().first().basePNG);
        showPage(3);
        QVERIFY(show.model.stagePages().first().basePNG);
    }

    void leaveClearsTheSessionAndTheStage()
    {
        BankShow show(manifest(2, threeItems()), 1);
        ShowModel &model = show.model;
        QVERIFY(show.serve(0) && !model.basePNG().isNull());
        model.handle(object(R"({"type": "presence", "count": 2})"));
        model.handle(object(R"({"type": "blackout", "on": true})"));
        model.leaveShow();
        QCOMPARE(std::tuple(model.structureVersion(), model.navIndex(), model.displayedPage(),
                     model.presenceText(), model.blackout(), model.isJoined()),
            std::tuple(0, -1, -1, QString(), false, false));
        QVERIFY(model.stagePages().isEmpty() && model.basePNG().isNull() && model.currentWants().isEmpty());
        // The next session accepts a nav at any time stamp.
        model.handle(nav(0.1, 1));
        QCOMPARE(model.navIndex(), 1);
    }
};

QTEST_GUILESS_MAIN(ShowBankTest)
#include "tst_showbank.moc"
