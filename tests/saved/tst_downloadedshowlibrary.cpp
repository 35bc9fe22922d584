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

QJsonObject setlist(const QString &name, const QJsonArray &items)
{
    return {
        {"structureVersion"_L1, 1}, {"show"_L1, QJsonObject {{"setlistName"_L1, name}, {"items"_L1, items}}}};
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
    // Saving needs a live show with an identity; the record survives a restart, and ending the live
    // session forgets the show, not its record.
    void aSavedShowIsWrittenAndOpensAfterARestart()
    {
        LibraryHarness h;
        const auto stillPreparing = [&h] {
            return !h.library->saveCurrentShow({})
                && h.library->lastSaveFailure() == Library::notPreparedText;
        };
        QVERIFY(stillPreparing());
        h.library->captureLiveManifest({{"score"_L1, QJsonObject {{"scoreToken"_L1, 3}}}});
        QVERIFY(stillPreparing());

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

        // Newest first, then by title.
        h.assets.scheduler.advance(10);
        QVERIFY(h.saveLive(setlist(u"beta"_s, {score(u"b"_s, 1, 1)})));
        QVERIFY(h.saveLive(setlist(u"Alpha"_s, {score(u"c"_s, 1, 1)})));
        QStringList titles;
        for (const DownloadedShowSummary &show : h.library->shows())
            titles.append(show.title);
        QCOMPARE(titles, (QStringList {u"Alpha"_s, u"beta"_s, u"Gala"_s}));
        h.library->endLiveSession();
        QVERIFY(!h.library->isCurrentShowSaved() && !h.library->currentShowSummary());
        QVERIFY(stillPreparing());
        QCOMPARE(h.library->shows().size(), 3);
    }

    // Saving the same show never replaces a file it could not read as its own.
    void filesThatAreNotRecordsAreIgnoredAndKept()
    {
        const QString name = identity(gala()) + u".json"_s;
        const QJsonObject valid = Record {identity(gala()), gala()}.toJson();
        const auto changed = [&valid](QLatin1StringView key, const QJsonValue &value) {
            QJsonObject object = valid;
            object.insert(key, value);
            return json::compact(object);
        };
        const QByteArray record = json::compact(valid);
        const QJsonObject unnamed {{"show"_L1, QJsonObject {{"setlistName"_L1, u"Gala"_s}}}};
        // The file's name, its content, its size when padded, whether it is a link, whether saving writes.
        const QList<std::tuple<QString, QByteArray, qint64, bool, bool>> cases {
            {name, changed("format"_L1, u"com.example.show"_s), -1, false, false},
            {name, changed("schemaVersion"_L1, 2), -1, false, false},
            {name, changed("manifest"_L1, setlist(u"Other"_s, {score(u"fin"_s, 2, 2)})), -1, false, false},
            {name, changed("manifest"_L1, unnamed), -1, false, false},
            {name, "{\"format\":", -1, false, false},
            {name, record, Library::maxRecordBytes + 1, false, false}, {name, record, -1, true, false},
            {QString(32, u'0') + u".json"_s, record, -1, false, true},
            {u"."_s + name, record, -1, false, true}};
        for (const auto &[fileName, content, size, link, saveWrites] : cases) {
            LibraryHarness h;
            const QString path = h.directory + u'/' + fileName;
            const QString elsewhere = h.assets.root.filePath(u"elsewhere.json"_s);
            writeFile(elsewhere, content, size);
            QVERIFY(link ? QFile::link(elsewhere, path) : QFile::rename(elsewhere, path));
            const QByteArray before = readAll(path);
            h.open();
            QVERIFY2(h.library->shows().isEmpty(), content.left(80).constData());
            QVERIFY2(h.saveLive(gala()) == saveWrites, content.left(80).constData());
            QCOMPARE(readAll(path), before);
        }
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

    // Parts captured for another show are forgotten; of the rest only those the show advertises under
    // usable refs are kept.
    void savingKeepsOnlyAdvertisedUsableParts()
    {
        LibraryHarness h;
        const QJsonObject reel = score(u"reel"_s, 1, 2, u"1"_s, {u"reel.vln"_s, u"reel.cl"_s, u"reel/x"_s});
        const QJsonObject manifest = setlist(u"Gala"_s, {reel});
        const QJsonObject matinee = setlist(u"Matinee"_s, {reel});
        const QJsonObject violin = score(u"reel-vln"_s, 11, 2);
        h.library->captureLiveManifest(manifest);
        h.library->captureLiveRendition(u"reel.vln"_s, violin);
        h.library->captureLiveManifest(matinee);
        QVERIFY(h.library->saveCurrentShow({}));
        QVERIFY(h.library->record(identity(matinee))->renditionsByRef.isEmpty());

        h.library->captureLiveManifest(manifest);
        h.library->captureLiveRendition(u"reel.vln"_s, violin);
        h.library->captureLiveRendition(u"gone.part"_s, score(u"gone"_s, 12, 1));
        h.library->captureLiveManifest(manifest);
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

        h.assets.scheduler.advance(60);
        h.library->captureLiveManifest(revised);
        h.library->captureLiveRendition(u"ode.vln"_s, score(u"ode-vln"_s, 11, 1));
        h.settle();
        const auto record = h.library->record(id);
        QCOMPARE(std::tuple(record->manifest, record->expectedRenditionRefs, record->updatedAt),
            std::tuple(revised, QSet<QString> {u"ode.vln"_s}, at(h.assets.wallNow())));
        QVERIFY(h.library->isCurrentShowSaved());

        // The replaced page versions are no longer needed by any saved show.
        QCOMPARE(h.assets.present(fileNames(masterWants(first) + masterWants(revised))),
            fileNames(masterWants(revised)));
        h.open();
        QCOMPARE(h.library->record(id), record);
    }

    // A write that fails, or a record too big to write, leaves nothing behind.
    void failedWritesLeaveTheLibraryUnchanged()
    {
        for (const auto &[failWrites, padding, writes] :
            {std::tuple(true, qint64(0), 1), std::tuple(false, Library::maxRecordBytes, 0)}) {
            LibraryHarness h;
            h.failWrites = failWrites;
            QJsonObject manifest = gala();
            manifest.insert("notes"_L1, QString(padding, u'x'));
            QVERIFY(!h.saveLive(manifest));
            QCOMPARE(std::tuple(h.library->lastSaveFailure(), h.writes),
                std::tuple(Library::saveFailedText, writes));
            QVERIFY(!h.library->isCurrentShowSaved() && h.library->shows().isEmpty());
        }
    }

    void deletingKeepsTheFilesAnotherShowNeeds()
    {
        const QJsonObject gala = setlist(u"Gala"_s, {score(u"ode"_s, 1, 3), score(u"march"_s, 2, 2)});
        const QJsonObject matinee = setlist(u"Matinee"_s, {score(u"ode"_s, 1, 3), score(u"fin"_s, 3, 2)});
        LibraryHarness h(false, masterWants(gala) + masterWants(matinee));
        QVERIFY(h.saveLive(gala));
        QVERIFY(h.saveLive(matinee));
        const QString id = identity(matinee);

        h.failRemoves = true;
        QVERIFY(!h.library->deleteShow(id));
        QCOMPARE(h.library->lastDeleteFailure(), Library::deleteFailedText);
        QVERIFY(h.library->record(id) && QFile::exists(h.recordPath(id)) && h.library->isCurrentShowSaved());
        QVERIFY(!h.library->deleteShow(QString(32, u'f')));
        QVERIFY(!h.library->lastDeleteFailure());

        h.failRemoves = false;
        QVERIFY(h.library->deleteShow(id));
        QVERIFY(!h.library->lastDeleteFailure() && !QFile::exists(h.recordPath(id)));
        QCOMPARE(h.library->shows().size(), 1);
        QVERIFY(!h.library->isCurrentShowSaved());
        h.settle();
        QCOMPARE(h.assets.present(fileNames(masterWants(matinee))), fileNames(masterWants(matinee).first(3)));
        QCOMPARE(h.library->summary(identity(gala))->statusText(), u"READY OFFLINE · 5/5"_s);
    }

    void aSavedShowDownloadsUntilItIsReadyOffline()
    {
        LibraryHarness h(true);
        h.assets.store->setOnContentsChange([&h] { h.library->refresh(); });
        const QJsonObject manifest
            = setlist(u"Gala"_s, {score(u"reel"_s, 1, 2, u"1"_s, {u"reel.vln"_s}), score(u"ode"_s, 2, 1)});
        const QJsonObject violin = score(u"reel-vln"_s, 11, 2);
        const QString id = identity(manifest);
        QVERIFY(h.saveLive(manifest, {u"reel.vln"_s}));
        QCOMPARE(h.library->summary(id)->statusText(), u"SAVED · DOWNLOADING 0/3"_s);

        // The show model pumps the book, then the selected part once its rendition arrived.
        const auto fetchAll = [&h](const QList<Want> &wants) {
            const qsizetype first = h.assets.fetches.size();
            h.assets.pump(wants);
            for (qsizetype i = 0; i < wants.size(); ++i)
                h.assets.answer(first + i, 200, wants[i].version.toUtf8());
        };
        const QList<Want> pages = masterWants(manifest);
        fetchAll(pages);
        QCOMPARE(h.library->summary(id)->statusText(), u"SAVED · PREPARING 0/1 PARTS"_s);

        h.library->captureLiveRendition(u"reel.vln"_s, violin);
        const QList<Want> part
            = DownloadedShowContent::ownerWants(violin, DownloadedShowContent::PageRange::all);
        fetchAll(part);
        QCOMPARE(h.library->summary(id)->statusText(), u"READY OFFLINE · 3/3"_s);
        // Each file holds its version's name: 8 + 8 + 7 bytes of the book, 12 + 12 of the part.
        QCOMPARE(h.library->summary(id)->byteCount, 47);

        // Pinned: asking the store to drop the files leaves them in place.
        h.assets.remove(pages + part);
        QCOMPARE(h.assets.present(fileNames(pages + part)), fileNames(pages + part));
    }
};

QTEST_GUILESS_MAIN(DownloadedShowLibraryTest)
#include "tst_downloadedshowlibrary.moc"
