// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeMIDIInput.h"
#include "StageFixture.h"

#include "annotations/PrivateAnnotationStore.h"
#include "app/SettingsStore.h"
#include "app/ui/PartChooserView.h"
#include "midi/MIDIPageTurnController.h"
#include "midi/ui/MIDIPedalSetupView.h"
#include "stage/StageReadinessRail.h"
#include "stage/ui/DesktopStageDocumentView.h"
#include "stage/ui/StageView.h"
#include "support/DefaultsStore.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QToolButton>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

class StageScreenTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tapsTurnOrToggleTheChromeAndPrivateInkWaitsForAChart()
    {
        // The stage screen over a live show, with every service it observes.
        StageModel stage(4);
        MemoryDefaultsStore defaults;
        SettingsStore settings {defaults};
        MIDIPageTurnController midi {defaults, std::make_unique<FakeMIDIInput>()};
        QTemporaryDir inkDirectory;
        PrivateAnnotationStore ink {inkDirectory.filePath(u"PrivateAnnotations.json"_s)};
        StageReadinessRail readiness {stage.main, stage.model, nullptr};
        StageView screen {stage.main, {stage.model, settings, midi, ink, readiness}};
        screen.resize(800, 600);
        screen.show();
        // Clicks the page area at a fraction of its width, in the middle of its height.
        const auto clickAt = [&](double fraction) {
            auto *document = screen.findChild<DesktopStageDocumentView *>(u"stage-document"_s);
            QWidget *viewport = document->parentWidget();
            const QPoint at(int(viewport->width() * fraction), viewport->height() / 2);
            QTest::mouseClick(document, Qt::LeftButton, {}, document->mapFrom(viewport, at));
        };
        const auto toggleInk = [&] {
            screen.setChromeVisible(true);
            screen.findChild<QToolButton *>(u"private-annotations-toggle"_s)->click();
        };
        toggleInk();
        QVERIFY(!screen.annotationMode());
        QVERIFY(!stage.model.toast().isEmpty());
        screen.setChromeVisible(false);
        stage.join(1);
        int returns = 0;
        screen.onReturnToLive = [&] { ++returns; };

        // Following the Host, a click at the left edge peeks back; in the middle it returns.
        clickAt(0.1);
        stage.settle();
        QCOMPARE(stage.model.phase().kind, ShowPhase::Peek);
        QCOMPARE(stage.model.displayedPage(), 0);
        clickAt(0.5);
        QCOMPARE(returns, 1);
        QVERIFY(!screen.chromeVisible());

        stage.model.returnToLive();
        clickAt(0.5);
        QVERIFY(screen.chromeVisible());
        stage.main.advance(StageView::chromeAutoHide + 0.1);
        QVERIFY(!screen.chromeVisible());

        // Inking keeps the chrome open.
        QTRY_VERIFY(screen.visiblePrivatePageKey().has_value());
        toggleInk();
        QVERIFY(screen.annotationMode());
        QVERIFY(screen.findChild<QWidget *>(u"private-annotations-palette"_s)->isVisible());
        stage.main.advance(StageView::chromeAutoHide * 2);
        QVERIFY(screen.chromeVisible());
    }

    void partChooserFiltersAndReportsTheChoice()
    {
        const PlayerPartChooser chooser {u"song"_s, u"one"_s, u"Harbour Reel"_s,
            {{u"vln"_s, u"Fiddle part"_s, {u"violin"_s}, u"r1"_s}, {u"extra"_s, u"Cue sheet"_s, {}, u"r2"_s}},
            {u"vln"_s}, u"extra"_s};
        PartChooserView sheet(chooser, {{u"violin"_s, u"Violin"_s}});
        sheet.show();
        auto *list = sheet.findChild<QListView *>(u"part-options"_s);
        sheet.findChild<QLineEdit *>()->setText(u"viol"_s);
        QCOMPARE(list->model()->rowCount(), 2);
        QString chosen;
        sheet.onSelect = [&](const QString &id) { chosen = id; };
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
        QCOMPARE(chosen, u"vln"_s);
        QVERIFY(!sheet.isVisible());
    }

    void pedalSetupTeachesAndClearsEachDirection()
    {
        MemoryDefaultsStore defaults;
        auto *input = new FakeMIDIInput;
        MIDIPageTurnController midi(defaults, std::unique_ptr<PlayerMIDIInput>(input));
        MIDIPedalSetupView sheet(midi);
        sheet.show();
        QVERIFY(sheet.findChild<QLabel *>(u"no-midi-sources"_s)->isVisible());
        const auto label = [&](const QString &name) { return sheet.findChild<QLabel *>(name)->text(); };
        const auto button = [&](const QString &name) { return sheet.findChild<QPushButton *>(name); };
        const QString unassigned = label(u"binding-next"_s);
        const QString learn = button(u"learn-next"_s)->text();
        const PlayerMIDIEvent down {
            u"alsa:FS|FS MIDI 1"_s, u"FS MIDI 1"_s, PlayerMIDIMessageKind::controlChange, 0, 64, 127, true};
        for (const QString &direction : {u"previous"_s, u"next"_s}) {
            button(u"learn-"_s + direction)->click();
            QVERIFY(button(u"learn-"_s + direction)->text() != learn);
            input->send({down, {down.sourceID, down.sourceName, down.kind, 0, 64, 0, false}});
            QCOMPARE(button(u"learn-"_s + direction)->text(), learn);
            QVERIFY(label(u"binding-"_s + direction) != unassigned);
            button(u"clear-"_s + direction)->click();
            QCOMPARE(label(u"binding-"_s + direction), unassigned);
        }
    }
};

QTEST_MAIN(StageScreenTest)
#include "tst_stagescreen.moc"
