// SPDX-License-Identifier: GPL-3.0-or-later
#include "../assets/AssetStoreHarness.h"

#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowLibrary.h"
#include "saved/SavedShowListModel.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

using Model = SavedShowListModel;

QJsonObject score(const QString &key, qint64 token, int pageCount)
{
    QJsonArray pages;
    for (int i = 0; i < pageCount; ++i)
        pages.append(QJsonObject {{"index"_L1, i}, {"baseVersion"_L1, key + QString::number(i)}});
    return {{"scoreKey"_L1, key}, {"scoreToken"_L1, token}, {"title"_L1, key}, {"pages"_L1, pages}};
}

QJsonObject setlist(const QString &name, const QJsonArray &items)
{
    return {
        {"structureVersion"_L1, 1}, {"show"_L1, QJsonObject {{"setlistName"_L1, name}, {"items"_L1, items}}}};
}

} // namespace

class SavedShowListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsFollowTheLibrary()
    {
        // Gala has all 10 pages of its one score cached, but a second chart the Host has not prepared.
        const QJsonObject gala
            = setlist(u"Gala"_s, {score(u"ode"_s, 1, 10), QJsonObject {{"title"_L1, u"Encore"_s}}});
        const QJsonObject matinee = setlist(u"Matinee"_s, {score(u"fin"_s, 2, 2)});
        AssetStoreHarness assets;
        for (const QJsonObject &manifest : {gala, matinee}) {
            const QList<AssetStore::Want> wants = DownloadedShowContent::masterCoverage(manifest)->wants;
            for (const AssetStore::Want &want : wants)
                assets.place(want.cacheFileName, want.version.toUtf8(), AssetStoreHarness::epochMs);
        }
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
        QCOMPARE(model.rowCount(), 2);
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
