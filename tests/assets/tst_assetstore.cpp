// SPDX-License-Identifier: GPL-3.0-or-later
#include "AssetStoreHarness.h"

#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QScopeGuard>
#include <QThread>

#include <tuple>

#include <sys/mount.h>
#include <sys/stat.h>

#include <sched.h>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

using Priority = AssetStore::RetrievalPriority;
using Answers = QList<AssetStoreHarness::Answer>;
using Wants = QList<AssetStore::Want>;
using Coverage = AssetStore::PageCoverage;

namespace {

constexpr qint64 MiB = 1'048'576;
constexpr qint64 longAgo = 1'600'000'000'000;

// Pages 0 … count − 1 of score "x" at version "v".
Wants pagesOfX(int count)
{
    Wants wants;
    for (int page = 0; page < count; ++page)
        wants.append(want(u"x"_s, page, u"v"_s));
    return wants;
}

// The pages fetched so far, a "!" marking the urgent lane.
QStringList fetched(const AssetStoreHarness &h)
{
    QStringList pages;
    for (const auto &fetch : h.fetches)
        pages.append(QString::number(fetch.pageIndex) + (fetch.urgent ? u"!"_s : QString()));
    return pages;
}

} // namespace

class AssetStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A legacy-named file moves to its current name when first asked about.
    void cachedFileIsExactAndTouched()
    {
        AssetStoreHarness h;
        const auto page = want(u"abc"_s, 3, u"v7"_s);
        const auto legacyPage = want(u"abc"_s, 4, u"7"_s);
        const QString legacy = u"abc-4-base.png@7"_s;
        h.place(page.cacheFileName, "png", longAgo);
        h.place(legacy, "legacy", longAgo);
        h.start();
        QCOMPARE(h.store->cachedCount({legacyPage, want(u"a.b"_s, 4, u"7"_s)}), 1);
        QCOMPARE(h.present({legacy, legacyPage.cacheFileName}), QStringList {legacyPage.cacheFileName});
        QCOMPARE(std::pair(h.store->ledgerSnapshot().contains(legacy),
                     h.store->ledgerSnapshot().entry(legacyPage.cacheFileName)),
            std::pair(false, std::optional(AssetLedger::Entry {6, longAgo})));

        h.scheduler.advance(42);
        h.retrieve(u"a"_s, page, Priority::displayed);
        h.retrieve(u"b"_s, legacyPage, Priority::displayed);
        QCOMPARE(h.answers, (Answers {{u"a"_s, "png", true}, {u"b"_s, "legacy", true}}));
        QVERIFY(h.fetches.isEmpty());
        QCOMPARE(QFileInfo(h.filePath(page.cacheFileName)).lastModified().toMSecsSinceEpoch(), h.wallNow());
        QCOMPARE(h.store->ledgerSnapshot().entry(page.cacheFileName)->lastUsed, h.wallNow());
    }

    // The newest other version of the page answers, a legacy-named one moving to its current name first.
    void staleVersionsAnswerOnlyWhenAllowed()
    {
        // Offline or after a failed fetch; stale allowed or not.
        for (const auto &[network, allowStale] : {std::pair(false, true), {false, false}, {true, true}}) {
            AssetStoreHarness h;
            h.place(want(u"abc"_s, 3, u"v5"_s).cacheFileName, "oldest", longAgo);
            h.place(u"abc-3-base.png@v6"_s, "older", longAgo + 1);
            h.place(want(u"abc"_s, 4, u"v9"_s).cacheFileName, "other page", longAgo + 2);
            h.start(network);
            h.retrieve(u"a"_s, want(u"abc"_s, 3, u"v7"_s), Priority::displayed, allowStale);
            if (network) {
                QVERIFY(h.answers.isEmpty());
                h.answer(0, 404, "not found");
            }
            const std::optional<QByteArray> older
                = allowStale ? std::optional<QByteArray>("older") : std::nullopt;
            QCOMPARE(h.answers, (Answers {{u"a"_s, older, false}}));
            QCOMPARE(h.has(want(u"abc"_s, 3, u"v6"_s).cacheFileName), allowStale);
        }
    }

    // Requests for one file share a fetch per lane; a displayed request overtakes a look-ahead on the
    // urgent lane; the first good answer serves all.
    void eitherLaneAnswersEveryone()
    {
        for (const bool urgentLaneFailsFirst : {false, true}) {
            AssetStoreHarness h;
            h.start();
            const auto page = want(u"abc"_s, 3, u"v7"_s, u"marks.png"_s, 11);
            const QStringList tags {u"ahead"_s, u"shown"_s, u"again"_s, u"later"_s};
            for (const QString &tag : tags)
                h.retrieve(tag, page, tag.startsWith(u'a') ? Priority::lookAhead : Priority::displayed);
            QCOMPARE(fetched(h), (QStringList {u"3"_s, u"3!"_s}));
            const auto &fetch = h.fetches[1];
            QCOMPARE(std::tuple(fetch.scoreToken, fetch.kind, fetch.version),
                std::tuple(11LL, u"marks.png"_s, u"v7"_s));

            if (urgentLaneFailsFirst) {
                h.answer(1, 0, std::nullopt);
                QVERIFY(h.answers.isEmpty());
            }
            h.answer(0, 200, "png");
            Answers all;
            for (const QString &tag : tags)
                all.append({tag, "png", true});
            QCOMPARE(h.answers, all);
            if (!urgentLaneFailsFirst)
                h.answer(1, 0, std::nullopt);
            QCOMPARE(std::tuple(h.answers, h.has(page.cacheFileName), h.contentsChanges),
                std::tuple(all, true, 1));
        }
    }

    void servedVersionIsStoredUnderItsOwnName()
    {
        AssetStoreHarness h;
        h.start();
        const auto requested = want(u"abc"_s, 3, u"v7"_s);
        h.pump({requested});
        h.retrieve(u"a"_s, requested, Priority::lookAhead);
        QCOMPARE(h.fetches.size(), 1);

        h.answer(0, 200, "newer", u"v8"_s);
        QCOMPARE(h.answers, (Answers {{u"a"_s, "newer", false}}));
        const QString served = want(u"abc"_s, 3, u"v8"_s).cacheFileName;
        QCOMPARE(h.present({served, requested.cacheFileName}), QStringList {served});
        // The pump does not keep asking for a version the Host does not serve.
        QCOMPARE(h.fetches.size(), 1);
        h.scheduler.advance(5.1);
        h.pump({requested});
        QCOMPARE(h.fetches.size(), 2);
    }

    void pumpFetchesOneFileAtATimeInOrder()
    {
        AssetStoreHarness h;
        const Wants wants = pagesOfX(4);
        h.place(wants[1].cacheFileName, "cached", longAgo);
        h.start();
        h.retrieve(u"shown"_s, wants[2], Priority::displayed);
        h.pump(wants, u"x"_s);
        h.pump(wants, u"x"_s);
        QCOMPARE(fetched(h), (QStringList {u"2!"_s, u"0"_s}));
        h.answer(1, 200, "p0");
        QCOMPARE(fetched(h), (QStringList {u"2!"_s, u"0"_s, u"3"_s}));
        h.answer(2, 200, "p3");
        QCOMPARE(h.fetches.size(), 3);
        QCOMPARE(h.store->cachedPageCoverage(wants), (Coverage {3, 4}));
    }

    // A failed background fetch waits five seconds, unless removing the file lifts the wait.
    void failedPumpFetchCoolsDownForTheBackgroundLaneOnly()
    {
        AssetStoreHarness h;
        h.start();
        const auto page = want(u"abc"_s, 0, u"v"_s);
        h.pump({page});
        h.answer(0, 500, std::nullopt);
        h.scheduler.advance(4.9);
        h.pump({page});
        h.retrieve(u"shown"_s, page, Priority::displayed);
        QCOMPARE(fetched(h), (QStringList {u"0"_s, u"0!"_s}));
        h.answer(1, 0, std::nullopt);
        QCOMPARE(h.answers, (Answers {{u"shown"_s, std::nullopt, false}}));

        h.scheduler.advance(5.0);
        h.pump({page});
        QCOMPARE(fetched(h), (QStringList {u"0"_s, u"0!"_s, u"0"_s}));
        h.answer(2, 500, std::nullopt);
        h.remove({page});
        h.pump({page});
        QCOMPARE(h.fetches.size(), 4);

        // A store released meanwhile answers nobody.
        h.retrieve(u"late"_s, want(u"abc"_s, 1, u"v"_s), Priority::displayed);
        h.store.reset();
        h.answer(4, 200, "late");
        QCOMPARE(h.answers.size(), 1);
    }

    // A write that fails makes room from the oldest unprotected files and is tried once more.
    void failedWriteForcesEviction()
    {
        // The second write succeeds, or fails too.
        for (const int failingWrites : {1, 2}) {
            AssetStoreHarness h;
            const auto saved = want(u"saved"_s, 0, u"v"_s);
            const auto playing = want(u"abc"_s, 0, u"v"_s);
            const Wants others = pagesOfX(3);
            const Wants oldestFirst = Wants {saved, playing} + others;
            // The pinned file still has its legacy name; pinning moves it.
            h.placeAll(
                QStringList {u"saved-0-base.png@v"_s} + fileNames(Wants {playing} + others), "123", longAgo);
            h.start();
            h.store->setPinned({saved});
            h.pump({}, u"abc"_s);
            h.failingWrites = failingWrites;

            // Four bytes to write: the two oldest unprotected files make room.
            const auto page = want(u"abc"_s, 5, u"v"_s);
            h.retrieve(u"a"_s, page, Priority::displayed);
            h.answer(0, 200, "four");
            QCOMPARE(h.writes, 2);
            QCOMPARE(h.answers, (Answers {{u"a"_s, "four", true}}));
            QCOMPARE(h.store->ledgerSnapshot().contains(page.cacheFileName), failingWrites == 1);
            QCOMPARE(h.store->cachedCount(oldestFirst), 3);
            QStringList kept = fileNames({saved, playing, others[2]});
            if (failingWrites == 1)
                kept.append(page.cacheFileName);
            QCOMPARE(h.present(fileNames(oldestFirst + Wants {page})), kept);
            QCOMPARE(h.contentsChanges, 1);
        }
    }

    // A file that could not be removed stays counted, and nothing is reported as changed; names that
    // leave the directory are never touched.
    void filesThatCannotBeRemovedStay()
    {
        AssetStoreHarness h;
        const auto page = want(u"abc"_s, 0, u"v"_s);
        const QString outside = h.root.filePath(u"outside"_s);
        writeFile(outside, "keep");
        h.place(page.cacheFileName, "png", longAgo);
        h.start();
        AssetStore::Want escaping = want(u"abc"_s, 0, u"v"_s);
        escaping.cacheFileName = u"../outside"_s;
        QCOMPARE(h.store->cachedCount({escaping}), 0);
        h.store->setPinned({escaping});
        h.remove({escaping});
        QCOMPARE(readAll(outside), "keep");
        QCOMPARE(h.store->ledgerSnapshot().entries().keys(), QStringList {page.cacheFileName});

        h.failRemoves = true;
        h.remove({page});
        QVERIFY(h.removeAssets({u"abc"_s}));
        QCOMPARE(std::tuple(h.store->cachedCount({page}), h.contentsChanges), std::tuple(1, 0));
    }

    void evictionDrainsWithoutTouchingTheProtectedScoreOrPins()
    {
        AssetStoreHarness h;
        const auto playing = want(u"abc"_s, 0, u"v"_s);
        const auto saved = want(u"saved"_s, 0, u"v"_s);
        const Wants others = pagesOfX(2);
        const Wants oldestFirst = Wants {playing, saved} + others;
        // Sparse files: the sizes count, the disk stays empty.
        const QList<qint64> sizes {150, 100, 30, 19};
        for (qsizetype i = 0; i < sizes.size(); ++i)
            h.place(oldestFirst[i].cacheFileName, {}, longAgo + i, sizes[i] * MiB);
        h.start();
        h.store->setPinned({saved});
        const auto page = want(u"abc"_s, 5, u"v"_s);
        h.pump({page}, u"abc"_s);
        h.answer(0, 200, QByteArray(MiB + 1, 'p'));
        QVERIFY(h.store->ledgerSnapshot().totalBytes() <= 280 * MiB);
        QCOMPARE(
            h.present(fileNames(oldestFirst + Wants {page})), fileNames({playing, saved, others[1], page}));
    }

    void removeKeepsPinsButRemovingScoresDoesNot()
    {
        AssetStoreHarness h;
        const auto saved = want(u"abc"_s, 0, u"v"_s);
        const auto loose = want(u"abc"_s, 1, u"v"_s);
        // Files of scores whose keys only start like this one's.
        const QStringList theirs {want(u"abc-d"_s, 0, u"v"_s).cacheFileName, u"abc-d-3-base.png@7"_s};
        const QStringList ours {
            saved.cacheFileName, loose.cacheFileName, u"abc-2-base.png@v"_s, u"abc-3-marks.png@x-1"_s};
        h.placeAll(theirs + ours, "x", longAgo);
        h.start();
        h.store->setPinned({saved});
        h.remove({saved, loose, want(u"abc"_s, 2, u"v"_s)});
        QCOMPARE(h.present(ours), (QStringList {saved.cacheFileName, u"abc-3-marks.png@x-1"_s}));
        QCOMPARE(h.contentsChanges, 1);

        h.remove({loose});
        QVERIFY(h.removeAssets({}));
        QCOMPARE(h.contentsChanges, 1);

        QVERIFY(h.removeAssets({u"abc"_s}));
        QCOMPARE(h.present(theirs + ours), theirs);
        QCOMPARE(h.contentsChanges, 2);
    }

    void coverageCountsPagesWhoseWantsAreAllPresent()
    {
        AssetStoreHarness h;
        const Wants wants {want(u"abc"_s, 1, u"b"_s), want(u"abc"_s, 1, u"m"_s, u"marks.png"_s),
            want(u"abc"_s, 2, u"b"_s), want(u"abc"_s, 2, u"m"_s, u"marks.png"_s), want(u"xyz"_s, 1, u"b"_s)};
        h.place(wants[0].cacheFileName, "12", longAgo);
        h.place(wants[1].cacheFileName, "345", longAgo);
        h.place(wants[2].cacheFileName, "6789", longAgo);
        h.start(false);
        QCOMPARE(std::tuple(h.store->cachedPageCoverage(wants), h.store->cachedCount(wants),
                     h.store->cachedBytes(wants), h.store->cachedPageCoverage({})),
            std::tuple(Coverage {1, 3}, 3, 9LL, Coverage {0, 0}));

        // Without a network the pump cools every want once and leaves nothing scheduled.
        h.pump(pagesOfX(500));
        QCOMPARE(h.scheduler.pendingCount(), 0);
    }

    void untrustedFilesAreNotServed()
    {
        for (const QString what : {u"link"_s, u"fifo"_s, u"oversized"_s, u"empty"_s}) {
            AssetStoreHarness h;
            const auto page = want(u"abc"_s, 0, u"v"_s);
            const QString outside = h.root.filePath(u"outside"_s);
            const QString path = h.filePath(page.cacheFileName);
            writeFile(outside, "secret");
            QDir().mkpath(h.path);
            if (what == u"link")
                QVERIFY(QFile::link(outside, path));
            else if (what == u"fifo")
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            else
                h.place(page.cacheFileName, {}, longAgo,
                    what == u"oversized" ? AssetDirectory::maxFileBytes + 1 : 0);
            h.start();

            h.retrieve(u"a"_s, page, Priority::displayed);
            QVERIFY(h.answers.isEmpty());
            QCOMPARE(h.fetches.size(), 1);
            h.answer(0, 200, "fresh");
            QCOMPARE(h.answers, (Answers {{u"a"_s, "fresh", true}}));
            QCOMPARE(readAll(outside), "secret");
            QVERIFY(!QFileInfo(path).isSymLink());
        }
    }

    void answersOnTheMainThreadFromItsOwnQueue()
    {
        QTemporaryDir dir;
        SerialQueue queue(u"player.assets"_s);
        QObject mainContext;
        EventLoopScheduler main(&mainContext);
        const auto store = AssetStore::create(dir.filePath(u"Assets"_s), {queue.scheduler(), main});
        QThread *fetchThread = nullptr;
        store->setNetwork([&fetchThread](qint64, qint64, const QString &, const QString &version, bool,
                              AssetFetchCompletion completion) {
            fetchThread = QThread::currentThread();
            completion(200, std::nullopt, version.toUtf8());
        });
        QThread *answerThread = nullptr;
        store->retrieve(u"abc"_s, 1, 0, u"base.png"_s, u"v1"_s, Priority::displayed, false,
            [&answerThread](const std::optional<QByteArray> &data, bool exact) {
                if (data == "v1" && exact)
                    answerThread = QThread::currentThread();
            });
        QTRY_COMPARE(answerThread, QThread::currentThread());
        QVERIFY(fetchThread && fetchThread != QThread::currentThread());
        QCOMPARE(store->cachedCount({want(u"abc"_s, 0, u"v1"_s)}), 1);
    }

    void fullDiskIsSurvivedByForcedEviction()
    {
        // A real 1 MiB file system, mounted in a private mount namespace of this thread so that
        // nothing outside the test ever sees it.
        QTemporaryDir mountPoint;
        const QByteArray path = QFile::encodeName(mountPoint.path());
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", path.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") != 0)
            QSKIP("mounting a small tmpfs is not permitted here");
        const auto unmount = qScopeGuard([&path] { ::umount2(path.constData(), MNT_DETACH); });

        AssetStoreHarness h(mountPoint.filePath(u"Assets"_s));
        const Wants old = pagesOfX(3);
        h.placeAll(fileNames(old), QByteArray(300 * 1024, 'o'), longAgo);
        h.start();
        const auto page = want(u"abc"_s, 0, u"v"_s);
        const QByteArray fresh(400 * 1024, 'n');
        h.retrieve(u"a"_s, page, Priority::displayed);
        h.answer(0, 200, fresh);
        QCOMPARE(h.writes, 2);
        QCOMPARE(h.answers, (Answers {{u"a"_s, fresh, true}}));
        QCOMPARE(readAll(h.filePath(page.cacheFileName)), fresh);
        QCOMPARE(h.present(fileNames(old)), QStringList {old[2].cacheFileName});
    }
};

QTEST_GUILESS_MAIN(AssetStoreTest)
#include "tst_assetstore.moc"
