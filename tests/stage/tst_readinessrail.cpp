// SPDX-License-Identifier: GPL-3.0-or-later
#include "../show/ShowFixtures.h"

#include "stage/StageReadinessRail.h"

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

class ReadinessRailTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aCompletionIsAnnouncedOncePerSetOfFiles()
    {
        QTemporaryDir directory;
        ManualScheduler main;
        auto assets = AssetStore::create(directory.path(), {main, main});
        ShowModel model(main);
        model.setAssets(assets);
        int cached = 0;
        StageReadinessRail rail(main, model, [&](const QList<AssetStore::Want> &wants) {
            return AssetStore::PageCoverage {std::min(cached, int(wants.size())), int(wants.size())};
        });
        QJsonArray items = threeItems();
        int version = 1;
        model.requestManifest = [&](ShowModel::ManifestAnswer answer) { answer(manifest(version, items)); };
        model.didJoin();
        model.setPhase(ShowPhase::connecting());
        model.handle(hello(1, 0, 0, u"alpha"_s));
        main.runPending();
        const int total = int(model.currentWants().size());
        QVERIFY(rail.visible());
        QCOMPARE(rail.text(), u"RECEIVING MUSIC · 0/%1 PAGES"_s.arg(total));

        cached = total;
        rail.refresh();
        QVERIFY(rail.visible());
        QCOMPARE(rail.tone(), StageReadinessRail::Tone::Complete);
        main.advance(StageReadinessRail::completionSeconds + 0.1);
        QVERIFY(!rail.visible());
        rail.refresh();
        QVERIFY(!rail.visible());

        // The Host adds songs: more files are wanted each time, and their completion is news again. A long
        // show keeps only the latest few of these sets, not one for each.
        for (version = 2; version < 40; ++version) {
            items.append(item(u"song%1"_s.arg(version), 100 + version, 1));
            model.handle({{"type"_L1, "structure"_L1}, {"structureVersion"_L1, version}});
            main.runPending();
            QVERIFY(rail.visible() && rail.tone() == StageReadinessRail::Tone::Receiving);
            cached = int(model.currentWants().size());
            rail.refresh();
            QCOMPARE(rail.tone(), StageReadinessRail::Tone::Complete);
        }
        QVERIFY(
            model.readinessTracker.acknowledgedScopes.size() <= PlayerReadinessCompletionTracker::capacity);

        model.connectionState(false, std::nullopt);
        main.runPending();
        QCOMPARE(rail.tone(), StageReadinessRail::Tone::Offline);
        QVERIFY(rail.text().startsWith(u"OFFLINE · "_s));
    }
};

QTEST_GUILESS_MAIN(ReadinessRailTest)
#include "tst_readinessrail.moc"
