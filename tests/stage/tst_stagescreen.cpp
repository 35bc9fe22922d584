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

namespace {

// The stage screen over a live show, with every service it observes.
struct StageScreen : StageModel
{
    MemoryDefaultsStore defaults;
    SettingsStore settings {defaults};
    MIDIPageTurnController midi {defaults, std::make_unique<FakeMIDIInput>()};
    QTemporaryDir inkDirectory;
    PrivateAnnotationStore ink {inkDirectory.filePath(u"PrivateAnnotations.json"_s)};
    StageReadinessRail readiness {main, model, nullptr};
    StageView screen {main, {model, settings, midi, ink, readiness}};

    explicit StageScreen(int pageCount)
        : StageModel(pageCount)
    {
        screen.resize(800, 600);
        screen.show();
    }

    // Clicks the page area at a fraction of its width, in the middle of its height.
    void clickAt(double fraction)
    {
        auto *document = screen.findChild<DesktopStageDocumentView *>(u"stage-document"_s);
        QWidget *viewport = document->parentWidget();
        const QPoint at(int(viewport->width() * fraction), viewport->height() / 2);
        QTest::mouseClick(document, Qt::LeftButton, {}, document->mapFrom(viewport, at));
    }

    void toggleInk()
    {
        screen.setChromeVisible(true);
        screen.findChild<QToolButton *>(u"private-annotations-toggle"_s)->click();
    }
};

} // namespace

class StageScreenTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tapsTurnAtTheEdgesAndTheMiddleTogglesOrReturns()
    {
        StageScreen stage(4);
        stage.join(1);
        int returns = 0;
        stage.screen.onReturnToLive = [&] { ++returns; };

        // Following the Host, a click at the left edge peeks back.
        stage.clickAt(0.1);
        stage.settle();
        QCOMPARE(stage.model.phase().kind, ShowPhase::Peek);
        QCOMPARE(stage.model.displayedPage(), 0);
        stage.clickAt(0.5);
        QCOMPARE(returns, 1);
        QVERIFY(!stage.screen.chromeVisible());

        stage.model.returnToLive();
        stage.clickAt(0.5);
        QVERIFY(stage.screen.chromeVisible());
        stage.main.advance(StageView::chromeAutoHide + 0.1);
        QVERIFY(!stage.screen.chromeVisible());
    }

    void privateInkWaitsForAChartAndKeepsTheChromeOpen()
    {
        StageScreen stage(2);
        stage.toggleInk();
        QVERIFY(!stage.screen.annotationMode());
        QVERIFY(!stage.model.toast().isEmpty());
        stage.main.advance(StageView::toastLifetime + 0.1);
        QVERIFY(stage.model.toast().isEmpty());

        stage.join(0);
        QTRY_VERIFY(stage.screen.visiblePrivatePageKey().has_value());
        stage.toggleInk();
        QVERIFY(stage.screen.annotationMode());
        QVERIFY(stage.screen.findChild<QWidget *>(u"private-annotations-palette"_s)->isVisible());
        stage.main.advance(StageView::chromeAutoHide * 2);
        QVERIFY(stage.screen.chromeVisible());
    }

    void partChooserFindsChartsByInstrumentNameAndReportsTheChoice()
    {
        const PlayerPartChooser chooser {u"song"_s, u"one"_s, u"Harbour Reel"_s,
            {{u"vln"_s, u"Fiddle part"_s, {u"violin"_s}, u"r1"_s}, {u"extra"_s, u"Cue sheet"_s, {}, u"r2"_s}},
            {u"vln"_s}, u"extra"_s};
        PartChooserView sheet(chooser, {{u"violin"_s, u"Violin"_s}});
        sheet.show();
        // The choice lies outside the player's instruments, so all charts are offered.
        auto *list = sheet.findChild<QListView *>(u"part-options"_s);
        QCOMPARE(list->model()->rowCount(), 3);
        sheet.findChild<QLineEdit *>()->setText(u"viol"_s);
        QCOMPARE(list->model()->rowCount(), 2);
        QString chosen;
        sheet.onSelect = [&](const QString &id) { chosen = id; };
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
        QCOMPARE(chosen, u"vln"_s);
        QVERIFY(!sheet.isVisible());
    }

    void learningNextWithThePreviousPedalMovesIt()
    {
        MemoryDefaultsStore defaults;
        auto *input = new FakeMIDIInput;
        MIDIPageTurnController midi(defaults, std::unique_ptr<PlayerMIDIInput>(input));
        MIDIPedalSetupView sheet(midi);
        sheet.show();
        QVERIFY(sheet.findChild<QLabel *>(u"no-midi-sources"_s)->isVisible());
        const auto text
            = [&](const char *name) { return sheet.findChild<QLabel *>(QLatin1StringView(name))->text(); };
        const auto button
            = [&](const char *name) { return sheet.findChild<QPushButton *>(QLatin1StringView(name)); };
        const QString unassigned = text("binding-next");
        const QString learn = button("learn-previous")->text();
        const PlayerMIDIEvent down {
            u"alsa:FS|FS MIDI 1"_s, u"FS MIDI 1"_s, PlayerMIDIMessageKind::controlChange, 0, 64, 127, true};
        const PlayerMIDIEvent up {down.sourceID, down.sourceName, down.kind, 0, 64, 0, false};

        button("learn-previous")->click();
        QVERIFY(button("learn-previous")->text() != learn);
        input->send({down, up});
        QCOMPARE(button("learn-previous")->text(), learn);
        QVERIFY(text("binding-previous") != unassigned);
        button("learn-next")->click();
        input->send({down, up});
        QCOMPARE(text("binding-previous"), unassigned);
        QVERIFY(text("binding-next") != unassigned);
        QVERIFY(!button("clear-previous")->isVisibleTo(&sheet));
        button("clear-next")->click();
        QCOMPARE(text("binding-next"), unassigned);
    }
};

QTEST_MAIN(StageScreenTest)
#include "tst_stagescreen.moc"
