// SPDX-License-Identifier: GPL-3.0-or-later
#include "StageFixture.h"

#include "annotations/PrivateAnnotationStore.h"
#include "annotations/ui/PrivateAnnotationCanvasView.h"
#include "stage/ui/DesktopPageSurface.h"
#include "stage/ui/DesktopStageDocumentView.h"
#include "stage/ui/DesktopStageScrollView.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

const QColor firstPage(0x40, 0x40, 0x40);

// A point of `widget` at fractions of its width and height.
QPoint at(const QWidget *widget, double x, double y)
{
    return QPoint(int(widget->width() * x), int(widget->height() * y));
}

} // namespace

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

    void thePageShowsItsMarksAndBothKindsOfInkAndInvertsAllButTheMarks()
    {
        QTemporaryDir directory;
        PrivateAnnotationStore store(directory.filePath(u"PrivateAnnotations.json"_s));
        StageShow show(2);
        // Large enough for the pen's 0.0025 of the page to cover whole pixels.
        show.view.resize(1600, 1600);
        // Marks: a red square in the page's top-left corner, transparent elsewhere.
        QImage marks(170, 220, QImage::Format_ARGB32);
        marks.fill(Qt::transparent);
        QPainter(&marks).fillRect(0, 0, 40, 50, Qt::red);
        show.marks.insert(0, png(marks));
        show.join(0);
        show.options.privateAnnotations = &store;
        show.options.annotationMode = true;
        show.model.handle(object(
            R"({"type":"ink","strokeId":"s","phase":"begin","pageIndex":0,"style":{"color":[0,0,1],"width":0.05},"samples":[[0.5,0.25]]})"));
        QVERIFY(show.applyAndWait());
        DesktopPageSurface *surface = show.view.currentSurface();
        auto *canvas = surface->findChild<PrivateAnnotationCanvasView *>();
        QTest::mouseClick(canvas, Qt::LeftButton, {}, at(canvas, 0.25, 0.75));
        // The page fills the height of the view, with black beside it.
        const QRect page = surface->geometry();
        QCOMPARE(page.height(), show.view.height());
        QImage screen = show.view.grab().toImage();
        const auto on
            = [&](double x, double y) { return screen.pixelColor(page.topLeft() + at(surface, x, y)); };
        QCOMPARE(screen.pixelColor(page.right() + 2, page.center().y()), QColor(Qt::black));
        QCOMPARE(on(0.75, 0.75), firstPage);
        QCOMPARE(on(0.03, 0.03), QColor(Qt::red));
        QCOMPARE(on(0.5, 0.25), QColor(Qt::blue));
        QVERIFY(on(0.25, 0.75).red() > 200 && on(0.25, 0.75).green() < 80);

        show.options.invert = true;
        QVERIFY(show.applyAndWait());
        screen = show.view.grab().toImage();
        QCOMPARE(on(0.75, 0.75), QColor(0xbf, 0xbf, 0xbf));
        QCOMPARE(on(0.03, 0.03), QColor(Qt::red));
    }

    void aThinOrangeFrameMarksTheHostsPageAndOfTwoQuickTurnsOnlyTheSecondInstalls()
    {
        const auto isOrange
            = [](QColor c) { return c.red() > 230 && c.green() > 140 && c.green() < 200 && c.blue() < 60; };
        // Pages as high as the viewport stand at magnification 1 when they fit.
        StageShow show(6, {310, 400});
        show.join(0);
        QVERIFY(show.applyAndWait());
        for (const double magnification : {2.0, 1.0}) {
            show.view.scrollView()->setMagnification(magnification);
            const QImage pixels = show.view.currentSurface()->grab().toImage();
            const int middle = pixels.height() / 2;
            QVERIFY(isOrange(pixels.pixelColor(0, middle)) && isOrange(pixels.pixelColor(2, middle)));
            QVERIFY(!isOrange(pixels.pixelColor(3, middle)));
        }
        init();
        QSignalSpy installed(&show.view, &DesktopStageView::pagesInstalled);
        for (const int page : {3, 4}) {
            show.model.handle(nav(100 + page, page));
            show.main.advance(0.1);
            show.view.apply(&show.model, show.options);
        }
        QVERIFY(installed.wait(5000));
        QTRY_VERIFY(PageImageLoader::shared().isIdle());
        QCOMPARE(installed.size(), 1);
        QCOMPARE(show.view.displayedPageKey(), show.model.stagePages().first().key);
        // The frame follows the Host.
        for (DesktopPageSurface *surface : show.view.surfaces())
            QCOMPARE(surface->hostActive(), surface->pageKey == show.view.displayedPageKey());
    }

    void slidesOnlyBetweenNeighbouringPagesOfAOnePageGrid()
    {
        using enum StagePageTurnTransition;
        // From the Host's page 4 to another, in two rows or with reduced motion, with the slide shown.
        const QList<std::tuple<int, bool, bool, StagePageTurnTransition>> cases {{5, false, false, Forward},
            {3, false, false, Backward}, {6, false, false, None}, {5, true, false, None},
            {5, false, true, None}};
        for (const auto &[to, twoRows, reducedMotion, expected] : cases) {
            init();
            StageShow show(8);
            show.options.pageLayout = twoRows ? PageLayoutPreference::TwoRows : PageLayoutPreference::OneRow;
            show.view.setReducedMotion(reducedMotion);
            show.join(4);
            QVERIFY(show.applyAndWait());
            show.model.handle(nav(20, to));
            show.settle();
            QVERIFY(show.applyAndWait());
            DesktopStageTransitionOverlay *overlay = show.view.transitionOverlay();
            QCOMPARE(overlay ? overlay->transition() : None, expected);
            show.main.advance(DesktopStageTransitionOverlay::duration + 0.1);
            QVERIFY(!show.view.transitionOverlay());
        }
    }

    void anUndecodablePageShowsNothingAndTapsKeysAndSwipesReachTheStage()
    {
        StageShow show(4);
        show.bases.insert(0, QByteArray("\x89PNG\r\n\x1a\n broken"));
        show.join(0);
        QVERIFY(show.applyAndWait());
        DesktopPageSurface *surface = show.view.currentSurface();
        QCOMPARE(surface->aspectRatio, 220.0 / 170);
        QCOMPARE(surface->grab().toImage().pixelColor(at(surface, 0.5, 0.5)), QColor(Qt::black));
        std::optional<QPointF> tapped;
        show.view.onTap = [&](const QPointF &point, const QSizeF &) { tapped = point; };
        QVERIFY(QTest::qWaitForWindowExposed(&show.view));
        QTest::mouseClick(show.view.windowHandle(), Qt::LeftButton, {}, QPoint(20, 200));
        QVERIFY(
            tapped && tapped->x() > 0 && tapped->x() < show.view.scrollView()->visibleRect().width() * 0.3);

        int turns = 0;
        show.view.onPageTurn = [&](int delta) { turns += delta; };
        DesktopStageScrollView *scroll = show.view.scrollView();
        // A held key turns once; a second press within the debounce does not turn.
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), true);
        QTest::keyClick(scroll, Qt::Key_Right);
        QApplication::sendEvent(scroll, &held);
        show.main.advance(0.1);
        QTest::keyClick(scroll, Qt::Key_Right);
        QCOMPARE(turns, 1);
        const auto flickLeft = [&] {
            show.main.advance(1);
            QWheelEvent flick(QPointF(300, 200), scroll->mapToGlobal(QPointF(300, 200)), QPoint(-120, 0),
                QPoint(-120, 0), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(scroll->viewport(), &flick);
        };
        flickLeft();
        QCOMPARE(turns, 2);
        // Never while inking, and a zoomed-in page scrolls instead.
        show.options.annotationMode = true;
        show.view.apply(&show.model, show.options);
        flickLeft();
        show.options.annotationMode = false;
        show.view.apply(&show.model, show.options);
        scroll->setMagnification(scroll->maximumMagnification());
        const int before = scroll->horizontalScrollBar()->value();
        flickLeft();
        QCOMPARE(turns, 2);
        QVERIFY(scroll->horizontalScrollBar()->value() > before);
    }
};

QTEST_MAIN(StageViewTest)
#include "tst_stageview.moc"
