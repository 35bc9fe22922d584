// SPDX-License-Identifier: GPL-3.0-or-later
#include "../assets/AssetStoreHarness.h"

#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowLibrary.h"
#include "support/Json.h"

#include <QJsonArray>
#include <QSignalSpy>

#include <memory>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

using Want = AssetStore::Want;
using Record = DownloadedShowLibrary::Record;
using Library = DownloadedShowLibrary;

// A score whose page i is at base version "<key>-<i>-<version>" and whose parts, when `refs` are
// given, are offered under those refs.
QJsonObject score(const QString &key, qint64 token, int pageCount, const QString &version = u"1"_s,
    const QStringList &refs = {})
{
    QJsonArray pages, options;
    for (int i = 0; i < pageCount; ++i)
        pages.append(
            QJsonObject {{"index"_L1, i}, {"baseVersion"_L1, u"%1-%2-%3"_s.arg(key).arg(i).arg(version)}});
    for (const QString &ref : refs)
        options.append(QJsonObject {{"optionID"_L1, ref}, {"label"_L1, ref}, {"ref"_L1, ref}});
    QJsonObject score {
        {"scoreKey"_L1, key}, {"scoreToken"_L1, token}, {"title"_L1, key}, {"pages"_L1, pages}};
    if (!refs.isEmpty())
        score.insert("partOptions"_L1, options);
    return score;
}

QJsonObject setlist(const QString &name, const QList<QJsonObject> &items)
{
    QJsonArray list;
    for (const QJsonObject &item : items)
        list.append(item);
    return {
        {"structureVersion"_L1, 1}, {"show"_L1, QJsonObject {{"setlistName"_L1, name}, {"items"_L1, list}}}};
}

QJsonObject gala()
{
    return setlist(u"Gala"_s, {score(u"ode"_s, 1, 2)});
}

QString identity(const QJsonObject &manifest)
{
    return DownloadedShowContent::showIdentity(manifest).value_or(QString());
}

QList<Want> masterWants(const QJsonObject &manifest)
{
    return DownloadedShowContent::masterCoverage(manifest).value_or(DownloadedShowCoverage {}).wants;
}

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

// A library over a real temporary directory beside a real asset store; the clock, the queue and the
// main thread are one manual scheduler.
class LibraryHarness
{
public:
    explicit LibraryHarness(bool withNetwork = false, const QList<Want> &cached = {})
    {
        QDir().mkpath(directory);
        for (const Want &want : cached)
            assets.place(want.cacheFileName, want.version.toUtf8(), AssetStoreHarness::epochMs);
        assets.start(withNetwork);
        open();
    }

    // A new library object over the same directory, as after a restart.
    void open()
    {
        library.reset();
        library = std::make_unique<Library>(directory, assets.store,
            Library::Environment {[this] { return assets.wallNow(); },
                [this](const QString &path, const QByteArray &bytes) {
                    ++writes;
                    return !failWrites && AssetDirectory::writeAtomically(path, bytes);
                },
                [this](const QString &path) { return !failRemoves && QFile::remove(path); }});
        settle();
    }

    void settle() { assets.scheduler.runPending(); }

    bool saveLive(const QJsonObject &manifest, const QSet<QString> &refs = {})
    {
        library->captureLiveManifest(manifest);
        const bool saved = library->saveCurrentShow(refs);
        settle();
        return saved;
    }

    QString recordPath(const QString &id) const { return directory + u'/' + id + u".json"_s; }
    QString statusOf(const QString &id) const
    {
        const auto summary = library->summary(id);
        return summary ? summary->statusText() : QString();
    }
    // Which of `wants` have their files cached.
    QList<bool> cached(const QList<Want> &wants) const
    {
        QList<bool> present;
        for (const Want &want : wants)
            present.append(assets.has(want.cacheFileName));
        return present;
    }

    AssetStoreHarness assets;
    QString directory = assets.root.filePath(Library::directoryName);
    std::unique_ptr<Library> library;
    int writes = 0;
    bool failWrites = false;
    bool failRemoves = false;
};

} // namespace

class DownloadedShowLibraryTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savingNeedsALiveManifestWithAnIdentity()
    {
        LibraryHarness h;
        const auto stillPreparing = [&h] {
            return !h.library->saveCurrentShow({})
                && h.library->lastSaveFailure() == Library::notPreparedText;
        };
        QVERIFY(stillPreparing());
        h.library->captureLiveManifest({{"score"_L1, QJsonObject {{"scoreToken"_L1, 3}}}});
        QVERIFY(stillPreparing());
        QCOMPARE(h.writes, 0);

        // Ending the live session forgets the show, not the saved record.
        QVERIFY(h.saveLive(gala()));
        QVERIFY(h.library->currentShowSummary());
        h.library->endLiveSession();
        QVERIFY(!h.library->isCurrentShowSaved() && !h.library->currentShowSummary());
        QVERIFY(stillPreparing());
        QCOMPARE(h.library->shows().size(), 1);
    }

    void aSavedShowIsWrittenAndOpensAfterARestart()
    {
        LibraryHarness h;
        const QJsonObject manifest = setlist(
            u"Gala"_s, {score(u"ode"_s, 1, 2, u"1"_s, {u"b.ref"_s, u"a.ref"_s}), score(u"fin"_s, 2, 3)});
        const QJsonObject violin = score(u"ode-b"_s, 11, 2);
        h.assets.scheduler.advance(0.25);
        h.library->captureLiveManifest(manifest);
        h.library->captureLiveRendition(u"b.ref"_s, violin);
        QSignalSpy savedChanges(h.library.get(), &Library::isCurrentShowSavedChanged);
        QVERIFY(h.library->saveCurrentShow({u"b.ref"_s, u"a.ref"_s}));
        QCOMPARE(
            std::tuple(h.library->lastSaveFailure(), h.library->isCurrentShowSaved(), savedChanges.size()),
            std::tuple(std::nullopt, true, 1));

        const QString id = identity(manifest);
        const DownloadedShowSummary expected {id, u"Gala"_s, at(h.assets.wallNow()), 2, 0, 5, 0, 2};
        QCOMPARE(h.library->shows(), QList {expected});
        QCOMPARE(h.library->currentShowSummary(), expected);
        // Compact, with the keys in order at every level.
        const QJsonObject file {{"format"_L1, u"local.pagewright.downloaded-show"_s}, {"schemaVersion"_L1, 1},
            {"id"_L1, id}, {"updatedAt"_L1, double(h.assets.wallNow()) / 1000.0}, {"manifest"_L1, manifest},
            {"renditionsByRef"_L1, QJsonObject {{"b.ref"_L1, violin}}},
            {"expectedRenditionRefs"_L1, QJsonArray {u"a.ref"_s, u"b.ref"_s}}};
        QCOMPARE(readAll(h.recordPath(id)), QJsonDocument(file).toJson(QJsonDocument::Compact));

        const auto saved = h.library->record(id);
        h.open();
        QCOMPARE(h.library->record(id), saved);
        QCOMPARE(h.library->shows(), QList {expected});
        QCOMPARE(h.library->rendition(u"b.ref"_s, id), violin);
        QVERIFY(!h.library->rendition(u"a.ref"_s, id));
        QVERIFY(!h.library->isCurrentShowSaved() && !h.library->currentShowSummary());
    }

    void filesThatAreNotRecordsAreIgnoredAndKept_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("saveWrites");
        const QString name = identity(gala()) + u".json"_s;
        const QJsonObject valid = Record {identity(gala()), gala()}.toJson();
        const auto changed = [&valid](QLatin1StringView key, const QJsonValue &value) {
            QJsonObject object = valid;
            object.insert(key, value);
            return json::compact(object);
        };
        const QJsonObject other = setlist(u"Other"_s, {score(u"fin"_s, 2, 2)});
        const QJsonObject unnamed {{"show"_L1, QJsonObject {{"setlistName"_L1, u"Gala"_s}}}};
        const qint64 asIs = -1;
        QTest::newRow("foreign format")
            << name << changed("format"_L1, u"com.example.show"_s) << asIs << false;
        QTest::newRow("newer schema") << name << changed("schemaVersion"_L1, 2) << asIs << false;
        QTest::newRow("manifest of another show") << name << changed("manifest"_L1, other) << asIs << false;
        QTest::newRow("manifest without identity")
            << name << changed("manifest"_L1, unnamed) << asIs << false;
        QTest::newRow("not JSON") << name << QByteArray("{\"format\":") << asIs << false;
        QTest::newRow("oversized") << name << json::compact(valid) << Library::maxRecordBytes + 1 << false;
        QTest::newRow("moved") << QString(32, u'0') + u".json"_s << json::compact(valid) << asIs << true;
        QTest::newRow("hidden") << u"."_s + name << json::compact(valid) << asIs << true;
    }

    void filesThatAreNotRecordsAreIgnoredAndKept()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(qint64, size);
        QFETCH(bool, saveWrites);
        LibraryHarness h;
        const QString path = h.directory + u'/' + fileName;
        writeFile(path, content, size);
        const QByteArray before = readAll(path);
        h.open();
        QVERIFY(h.library->shows().isEmpty());

        // Saving the same show never replaces a file it could not read as its own.
        QCOMPARE(h.saveLive(gala()), saveWrites);
        QCOMPARE(h.library->isCurrentShowSaved(), saveWrites);
        QCOMPARE(readAll(path), before);
        if (!saveWrites)
            QCOMPARE(h.library->lastSaveFailure(), Library::saveFailedText);
    }

    void aLinkIsNeitherReadNorWrittenThrough()
    {
        LibraryHarness h;
        const QByteArray content = json::compact(Record {identity(gala()), gala()}.toJson());
        const QString target = h.assets.root.filePath(u"elsewhere.json"_s);
        writeFile(target, content);
        QVERIFY(QFile::link(target, h.recordPath(identity(gala()))));
        h.open();
        QVERIFY(h.library->shows().isEmpty());
        QVERIFY(!h.saveLive(gala()));
        QCOMPARE(readAll(target), content);
    }

    void loadingDropsUnusableRenditions()
    {
        LibraryHarness h;
        const QString id = identity(gala());
        const QJsonObject part = score(u"ode-vln"_s, 11, 2);
        QJsonObject file = Record {id, gala()}.toJson();
        file.remove("updatedAt"_L1);
        file.insert("renditionsByRef"_L1,
            QJsonObject {{" ode.vln "_L1, part}, {"a/b"_L1, part}, {"empty"_L1, QJsonObject {}}});
        file.insert("expectedRenditionRefs"_L1, QJsonArray {u"ode.cl"_s, u"bad\\ref"_s, 4});
        writeFile(h.recordPath(id), json::compact(file));
        h.open();

        const auto record = h.library->record(id);
        QVERIFY(record);
        QCOMPARE(record->renditionsByRef, (QMap<QString, QJsonObject> {{u"ode.vln"_s, part}}));
        QCOMPARE(record->expectedRenditionRefs, (QSet<QString> {u"ode.vln"_s, u"ode.cl"_s}));
        QCOMPARE(record->updatedAt, at(0));
        QCOMPARE(h.library->summary(id)->totalPartCount, 2);
    }

    void savingKeepsOnlyAdvertisedUsableParts()
    {
        LibraryHarness h;
        const QJsonObject manifest = setlist(
            u"Gala"_s, {score(u"reel"_s, 1, 2, u"1"_s, {u"reel.vln"_s, u"reel.cl"_s, u"reel/x"_s})});
        const QJsonObject violin = score(u"reel-vln"_s, 11, 2);
        h.library->captureLiveManifest(manifest);
        h.library->captureLiveRendition(u"reel.vln"_s, violin);
        h.library->captureLiveRendition(u"gone.part"_s, score(u"gone"_s, 12, 1));
        QVERIFY(h.library->saveCurrentShow({u"reel.cl"_s, u"unknown"_s, u"reel/x"_s}));

        const auto record = h.library->record(identity(manifest));
        QCOMPARE(record->renditionsByRef, (QMap<QString, QJsonObject> {{u"reel.vln"_s, violin}}));
        QCOMPARE(record->expectedRenditionRefs, QSet<QString> {u"reel.cl"_s});
        QCOMPARE(h.library->summary(record->id)->totalPartCount, 2);

        // A ref that is not a name, or a rendition without pages, is not captured.
        h.library->captureLiveRendition(u"reel/x"_s, violin);
        h.library->captureLiveRendition(u"reel.cl"_s, score(u"reel-cl"_s, 12, 0));
        QCOMPARE(h.library->record(record->id), record);
    }

    void liveCaptureKeepsASavedShowUpToDate()
    {
        const QJsonObject first = gala();
        const QJsonObject revised = setlist(u"Gala"_s, {score(u"ode"_s, 1, 2, u"2"_s)});
        LibraryHarness h(false, masterWants(first) + masterWants(revised));
        QVERIFY(h.saveLive(first));
        const QString id = identity(first);
        QCOMPARE(identity(revised), id);

        h.assets.scheduler.advance(60);
        h.library->captureLiveManifest(revised);
        h.library->captureLiveRendition(u"ode.vln"_s, score(u"ode-vln"_s, 11, 1));
        h.settle();
        const auto record = h.library->record(id);
        QCOMPARE(std::tuple(record->manifest, record->expectedRenditionRefs, record->updatedAt),
            std::tuple(revised, QSet<QString> {u"ode.vln"_s}, at(h.assets.wallNow())));
        QVERIFY(h.library->isCurrentShowSaved());

        // The replaced page versions are no longer needed by any saved show.
        QCOMPARE(h.cached(masterWants(first) + masterWants(revised)), (QList {false, false, true, true}));
        h.open();
        QCOMPARE(h.library->record(id), record);
    }

    void anotherShowForgetsTheCapturedRenditions()
    {
        LibraryHarness h;
        const QJsonObject reel = score(u"reel"_s, 1, 2, u"1"_s, {u"reel.vln"_s});
        const QJsonObject gala = setlist(u"Gala"_s, {reel});
        const QJsonObject matinee = setlist(u"Matinee"_s, {reel});
        for (const QJsonObject &saved : {matinee, gala}) {
            h.library->captureLiveManifest(gala);
            h.library->captureLiveRendition(u"reel.vln"_s, score(u"reel-vln"_s, 11, 2));
            h.library->captureLiveManifest(gala);
            h.library->captureLiveManifest(saved);
            QVERIFY(h.library->saveCurrentShow({}));
            QCOMPARE(h.library->record(identity(saved))->renditionsByRef.size(), saved == gala ? 1 : 0);
        }
    }

    void failedWritesLeaveTheLibraryUnchanged_data()
    {
        QTest::addColumn<bool>("failWrites");
        QTest::addColumn<int>("padding");
        QTest::addColumn<int>("writes");
        QTest::newRow("write fails") << true << 0 << 1;
        QTest::newRow("record over 16 MiB") << false << int(Library::maxRecordBytes) << 0;
    }

    void failedWritesLeaveTheLibraryUnchanged()
    {
        QFETCH(bool, failWrites);
        QFETCH(int, padding);
        LibraryHarness h;
        h.failWrites = failWrites;
        QJsonObject manifest = gala();
        manifest.insert("notes"_L1, QString(padding, u'x'));
        QVERIFY(!h.saveLive(manifest));
        QCOMPARE(h.library->lastSaveFailure(), Library::saveFailedText);
        QTEST(h.writes, "writes");
        QVERIFY(!h.library->isCurrentShowSaved() && h.library->shows().isEmpty());
        QVERIFY(!QFile::exists(h.recordPath(identity(manifest))));
    }

    void deletingKeepsTheFilesAnotherShowNeeds()
    {
        const QJsonObject gala = setlist(u"Gala"_s, {score(u"ode"_s, 1, 3), score(u"march"_s, 2, 2)});
        const QJsonObject matinee = setlist(u"Matinee"_s, {score(u"ode"_s, 1, 3), score(u"fin"_s, 3, 2)});
        LibraryHarness h(false, masterWants(gala) + masterWants(matinee));
        QVERIFY(h.saveLive(gala));
        QVERIFY(h.saveLive(matinee));
        const QString id = identity(matinee);
        QSignalSpy failures(h.library.get(), &Library::lastDeleteFailureChanged);

        h.failRemoves = true;
        QVERIFY(!h.library->deleteShow(id));
        QCOMPARE(h.library->lastDeleteFailure(), Library::deleteFailedText);
        QVERIFY(h.library->record(id) && QFile::exists(h.recordPath(id)) && h.library->isCurrentShowSaved());
        QVERIFY(!h.library->deleteShow(QString(32, u'f')));
        QVERIFY(!h.library->lastDeleteFailure());
        QCOMPARE(failures.size(), 2);

        h.failRemoves = false;
        QVERIFY(h.library->deleteShow(id));
        QVERIFY(!h.library->lastDeleteFailure() && !QFile::exists(h.recordPath(id)));
        QCOMPARE(h.library->shows().size(), 1);
        QVERIFY(!h.library->isCurrentShowSaved());
        h.settle();
        QCOMPARE(h.cached(masterWants(matinee)), (QList {true, true, true, false, false}));
        QCOMPARE(h.statusOf(identity(gala)), u"READY OFFLINE · 5/5"_s);
    }

    void showsAreListedNewestFirstThenByTitle()
    {
        LibraryHarness h;
        QVERIFY(h.saveLive(setlist(u"Matinee"_s, {score(u"a"_s, 1, 1)})));
        h.assets.scheduler.advance(10);
        QVERIFY(h.saveLive(setlist(u"beta"_s, {score(u"b"_s, 1, 1)})));
        QVERIFY(h.saveLive(setlist(u"Alpha"_s, {score(u"c"_s, 1, 1)})));
        QStringList titles;
        for (const DownloadedShowSummary &show : h.library->shows())
            titles.append(show.title);
        QCOMPARE(titles, (QStringList {u"Alpha"_s, u"beta"_s, u"Matinee"_s}));
    }

    void aSavedShowDownloadsUntilItIsReadyOffline()
    {
        LibraryHarness h(true);
        h.assets.store->setOnContentsChange([&h] { h.library->refresh(); });
        h.settle();
        const QJsonObject manifest
            = setlist(u"Gala"_s, {score(u"reel"_s, 1, 2, u"1"_s, {u"reel.vln"_s}), score(u"ode"_s, 2, 1)});
        const QJsonObject violin = score(u"reel-vln"_s, 11, 2);
        const QString id = identity(manifest);
        QVERIFY(h.saveLive(manifest, {u"reel.vln"_s}));
        QCOMPARE(h.statusOf(id), u"SAVED · DOWNLOADING 0/3"_s);

        // The show model pumps the book, then the selected part once its rendition arrived.
        const auto fetchAll = [&h](const QList<Want> &wants) {
            const qsizetype first = h.assets.fetches.size();
            h.assets.pump(wants);
            for (qsizetype i = 0; i < wants.size(); ++i)
                h.assets.answer(first + i, 200, wants[i].version.toUtf8());
        };
        const QList<Want> pages = masterWants(manifest);
        fetchAll(pages);
        QCOMPARE(h.statusOf(id), u"SAVED · PREPARING 0/1 PARTS"_s);

        h.library->captureLiveRendition(u"reel.vln"_s, violin);
        const QList<Want> part
            = DownloadedShowContent::ownerWants(violin, DownloadedShowContent::PageRange::all);
        fetchAll(part);
        QCOMPARE(h.statusOf(id), u"READY OFFLINE · 3/3"_s);
        const auto summary = h.library->summary(id);
        QVERIFY(summary->isOpenable());
        qint64 bytes = 0;
        for (const Want &want : pages + part)
            bytes += want.version.toUtf8().size();
        QCOMPARE(summary->byteCount, bytes);

        // Pinned: asking the store to drop the files leaves them in place.
        h.assets.remove(pages + part);
        QCOMPARE(h.cached(pages + part), QList<bool>(5, true));
    }
};

QTEST_GUILESS_MAIN(DownloadedShowLibraryTest)
#include "tst_downloadedshowlibrary.moc"
