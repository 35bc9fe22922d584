// SPDX-License-Identifier: GPL-3.0-or-later
#include "StageFixture.h"

#include "annotations/PrivateAnnotationStore.h"
#include "annotations/ui/PrivateAnnotationCanvasView.h"
#include "stage/ui/DesktopPageSurface.h"
#include "stage/ui/DesktopStageDocumentView.h"
#include "stage/ui/DesktopStageScrollView.h"
#include "stage/ui/PageImageLoader.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

// Marks: a red square in the page's top-left quarter, transparent elsewhere.
QByteArray redCornerMarks(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(QRect(QPoint(0, 0), size / 4), Qt::red);
    return png(image);
}

bool isOrange(QColor color)
{
    return color.red() > 230 && color.green() > 140 && color.green() < 200 && color.blue() < 60;
}

QPoint centreOf(const QWidget *widget, QPointF at)
{
    return QPoint(int(widget->width() * at.x()), int(widget->height() * at.y()));
}

} // namespace

Q_DECLARE_METATYPE(pgw::StagePageTurnTransition)

class StageViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        // Each test decodes for itself.
        QTRY_VERIFY(PageImageLoader::shared().isIdle());
        PageImageLoader::shared().clear();
    }

    void pagesLandWhereTheLayoutPutsThemAndInversionSparesTheMarks()
    {
        StageShow show(3);
        show.marks.insert(0, redCornerMarks({170, 220}));
        show.join(0);
        QVERIFY(show.applyAndWait());

        const QSizeF viewport(600, 400);
        const StageLayout::Grid grid = StageLayout::resolvedGrid(
            PageLayoutPreference::OneRow, viewport, 220.0 / 170, StageLayout::separatorPoints(true));
        const double gap = StageLayout::separatorGapFraction(grid.rows, viewport.height(), 4);
        const QHash<int, double> ratios {{0, 220.0 / 170}, {1, 220.0 / 170}, {2, 220.0 / 170}};
        const auto geometry = StageLayout::bankGeometry(
            ratios, 0, grid, 220, 220.0 / 170, viewport.width() / viewport.height(), gap);
        const double m = show.view.scrollView()->magnification();
        const auto placement = StageLayout::placeBank(geometry, viewport, m);
        const QRectF expected(
            placement.pageFrames.value(0).topLeft() * m, placement.pageFrames.value(0).size() * m);

        DesktopPageSurface *surface = show.view.currentSurface();
        QVERIFY(surface);
        QCOMPARE(surface->geometry(), expected.toRect());
        QImage screen = show.view.grab().toImage();
        QCOMPARE(screen.pixelColor(expected.center().toPoint()), QColor(0x40, 0x40, 0x40));
        QCOMPARE(screen.pixelColor(QPointF(expected.right() + 2, expected.center().y()).toPoint()),
            QColor(Qt::black));
        QCOMPARE(
            screen.pixelColor(QPointF(expected.left() + 5, expected.top() + 5).toPoint()), QColor(Qt::red));

        show.options.invert = true;
        QVERIFY(show.applyAndWait());
        screen = show.view.grab().toImage();
        QCOMPARE(screen.pixelColor(expected.center().toPoint()), QColor(0xbf, 0xbf, 0xbf));
        QCOMPARE(
            screen.pixelColor(QPointF(expected.left() + 5, expected.top() + 5).toPoint()), QColor(Qt::red));
    }

    void hostPageIsFramedByThreePixelsAtAnyMagnification()
    {
        // Pages as high as the viewport stand at magnification 1 when they fit.
        StageShow show(2, {310, 400});
        show.join(0);
        QVERIFY(show.applyAndWait());
        DesktopStageScrollView *scroll = show.view.scrollView();
        QCOMPARE(scroll->magnification(), 1.0);
        for (const double magnification : {1.0, 2.0}) {
            scroll->setMagnification(magnification);
            DesktopPageSurface *surface = show.view.currentSurface();
            QVERIFY(surface->hostActive());
            const QImage pixels = surface->grab().toImage();
            const int middle = pixels.height() / 2;
            for (int x = 0; x < 3; ++x)
                QVERIFY2(isOrange(pixels.pixelColor(x, middle)), qPrintable(QString::number(x)));
            QVERIFY(!isOrange(pixels.pixelColor(3, middle)));
        }
        // Once the Host moves on, the frame follows it.
        show.navigate(1);
        QVERIFY(show.applyAndWait());
        QCOMPARE(show.view.currentSurface()->pageKey, show.model.stagePages().first().key);
        QVERIFY(show.view.currentSurface()->hostActive());
        QVERIFY(!show.view.surfaces().first()->hostActive()
            || show.view.surfaces().first() == show.view.currentSurface());
    }

    void hostInkAndPrivateInkLandOnThePage()
    {
        QTemporaryDir directory;
        PrivateAnnotationStore store(directory.filePath(u"PrivateAnnotations.json"_s));
        StageShow show(2);
        // Large enough for the pen's 0.0025 of the page to cover whole pixels.
        show.view.resize(1200, 1600);
        show.join(0);
        show.options.privateAnnotations = &store;
        show.options.annotationMode = true;
        show.model.handle(object(
            R"({"type":"ink","strokeId":"s","phase":"begin","pageIndex":0,"style":{"color":[0,0,1],"width":0.05},"samples":[[0.5,0.25]]})"));
        QVERIFY(show.applyAndWait());

        DesktopPageSurface *surface = show.view.currentSurface();
        PrivateAnnotationCanvasView *canvas = surface->canvas();
        QVERIFY(canvas->annotationMode());
        QTest::mouseClick(canvas, Qt::LeftButton, {}, centreOf(canvas, {0.25, 0.75}));
        QCOMPARE(store.strokes(*canvas->pageKey()).size(), 1);

        const QImage pixels = surface->grab().toImage();
        QCOMPARE(pixels.pixelColor(centreOf(surface, {0.5, 0.25})), QColor(Qt::blue));
        const QColor privateInk = pixels.pixelColor(centreOf(surface, {0.25, 0.75}));
        QVERIFY(privateInk.red() > 200 && privateInk.green() < 80);
        // Elsewhere the page shows through.
        QCOMPARE(pixels.pixelColor(centreOf(surface, {0.75, 0.75})), QColor(0x40, 0x40, 0x40));
    }

    void slidesOnlyBetweenNeighbouringPagesOfAOnePageGrid_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<bool>("twoRows");
        QTest::addColumn<bool>("reducedMotion");
        QTest::addColumn<StagePageTurnTransition>("expected");
        QTest::newRow("forward") << 4 << 5 << false << false << StagePageTurnTransition::Forward;
        QTest::newRow("backward") << 5 << 4 << false << false << StagePageTurnTransition::Backward;
        QTest::newRow("two ahead") << 4 << 6 << false << false << StagePageTurnTransition::None;
        QTest::newRow("two rows") << 4 << 5 << true << false << StagePageTurnTransition::None;
        QTest::newRow("reduced motion") << 4 << 5 << false << true << StagePageTurnTransition::None;
    }

    void slidesOnlyBetweenNeighbouringPagesOfAOnePageGrid()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(bool, twoRows);
        QFETCH(bool, reducedMotion);
        QFETCH(StagePageTurnTransition, expected);
        StageShow show(8);
        show.options.pageLayout = twoRows ? PageLayoutPreference::TwoRows : PageLayoutPreference::OneRow;
        show.view.setReducedMotion(reducedMotion);
        show.join(from);
        QVERIFY(show.applyAndWait());
        show.navigate(to);
        QVERIFY(show.applyAndWait());

        DesktopStageTransitionOverlay *overlay = show.view.transitionOverlay();
        QCOMPARE(overlay ? overlay->transition() : StagePageTurnTransition::None, expected);
        if (!overlay)
            return;
        show.main.advance(DesktopStageTransitionOverlay::duration / 2);
        QVERIFY(overlay->progress() > 0.4 && overlay->progress() < 0.6);
        show.main.advance(DesktopStageTransitionOverlay::duration);
        QVERIFY(!show.view.transitionOverlay());
    }

    void ofTwoQuickAppliesOnlyTheSecondInstalls()
    {
        StageShow show(6);
        show.join(0);
        QVERIFY(show.applyAndWait());
        QTRY_VERIFY(PageImageLoader::shared().isIdle());
        PageImageLoader::shared().clear();

        QSignalSpy installed(&show.view, &DesktopStageView::pagesInstalled);
        show.model.handle(nav(100, 3));
        show.main.advance(0.1);
        show.view.apply(&show.model, show.options);
        show.model.handle(nav(101, 4));
        show.main.advance(0.1);
        show.view.apply(&show.model, show.options);
        const QString second = show.model.stagePages().first().key;
        QVERIFY(installed.wait(5000));
        QTRY_VERIFY(PageImageLoader::shared().isIdle());
        QCOMPARE(installed.size(), 1);
        QCOMPARE(show.view.displayedPageKey(), second);
    }

    void keysAndSwipesTurnOnceAndOnlyWhenThePageFits()
    {
        StageShow show(4);
        show.join(0);
        QVERIFY(show.applyAndWait());
        int turns = 0;
        show.view.onPageTurn = [&](int delta) { turns += delta; };
        DesktopStageScrollView *scroll = show.view.scrollView();

        // A held key turns once; a second press within the debounce does not turn.
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
        QTest::keyClick(scroll, Qt::Key_Right);
        QApplication::sendEvent(scroll, &held);
        QCOMPARE(turns, 1);
        show.main.advance(0.1);
        QTest::keyClick(scroll, Qt::Key_Right);
        QCOMPARE(turns, 1);
        show.main.advance(0.1);
        QTest::keyClick(scroll, Qt::Key_Left);
        QCOMPARE(turns, 0);
        show.main.advance(1);

        const auto flickLeft = [&] {
            QWheelEvent flick(QPointF(300, 200), scroll->mapToGlobal(QPointF(300, 200)), QPoint(-120, 0),
                QPoint(-120, 0), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(scroll->viewport(), &flick);
            show.main.advance(1);
        };

        flickLeft();
        QCOMPARE(turns, 1);

        // Never while inking, and a zoomed-in page scrolls instead.
        show.options.annotationMode = true;
        show.view.apply(&show.model, show.options);
        QTest::mousePress(show.view.document(), Qt::LeftButton, {}, QPoint(400, 200));
        QTest::mouseMove(show.view.document(), QPoint(300, 200));
        QTest::mouseRelease(show.view.document(), Qt::LeftButton, {}, QPoint(200, 200));
        show.main.advance(1);
        flickLeft();
        QCOMPARE(turns, 1);

        show.options.annotationMode = false;
        show.view.apply(&show.model, show.options);
        scroll->setMagnification(scroll->maximumMagnification());
        const int before = scroll->horizontalScrollBar()->value();
        flickLeft();
        QCOMPARE(turns, 1);
        QVERIFY(scroll->horizontalScrollBar()->value() > before);
    }

    void clicksReachTheStageThroughTheCanvasOutsideAnnotationMode()
    {
        StageShow show(2);
        show.join(0);
        QVERIFY(show.applyAndWait());
        std::optional<QPointF> tapped;
        show.view.onTap = [&](const QPointF &point, const QSizeF &) { tapped = point; };
        QWidget *window = show.view.window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, QPoint(20, 200));
        QVERIFY(tapped);
        QVERIFY(tapped->x() > 0 && tapped->x() < show.view.scrollView()->visibleRect().width() * 0.3);
    }

    void undecodablePageShowsNothingAndKeepsItsAnnouncedShape()
    {
        StageShow show(2);
        show.bases.insert(0, QByteArray("\x89PNG\r\n\x1a\n broken"));
        show.join(0);
        QVERIFY(show.applyAndWait());
        DesktopPageSurface *surface = show.view.currentSurface();
        QVERIFY(surface->baseImage().isNull());
        QCOMPARE(surface->aspectRatio, 220.0 / 170);
        QCOMPARE(surface->grab().toImage().pixelColor(centreOf(surface, {0.5, 0.5})), QColor(Qt::black));
    }
};

QTEST_MAIN(StageViewTest)
#include "tst_stageview.moc"
