// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFixtures.h"

#include "show/ShowIdentity.h"

#include <QRegularExpression>
#include <QSignalSpy>

#include <limits>

using namespace pgw;
using namespace pgw::test;

namespace {

// `items` set-list items; the open one has `pages` pages, `options` part options and a title
// `titleLength` characters long.
QJsonObject bigManifest(int items, int pages, int options, int titleLength)
{
    QJsonObject open = item(u"s"_s, 1, pages);
    open.insert("partOptions"_L1, QJsonArray::fromStringList(QStringList(options, u"o"_s)));
    open.insert("title"_L1, QString(titleLength, u'x'));
    QJsonArray list {open};
    while (list.size() < items)
        list.append(item(u"s"_s, 1, 1));
    return manifest(3, list);
}

} // namespace

class ShowModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identities()
    {
        const QJsonObject tokenOnly = object(R"({"scoreToken": 42, "scoreKey": ""})");
        // A key made from the token names no annotations.
        QCOMPARE(
            ShowIdentity::scoreAddress(tokenOnly), (ShowIdentity::ScoreAddress {u"t42"_s, 42, std::nullopt}));
        QVERIFY(!ShowIdentity::scoreKey(object(R"({"scoreKey": "abc", "scoreToken": "7"})")));
        QCOMPARE(ShowIdentity::scoreAddress(object(R"({"scoreKey": "abc", "scoreToken": 7})")),
            (ShowIdentity::ScoreAddress {u"abc"_s, 7, u"abc"_s}));

        const QJsonArray items {object(R"({"scoreKey": "k", "scoreToken": 1, "startPage": 2})"),
            object(R"({"scoreKey": "k", "scoreToken": 1, "occurrenceKey": "encore"})"),
            object(R"({"scoreKey": "k", "scoreToken": 1, "endPage": 4, "title": "Reel"})"),
            object(R"({"title": "no address"})")};
        QList<std::optional<QString>> fingerprints;
        for (const std::optional<qsizetype> index : {std::optional<qsizetype>(0), {1}, {2}, {3}, {4}, {}})
            fingerprints.append(ShowIdentity::occurrenceFingerprint(items, index));
        QCOMPARE(fingerprints,
            (QList<std::optional<QString>> {u"k|2|-1|"_s, u"encore"_s, u"k|0|4|Reel"_s, {}, {}, {}}));
    }

    void helloMakesAJoinedSessionLiveAndAsksForTheManifest()
    {
        ManualScheduler scheduler;
        ShowModel model(scheduler);
        ManifestSource source;
        source.attach(model);
        QCOMPARE(
            std::tuple(model.liveChipText(), model.hostPositionText(), model.standStatusHostScoreToken()),
            std::tuple(u"LIVE —"_s, u"HOST waiting…"_s, -1));
        model.handle(object(R"({"type": "blackout", "on": true})"));
        QCOMPARE(model.liveChipText(), u"LIVE — · blackout"_s);
        model.handle(object(R"({"type": "blackout", "on": "yes"})"));
        QVERIFY(!model.blackout());
        model.handle(hello(3));
        QCOMPARE(std::tuple(model.phase(), source.pending.size()), std::tuple(ShowPhase::lobby(), 1));

        model.didJoin();
        QJsonObject message = hello(3, 4);
        message.insert("ephemeral"_L1, true);
        message.insert("state"_L1, object(R"({"pageIndex": 4, "blackout": true, "followers": 3})"));
        model.handle(message);
        QCOMPARE(std::tuple(where(model), model.ephemeralShow(), model.blackout(), model.presenceText(),
                     model.structureVersion(), model.manifestQueued()),
            std::tuple(u"live host 4 shows -/4"_s, true, true, u"3 players"_s, 3, true));
        QCOMPARE(std::tuple(model.liveChipText(), model.hostPositionText()),
            std::tuple(u"LIVE p.5 · blackout"_s, u"HOST p.5 · blackout"_s));

        // Another protocol, then the Host's end, with and without a reason.
        message.insert("protocolVersion"_L1, 2);
        model.handle(message);
        QCOMPARE(model.phase(), ShowPhase::ended(u"version"_s));
        model.handle(object(R"({"type": "end"})"));
        QCOMPARE(model.phase(), ShowPhase::ended(u"ended"_s));
        model.handle(object(R"({"type": "end", "reason": "host quit"})"));
        QCOMPARE(model.phase().reason, u"host quit"_s);
    }

    void navAcceptance()
    {
        LiveShow show(manifest(2, threeItems()));
        ShowModel &model = show.model;
        model.handle(nav(10, 1));
        QCOMPARE(where(model), u"live host 1 shows 0/1"_s);

        // Not later than the last, or of an older structure: ignored.
        for (const QJsonObject &stale : {nav(10, 2), nav(11, 2, 1), nav(9, 2)}) {
            model.handle(stale);
            QCOMPARE(model.navIndex(), 1);
        }

        // Only a newer structure asks for the manifest again.
        model.handle(structure(2));
        model.handle(object(R"({"type": "structure"})"));
        QVERIFY(show.source.pending.isEmpty());
        model.handle(structure(3));
        QCOMPARE(std::tuple(show.source.pending.size(), model.structureVersion()), std::tuple(1, 3));

        // A hello starts the clock over: the next nav is taken whatever its time.
        model.handle(hello(2, 0, 0, u"alpha"_s));
        model.handle(nav(0.5, 2));
        QCOMPARE(model.navIndex(), 2);
    }

    void navWithNewerStructureRefetchesAndShowsTheItemProvisionally()
    {
        LiveShow show(manifest(2, threeItems()));
        ShowModel &model = show.model;
        model.handle(nav(20, 1, 3, 1, u"beta"_s));
        QCOMPARE(std::tuple(show.source.pending.size(), model.structureVersion(), where(model),
                     displayedToken(model), model.standStatusHostScoreToken()),
            std::tuple(1, 3, u"live host 1 shows 1/1"_s, 2, 2));

        // Page 0 of beta lies before its start page and cannot be shown ahead of the manifest.
        model.handle(nav(21, 0, 3, 1, u"beta"_s));
        QCOMPARE(model.displayedScoreIndex(), 1);
        QCOMPARE((QList {model.canProvisionallyDisplay(1, u"beta"_s, 0),
                     model.canProvisionallyDisplay(1, u"alpha"_s, 1),
                     model.canProvisionallyDisplay(7, u"beta"_s, 1),
                     model.canProvisionallyDisplay(2, u"gamma"_s, 4)}),
            (QList {false, false, false, true}));

        // An item the set list lacks leaves the open score's token; the highest page is numbered in full.
        model.handle(nav(22, std::numeric_limits<int>::max(), 3, 9, u"nowhere"_s));
        QCOMPARE(std::tuple(model.standStatusHostScoreToken(), model.hostPositionText()),
            std::tuple(1, u"HOST p.2147483648"_s));
    }

    void manifestAcceptance()
    {
        ManualScheduler scheduler;
        ShowModel model(scheduler);
        ManifestSource source;
        source.attach(model);
        model.didJoin();
        int told = 0;
        model.acceptedManifestDidChange = [&](const QJsonObject &) { ++told; };
        model.handle(hello(1));
        model.handle(nav(1, 0, 5));
        QCOMPARE(std::tuple(source.pending.size(), model.manifestInFlight(), model.manifestQueued()),
            std::tuple(1, true, true));

        // Older than the nav already seen: not accepted, asked again.
        source.answer(manifest(4, threeItems()));
        QVERIFY(!model.manifest());
        scheduler.runPending();
        QCOMPARE(source.pending.size(), 1);
        // No answer at all (no link): asked again after a pause, not in a spin.
        source.answer(std::nullopt);
        scheduler.runPending();
        QCOMPARE(source.pending.size(), 0);
        scheduler.advance(ShowModel::manifestRetryDelay);
        QCOMPARE(source.pending.size(), 1);
        source.answer(object(R"({"structureVersion": "5"})"));
        scheduler.runPending();
        QCOMPARE(std::tuple(told, source.pending.size()), std::tuple(0, 1));

        source.answer(manifest(5, threeItems(), 1, 2));
        QVERIFY(model.manifest() && !model.manifestInFlight());
        QCOMPARE(std::tuple(told, model.navIndex(), model.navScoreIndex(), model.bookline()),
            std::tuple(1, 2, 1, u"the book: 3 charts · BETA · 4 pages"_s));
        scheduler.runPending();
        QCOMPARE(source.pending.size(), 0);

        // Host state without an item clears the Host's item.
        QJsonObject next = manifest(6, threeItems(), 1);
        next.insert("state"_L1, object(R"({"pageIndex": 3})"));
        model.handle(structure(6));
        source.answer(next);
        QCOMPARE(std::tuple(model.navIndex(), model.navScoreIndex(), model.navScoreKey()),
            std::tuple(3, std::nullopt, std::nullopt));

        // An answer for a session that was left is dropped.
        model.handle(structure(7));
        model.leaveShow();
        source.answer(manifest(7, threeItems()));
        QVERIFY(!model.manifest() && !model.manifestInFlight());
        QCOMPARE(model.bookline(), u"finding the host…"_s);
    }

    void manifestPastALimitIsRefused()
    {
        // At every limit, then one past each: set-list items, pages, part options, string length.
        const QList<std::tuple<int, int, int, int>> cases {{2000, 5000, 200, 1024}, {2001, 5000, 200, 1024},
            {2000, 5001, 200, 1024}, {2000, 5000, 201, 1024}, {2000, 5000, 200, 1025}};
        bool accepted = true;
        for (const auto &[items, pages, options, titleLength] : cases) {
            LiveShow show(manifest(2, threeItems()));
            const QJsonObject next = bigManifest(items, pages, options, titleLength);
            if (!accepted)
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Refused the Host's manifest: "_s));
            show.model.handle(structure(3));
            show.source.answer(next);
            show.scheduler.runPending();
            QCOMPARE(show.model.manifest()->value("structureVersion"_L1).toInt(), accepted ? 3 : 2);
            // The Host would only send the same again.
            QVERIFY(show.source.pending.isEmpty());
            accepted = false;
        }
    }

    void booklineAndPresence()
    {
        const QList<std::pair<QJsonObject, QString>> books {
            {object(R"({"structureVersion": 1})"), u"the host has no score open yet"_s},
            {object(R"({"structureVersion": 1, "score": {"scoreToken": 1}})"), u"the book: the score"_s},
            {object(R"({"structureVersion": 1,
                "score": {"scoreKey": "f", "scoreToken": 1, "title": "Finale", "pageCount": 8}})"),
                u"the book: Finale · 8 pages"_s},
            {manifest(1, QJsonArray {item(u"solo"_s, 1, 1)}), u"the book: SOLO · 1 pages"_s}};
        for (const auto &[manifest, text] : books)
            QCOMPARE(LiveShow(manifest).model.bookline(), text);

        // Names that are not text are left out; without a count the text stays as it was.
        const QList<std::pair<const char *, QString>> presence {{R"({"names": ["Ann"]})", QString()},
            {R"({"count": 1})", u"1 player"_s}, {R"({"count": 0})", u"0 players"_s},
            {R"({"count": 3, "names": ["Ann", 4, "Bo"]})", u"3 players · Ann · Bo"_s},
            {R"({"count": 2, "names": []})", u"2 players"_s}, {R"({"names": ["Ann"]})", u"2 players"_s}};
        LiveShow show(manifest(1, threeItems()));
        for (const auto &[json, text] : presence) {
            QJsonObject message = object(json);
            message.insert("type"_L1, "presence"_L1);
            show.model.handle(message);
            QCOMPARE(show.model.presenceText(), text);
        }
    }

    // Marks reach the open score's pages and the set-list item showing it, not the other items.
    void marksAndInkOnTheOpenScore()
    {
        LiveShow show(manifest(2, threeItems(), 1, 1), 1);
        QVERIFY(!show.model.stagePages().first().marksVersion);
        show.model.handle(object(R"({"type": "marks", "structureVersion": 2,
            "pages": [{"index": 1, "marksVersion": "m9"}, {"marksVersion": "lost"}, {"index": 2}]})"));
        const QJsonArray pages = show.model.openScore().value("pages"_L1).toArray();
        QCOMPARE(pages[1]["marksVersion"_L1].toString(), u"m9"_s);
        QVERIFY(!pages[0].toObject().contains("marksVersion"_L1));
        QCOMPARE(show.model.stagePages().first().marksVersion, u"m9"_s);
        const QJsonArray items = show.model.setlistItems();
        QVERIFY(!items[0]["pages"_L1][1].toObject().contains("marksVersion"_L1));
        QVERIFY(show.source.pending.isEmpty());

        show.model.handle(object(R"({"type": "marks", "structureVersion": 2, "pages": [{"index": 1}]})"));
        QVERIFY(!show.model.stagePages().first().marksVersion);

        // The Host's ink stays until a reconcile tick finds it ended long enough ago.
        QSignalSpy redraws(&show.model, &ShowModel::inkGenerationChanged);
        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "begin", "pageIndex": 0,
                                     "samples": [[0.1, 0.1]]})"));
        show.model.handle(object(R"({"type": "ink", "strokeId": "s", "phase": "end"})"));
        QCOMPARE(redraws.count(), 1);
        show.scheduler.advance(4.9);
        QCOMPARE(show.model.ink.strokes(0).size(), 1);
        show.scheduler.advance(0.75);
        QCOMPARE(std::tuple(show.model.ink.strokes(0).size(), redraws.count(), show.model.inkGeneration()),
            std::tuple(0, 2, show.model.ink.generation()));
        show.model.handle(object(R"({"type": "marks", "structureVersion": 1, "pages": []})"));
        QCOMPARE(show.source.pending.size(), 1);
    }

    void connectionLossMovesBetweenPhases()
    {
        LiveShow show(manifest(2, threeItems()), 2);
        ShowModel &model = show.model;
        model.handle(nav(3, 2));
        model.connectionState(true, std::nullopt);
        QCOMPARE(model.phase(), ShowPhase::live());

        model.connectionState(false, std::nullopt);
        model.connectionState(false, std::nullopt);
        QCOMPARE(std::tuple(model.phase(), model.offlinePosition(), model.toast()),
            std::tuple(ShowPhase::offline(), LocalPosition {2, 0},
                u"connection lost — cached pages remain. swipe or tap the edges while Player reconnects."_s));

        model.handle(hello(2, 2, 0, u"alpha"_s));
        QCOMPARE(std::tuple(model.phase(), model.toast(), model.offlinePosition()),
            std::tuple(ShowPhase::live(), u"back with the band — following the Host"_s, std::nullopt));

        model.setPhase(ShowPhase::connecting());
        model.connectionState(false, std::nullopt);
        QCOMPARE(model.phase(), ShowPhase::connecting());
        model.connectionState(false, u"ended"_s);
        QCOMPARE(model.phase(), ShowPhase::ended(u"ended"_s));

        model.leaveShow();
        QCOMPARE(model.phase(), ShowPhase::lobby());
        model.setPhase(ShowPhase::live());
        model.connectionState(false, std::nullopt);
        QCOMPARE(model.phase(), ShowPhase::lobby());
    }
};

QTEST_GUILESS_MAIN(ShowModelTest)
#include "tst_showmodel.moc"
