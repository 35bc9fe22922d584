// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeMIDIInput.h"
#include "StageFixture.h"

#include "annotations/PrivateAnnotationStore.h"
#include "app/SettingsStore.h"
#include "app/ui/PartChooserView.h"
#include "midi/MIDIPageTurnController.h"
#include "midi/ui/MIDIPedalSetupView.h"
#include "show/PartOptionListModel.h"
#include "stage/StageReadinessRail.h"
#include "stage/ui/DesktopStageDocumentView.h"
#include "stage/ui/StageView.h"
#include "stage/ui/ZoomStage.h"
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
    FakeMIDIInput *input = new FakeMIDIInput;
    MIDIPageTurnController midi {defaults, std::unique_ptr<PlayerMIDIInput>(input)};
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
        DesktopStageDocumentView *document = screen.zoomStage()->findChild<DesktopStageDocumentView *>();
        QWidget *viewport = document->parentWidget();
        const QPoint at(int(viewport->width() * fraction), viewport->height() / 2);
        QTest::mouseClick(document, Qt::LeftButton, {}, document->mapFrom(viewport, at));
    }

    QToolButton *button(const QString &name) { return screen.findChild<QToolButton *>(name); }
};

PlayerMIDIEvent pedal(bool down)
{
    return {u"alsa:FS|FS MIDI 1"_s, u"FS MIDI 1"_s, PlayerMIDIMessageKind::controlChange, 0, 64,
        std::uint8_t(down ? 127 : 0), down};
}

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
        stage.screen.setChromeVisible(true);
        stage.button(u"private-annotations-toggle"_s)->click();
        QVERIFY(!stage.screen.annotationMode());
        QCOMPARE(stage.model.toast(), u"wait for a chart before adding private ink"_s);
        // The toast goes after its three seconds.
        stage.main.advance(StageView::toastLifetime + 0.1);
        QCOMPARE(stage.model.toast(), QString());

        stage.join(0);
        QTRY_VERIFY(stage.screen.visiblePrivatePageKey().has_value());
        stage.screen.setChromeVisible(true);
        stage.button(u"private-annotations-toggle"_s)->click();
        QVERIFY(stage.screen.annotationMode());
        QCOMPARE(stage.model.toast(), u"private ink stays on this Player and is never shared"_s);
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
        QCOMPARE(sheet.options()->scope(), PartOptionListModel::Scope::All);
        auto *list = sheet.findChild<QListView *>(u"part-options"_s);
        QCOMPARE(list->model()->rowCount(), 3);
        QCOMPARE(list->model()->index(2, 0).data(PartOptionListModel::SubtitleRole).toString(),
            u"Additional chart"_s);

        sheet.findChild<QLineEdit *>()->setText(u"viol"_s);
        QCOMPARE(list->model()->rowCount(), 2);
        QString chosen;
        sheet.onSelect = [&](const QString &id) { chosen = id; };
        const QModelIndex fiddle = list->model()->index(1, 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(fiddle).center());
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
        QVERIFY(input->isRunning());
        QVERIFY(sheet.findChild<QLabel *>(u"no-midi-sources"_s)->isVisible());
        const auto summary
            = [&](const char *name) { return sheet.findChild<QLabel *>(QLatin1StringView(name))->text(); };

        sheet.findChild<QPushButton *>(u"learn-previous"_s)->click();
        QCOMPARE(sheet.findChild<QPushButton *>(u"learn-previous"_s)->text(), u"Listening…"_s);
        input->send({pedal(true), pedal(false)});
        QVERIFY(summary("binding-previous") != u"Not assigned"_s);

        sheet.findChild<QPushButton *>(u"learn-next"_s)->click();
        input->send({pedal(true), pedal(false)});
        QCOMPARE(summary("binding-previous"), u"Not assigned"_s);
        QVERIFY(summary("binding-next") != u"Not assigned"_s);
        QVERIFY(!sheet.findChild<QPushButton *>(u"clear-previous"_s)->isVisibleTo(&sheet));
        sheet.findChild<QPushButton *>(u"clear-next"_s)->click();
        QCOMPARE(summary("binding-next"), u"Not assigned"_s);
    }
};

QTEST_MAIN(StageScreenTest)
#include "tst_stagescreen.moc"
