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
    void cachedFileIsExactAndTouched()
    {
        AssetStoreHarness h;
        const auto page = want(u"abc"_s, 3, u"v7"_s);
        h.place(page.cacheFileName, "png", longAgo);
        h.start();
        h.scheduler.advance(42);
        h.retrieve(u"a"_s, page, Priority::displayed);
        QCOMPARE(h.answers, (Answers {{u"a"_s, "png", true}}));
        QVERIFY(h.fetches.isEmpty());
        QCOMPARE(QFileInfo(h.filePath(page.cacheFileName)).lastModified().toMSecsSinceEpoch(), h.wallNow());
        QCOMPARE(h.store->ledgerSnapshot().entry(page.cacheFileName)->lastUsed, h.wallNow());
    }

    // The newest other version of the page answers, a legacy-named one moving to its current name first.
    void staleVersionsAnswerOnlyWhenAllowed_data()
    {
        QTest::addColumn<bool>("network");
        QTest::addColumn<bool>("allowStale");
        QTest::addColumn<std::optional<QByteArray>>("data");
        QTest::newRow("offline, stale allowed") << false << true << std::optional<QByteArray>("older");
        QTest::newRow("offline, exact only") << false << false << std::optional<QByteArray>();
        QTest::newRow("failed fetch, stale allowed") << true << true << std::optional<QByteArray>("older");
    }

    void staleVersionsAnswerOnlyWhenAllowed()
    {
        QFETCH(bool, network);
        QFETCH(bool, allowStale);
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
        QFETCH(std::optional<QByteArray>, data);
        QCOMPARE(h.answers, (Answers {{u"a"_s, data, false}}));
        QCOMPARE(h.has(want(u"abc"_s, 3, u"v6"_s).cacheFileName), allowStale);
    }

    // Requests for one file share a fetch per lane; a displayed request overtakes a look-ahead on the
    // urgent lane; the first good answer serves all.
    void eitherLaneAnswersEveryone_data()
    {
        QTest::addColumn<bool>("urgentLaneFailsFirst");
        QTest::newRow("look-ahead answers first") << false;
        QTest::newRow("urgent lane fails first") << true;
    }

    void eitherLaneAnswersEveryone()
    {
        QFETCH(bool, urgentLaneFailsFirst);
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
        QCOMPARE(
            std::tuple(h.answers, h.has(page.cacheFileName), h.contentsChanges), std::tuple(all, true, 1));
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
        Wants wants;
        for (int page = 0; page < 4; ++page)
            wants.append(want(u"abc"_s, page, u"v"_s));
        h.place(wants[1].cacheFileName, "cached", longAgo);
        h.start();
        h.retrieve(u"shown"_s, wants[2], Priority::displayed);
        h.pump(wants, u"abc"_s);
        h.pump(wants, u"abc"_s);
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
    }

    void pumpWithoutNetworkCoolsEveryWantOnce()
    {
        AssetStoreHarness h;
        h.start(false);
        const Wants wants = pagesOfX(500);
        h.pump(wants);
        QCOMPARE(h.scheduler.pendingCount(), 0);
        QCOMPARE(h.store->cachedCount(wants), 0);
    }

    // A write that fails makes room from the oldest unprotected files and is tried once more.
    void failedWriteForcesEviction_data()
    {
        QTest::addColumn<int>("failingWrites");
        QTest::newRow("second write succeeds") << 1;
        QTest::newRow("second write fails too") << 2;
    }

    void failedWriteForcesEviction()
    {
        QFETCH(int, failingWrites);
        AssetStoreHarness h;
        const auto saved = want(u"saved"_s, 0, u"v"_s);
        const auto playing = want(u"abc"_s, 0, u"v"_s);
        const Wants others = pagesOfX(3);
        const Wants oldestFirst = Wants {saved, playing} + others;
        h.placeAll(fileNames(oldestFirst), "123", longAgo);
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

    // A file that could not be removed stays counted, and nothing is reported as changed.
    void fileThatCannotBeRemovedStaysInTheLedger()
    {
        AssetStoreHarness h;
        const auto page = want(u"abc"_s, 0, u"v"_s);
        h.place(page.cacheFileName, "png", longAgo);
        h.start();
        h.failRemoves = true;
        h.remove({page});
        QVERIFY(h.removeAssets({u"abc"_s}));
        QCOMPARE(std::tuple(h.store->ledgerSnapshot().contains(page.cacheFileName), h.contentsChanges),
            std::tuple(true, 0));
        QCOMPARE(h.store->cachedCount({page}), 1);
    }

    void evictionDrainsWithoutTouchingTheProtectedScoreOrPins()
    {
        AssetStoreHarness h;
        const auto playing = want(u"abc"_s, 0, u"v"_s);
        const auto saved = want(u"saved"_s, 0, u"v"_s);
        const auto legacyOfPlaying = u"abc-1-base.png@v"_s;
        const auto old = want(u"x"_s, 0, u"v"_s);
        const auto recent = want(u"x"_s, 1, u"v"_s);
        // Sparse files: the sizes count, the disk stays empty.
        const QList<std::pair<QString, qint64>> files {{playing.cacheFileName, 150},
            {saved.cacheFileName, 100}, {legacyOfPlaying, 15}, {old.cacheFileName, 15},
            {recent.cacheFileName, 19}};
        for (qsizetype i = 0; i < files.size(); ++i)
            h.place(files[i].first, {}, longAgo + i, files[i].second * MiB);
        h.start();
        h.store->setPinned({saved});
        const auto page = want(u"abc"_s, 5, u"v"_s);
        h.pump({page}, u"abc"_s);
        h.answer(0, 200, QByteArray(MiB + 1, 'p'));

        const AssetLedger ledger = h.store->ledgerSnapshot();
        QVERIFY(ledger.totalBytes() <= 280 * MiB);
        QStringList expected = fileNames({playing, page, saved, recent});
        expected.sort();
        QCOMPARE(ledger.entries().keys(), expected);
        QCOMPARE(h.present({legacyOfPlaying, old.cacheFileName}), QStringList {});
        QCOMPARE(h.store->cachedPageCoverage({playing, saved, page, old}), (Coverage {3, 4}));
    }

    void legacyFileMovesToItsCurrentNameWhenFirstAsked()
    {
        AssetStoreHarness h;
        const QString legacy = u"abc-3-base.png@7"_s;
        h.place(legacy, "legacy", longAgo);
        h.start();
        const auto page = want(u"abc"_s, 3, u"7"_s);
        QVERIFY(h.has(legacy));

        QCOMPARE(h.store->cachedCount({page, want(u"a.b"_s, 3, u"7"_s)}), 1);
        QCOMPARE(h.present({legacy, page.cacheFileName}), QStringList {page.cacheFileName});
        const AssetLedger ledger = h.store->ledgerSnapshot();
        QVERIFY(!ledger.contains(legacy));
        QCOMPARE(ledger.entry(page.cacheFileName), (AssetLedger::Entry {6, longAgo}));
        h.retrieve(u"a"_s, page, Priority::displayed);
        QCOMPARE(h.answers, (Answers {{u"a"_s, "legacy", true}}));
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
        h.start();
        QCOMPARE(std::tuple(h.store->cachedPageCoverage(wants), h.store->cachedCount(wants),
                     h.store->cachedBytes(wants), h.store->cachedPageCoverage({})),
            std::tuple(Coverage {1, 3}, 3, 9LL, Coverage {0, 0}));
    }

    void untrustedFilesAreNotServed_data()
    {
        QTest::addColumn<QString>("what");
        for (const char *what : {"link", "fifo", "oversized", "empty"})
            QTest::newRow(what) << QString::fromLatin1(what);
    }

    void untrustedFilesAreNotServed()
    {
        QFETCH(QString, what);
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
            h.place(
                page.cacheFileName, {}, longAgo, what == u"oversized" ? AssetDirectory::maxFileBytes + 1 : 0);
        h.start();

        h.retrieve(u"a"_s, page, Priority::displayed);
        QVERIFY(h.answers.isEmpty());
        QCOMPARE(h.fetches.size(), 1);
        h.answer(0, 200, "fresh");
        QCOMPARE(h.answers, (Answers {{u"a"_s, "fresh", true}}));
        QCOMPARE(readAll(outside), "secret");
        QVERIFY(!QFileInfo(path).isSymLink());
    }

    void namesThatLeaveTheDirectoryAreRefused()
    {
        AssetStoreHarness h;
        const QString outside = h.root.filePath(u"outside"_s);
        writeFile(outside, "keep");
        h.start();
        AssetStore::Want escaping = want(u"abc"_s, 0, u"v"_s);
        escaping.cacheFileName = u"../outside"_s;
        QCOMPARE(h.store->cachedCount({escaping}), 0);
        h.store->setPinned({escaping});
        h.remove({escaping});
        QCOMPARE(readAll(outside), "keep");
        QCOMPARE(h.store->ledgerSnapshot().entries().size(), 0);
    }

    void releasedStoreAnswersNobody()
    {
        AssetStoreHarness h;
        h.start();
        h.retrieve(u"a"_s, want(u"abc"_s, 0, u"v"_s), Priority::displayed);
        h.store.reset();
        h.answer(0, 200, "late");
        QVERIFY(h.answers.isEmpty());
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
        QList<QThread *> answerThreads;
        for (int i = 0; i < 2; ++i) {
            store->retrieve(u"abc"_s, 1, 0, u"base.png"_s, u"v1"_s, Priority::displayed, false,
                [&answerThreads](const std::optional<QByteArray> &data, bool exact) {
                    if (data == "v1" && exact)
                        answerThreads.append(QThread::currentThread());
                });
        }
        QTRY_COMPARE(answerThreads, (QList<QThread *> {QThread::currentThread(), QThread::currentThread()}));
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
