// SPDX-License-Identifier: GPL-3.0-or-later
#include "NearlyEqual.h"
#include "TestSupport.h"

#include "stage/StageTurns.h"
#include "stage/StageZoom.h"

using namespace pgw;
using namespace pgw::StageLayout;
using namespace pgw::test;

namespace {

// A square camera of 1000 units, so a square viewport of side s fits at s ÷ 1000.
const QSizeF squareCamera(1000, 1000);

} // namespace

class StageControlsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void zoomFitsRefitsAndSteps()
    {
        PGW_COMPARE_NEAR(*StageLayout::fitScale(squareCamera, {1200, 800}, false), 0.8, 1e-12);
        PGW_COMPARE_NEAR(*StageLayout::fitScale(squareCamera, {1200, 800}, true), 1.2, 1e-12);
        // Empty or unusable sizes, and a maximum that would overflow, have no fit and nothing to refit.
        for (const auto &[camera, viewport] :
            QList<std::pair<QSizeF, QSizeF>> {{{0, 1000}, {1200, 800}}, {{notANumber, 1000}, {1200, 800}},
                {squareCamera, {0, 0}}, {{1e-300, 1e-300}, {1e10, 1e10}}}) {
            QVERIFY(!StageLayout::fitScale(camera, viewport, false));
            QVERIFY(!refittedZoom(Zoom(), camera, viewport, false, true));
        }

        // The zoom before, the side of a square viewport and whether a refit is asked, with the
        // magnification after; the limits are always 1 and 4 times the new fit.
        const QList<std::tuple<Zoom, double, bool, double>> refits {
            {Zoom(), 180, false, 0.18}, // first layout
            {{0.18, 0.72, 0.4}, 200, false, 0.4}, {{0.18, 0.72, 0.4}, 200, true, 0.2},
            {{0.18, 0.72, 0.19}, 200, false, 0.2}, // below the new fit
            {{0.18, 0.72, 0.1815}, 170, false, 0.17}, // at fit, it follows the fit
            {{0.18, 0.72, 0.1825}, 170, false, 0.1825},
            {{0.18, 0.72, 0.7}, 100, false, 0.4}, // above the new maximum
            {{0.18, 0.72, notANumber}, 200, false, 0.2}};
        for (const auto &[current, side, refit, magnification] : refits) {
            const auto zoom = refittedZoom(current, squareCamera, {side, side}, false, refit);
            QVERIFY(zoom);
            PGW_COMPARE_NEAR(zoom->minimum, side / 1000, 1e-12);
            PGW_COMPARE_NEAR(zoom->maximum, 4 * side / 1000, 1e-12);
            PGW_COMPARE_NEAR(zoom->magnification, magnification, 1e-12);
        }

        const auto in = StageZoomAction::ZoomIn;
        const auto out = StageZoomAction::ZoomOut;
        const auto none = std::optional<double>();
        const auto reset = StageZoomAction::Reset;
        // Out and reset stop at fit; a missing magnification, minimum or maximum falls back on the others;
        // an overflowing step lands on the maximum; a step within tolerance is none.
        const QList<std::tuple<Zoom, StageZoomAction, std::optional<double>>> steps {
            {{0.18, 0.72, 0.18}, out, none}, {{0.18, 0.72, 0.2}, out, 0.18}, {{0.18, 0.72, 0.72}, out, 0.576},
            {{0.18, 0.72, 0.18}, reset, none}, {{0.18, 0.72, 0.72}, reset, 0.18},
            {{0.5, 2, notANumber}, in, 0.625}, {{0, 2, -1}, in, 1.25}, {{0.5, 0.1, 0.5}, in, none},
            {{0.5, notANumber, 0.4}, out, 0.5}, {{0.5, 2, std::numeric_limits<double>::max()}, in, 2.0},
            {{0.5, 0.50005, 0.5}, in, none}};
        for (const auto &[zoom, action, target] : steps)
            QCOMPARE(zoomTarget(zoom, action), target);
    }

    void tapsKeysAndSwipesTurn()
    {
        const auto none = std::optional<int>();
        // Tap x, viewport width and edge fraction with the turn they ask for.
        const QList<std::tuple<double, double, double, std::optional<int>>> taps {{299, 1000, 0.3, -1},
            {300, 1000, 0.3, none}, {700, 1000, 0.3, none}, {701, 1000, 0.3, 1}, {360, 1200, 0.3, none},
            // The fraction is capped at a half.
            {499, 1000, 0.8, -1}, {501, 1000, 0.8, 1}, {notANumber, 1000, 0.3, none}, {10, 0, 0.3, none},
            {10, 1000, 0, none}};
        for (const auto &[x, width, fraction, turn] : taps)
            QCOMPARE(StageLayout::edgeTurn(x, width, fraction), turn);

        for (int key : {Qt::Key_PageUp, Qt::Key_Left, Qt::Key_Up})
            QCOMPARE(pageTurnForKey(key, false, false), std::optional(-1));
        for (int key :
            {Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter}) {
            QCOMPARE(pageTurnForKey(key, false, false), std::optional(1));
            QCOMPARE(pageTurnForKey(key, false, true), std::nullopt); // held down
            QCOMPARE(pageTurnForKey(key, true, false), std::nullopt); // typing
        }
        QCOMPARE(pageTurnForKey(Qt::Key_A, false, false), std::nullopt);

        // Camera and visible sizes with whether a swipe may turn along each axis.
        const QList<std::tuple<QSizeF, QSizeF, bool, bool>> swipes {{{6633, 4422}, {6633, 4422}, true, true},
            {{6633, 4422}, {3000, 2000}, false, false}, {{100, 300}, {100, 80}, true, false} /* fit width */,
            {{100, 50}, {99.5, 49.1}, true, true} /* within slack */, {{100, 50}, {98.9, 50}, false, true},
            {{0, 0}, {10, 10}, true, true}};
        for (const auto &[camera, visible, horizontal, vertical] : swipes) {
            QCOMPARE(canTurnOnAxis(Qt::Horizontal, camera, visible, false), horizontal);
            QCOMPARE(canTurnOnAxis(Qt::Vertical, camera, visible, false), vertical);
        }
        // Never while annotating.
        QVERIFY(!canTurnOnAxis(Qt::Horizontal, {100, 50}, {200, 100}, true));
        QVERIFY(!canTurnOnAxis(Qt::Vertical, {100, 50}, {200, 100}, true));
    }
};

QTEST_GUILESS_MAIN(StageControlsTest)
#include "tst_stagecontrols.moc"
