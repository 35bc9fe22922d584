// SPDX-License-Identifier: GPL-3.0-or-later
#include "../assets/AssetStoreHarness.h"

#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowLibrary.h"
#include "saved/SavedShowListModel.h"

#include <QAbstractItemModelTester>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

using Model = SavedShowListModel;

class SavedShowListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsFollowTheLibrary()
    {
        // Gala waits for a chart the Host has not prepared; all of Matinee's pages are cached.
        const QJsonObject gala = object(R"({"structureVersion": 1, "show": {"setlistName": "Gala", "items": [
            {"scoreKey": "ode", "scoreToken": 1, "pages": [{"index": 0, "baseVersion": "o0"}]}, {"title": "Encore"}]}})");
        const QJsonObject matinee
            = object(R"({"structureVersion": 1, "show": {"setlistName": "Matinee", "items": [
            {"scoreKey": "fin", "scoreToken": 2, "pages": [{"index": 0, "baseVersion": "f0"}]}]}})");
        AssetStoreHarness assets;
        const auto matineeCoverage = DownloadedShowContent::masterCoverage(matinee);
        for (const AssetStore::Want &want : matineeCoverage->wants)
            assets.place(want.cacheFileName, want.version.toUtf8(), AssetStoreHarness::epochMs);
        assets.start(false);
        DownloadedShowLibrary library(
            assets.root.filePath(DownloadedShowLibrary::directoryName), assets.store);
        Model model(library);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const QJsonObject &manifest : {gala, matinee}) {
            library.captureLiveManifest(manifest);
            QVERIFY(library.saveCurrentShow({}));
            assets.scheduler.runPending();
        }

        const QList<DownloadedShowSummary> shows = library.shows();
        QHash<QString, bool> openable;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row);
            QCOMPARE(index.data(Model::IdRole).toString(), shows.at(row).id);
            QCOMPARE(index.data(Model::StatusTextRole).toString(), shows.at(row).statusText());
            openable.insert(index.data().toString(), index.data(Model::OpenableRole).toBool());
        }
        QCOMPARE(openable, (QHash<QString, bool> {{u"Gala"_s, false}, {u"Matinee"_s, true}}));

        QVERIFY(library.deleteShow(shows.first().id));
        assets.scheduler.runPending();
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0).data(Model::IdRole).toString(), shows.last().id);
    }
};

QTEST_GUILESS_MAIN(SavedShowListModelTest)
#include "tst_savedshowlistmodel.moc"
