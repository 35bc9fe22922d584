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

Q_DECLARE_METATYPE(std::optional<double>)
Q_DECLARE_METATYPE(std::optional<int>)

class StageControlsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void zoomRequestsCountUp()
    {
        const StageZoomRequest initial;
        QCOMPARE(initial, (StageZoomRequest {0, StageZoomAction::Reset}));
        const StageZoomRequest first = initial.next(StageZoomAction::ZoomIn);
        QCOMPARE(first, (StageZoomRequest {1, StageZoomAction::ZoomIn}));
        // Asking again for the same action is a new request.
        QVERIFY(first.next(StageZoomAction::ZoomIn) != first);
        const qint64 last = std::numeric_limits<qint64>::max();
        const StageZoomRequest newest {last, StageZoomAction::ZoomOut};
        QVERIFY(newest.next(StageZoomAction::ZoomOut).generation != last);
    }

    void fitScale_data()
    {
        QTest::addColumn<QSizeF>("camera");
        QTest::addColumn<QSizeF>("viewport");
        QTest::addColumn<bool>("fitWidth");
        QTest::addColumn<std::optional<double>>("fit");
        QTest::newRow("whole camera") << squareCamera << QSizeF(1200, 800) << false << std::optional(0.8);
        QTest::newRow("fit width") << squareCamera << QSizeF(1200, 800) << true << std::optional(1.2);
        QTest::newRow("empty camera")
            << QSizeF(0, 1000) << QSizeF(1200, 800) << false << std::optional<double>();
        QTest::newRow("not a number")
            << QSizeF(notANumber, 1000) << QSizeF(1200, 800) << false << std::optional<double>();
        QTest::newRow("maximum overflows")
            << QSizeF(1e-300, 1e-300) << QSizeF(1e10, 1e10) << false << std::optional<double>();
    }

    void fitScale()
    {
        QFETCH(QSizeF, camera);
        QFETCH(QSizeF, viewport);
        QFETCH(bool, fitWidth);
        QFETCH(std::optional<double>, fit);
        const auto scale = StageLayout::fitScale(camera, viewport, fitWidth);
        QCOMPARE(scale.has_value(), fit.has_value());
        if (fit)
            PGW_COMPARE_NEAR(*scale, *fit, 1e-6);
    }

    void refit_data()
    {
        QTest::addColumn<Zoom>("current");
        QTest::addColumn<double>("side");
        QTest::addColumn<bool>("refit");
        QTest::addColumn<double>("magnification");
        QTest::newRow("first layout") << Zoom() << 180.0 << false << 0.18;
        QTest::newRow("zoomed in keeps its level") << Zoom {0.18, 0.72, 0.4} << 200.0 << false << 0.4;
        QTest::newRow("refit asked") << Zoom {0.18, 0.72, 0.4} << 200.0 << true << 0.2;
        QTest::newRow("below the new fit") << Zoom {0.18, 0.72, 0.19} << 200.0 << false << 0.2;
        QTest::newRow("at fit follows the fit") << Zoom {0.18, 0.72, 0.1815} << 170.0 << false << 0.17;
        QTest::newRow("just beyond fit stays") << Zoom {0.18, 0.72, 0.1825} << 170.0 << false << 0.1825;
        QTest::newRow("above the new maximum") << Zoom {0.18, 0.72, 0.7} << 100.0 << false << 0.4;
        QTest::newRow("not a number") << Zoom {0.18, 0.72, notANumber} << 200.0 << false << 0.2;
    }

    void refit()
    {
        QFETCH(Zoom, current);
        QFETCH(double, side);
        QFETCH(bool, refit);
        QFETCH(double, magnification);
        const auto zoom = refittedZoom(current, squareCamera, {side, side}, false, refit);
        QVERIFY(zoom);
        PGW_COMPARE_NEAR(zoom->minimum, side / 1000, 1e-12);
        PGW_COMPARE_NEAR(zoom->maximum, 4 * side / 1000, 1e-12);
        PGW_COMPARE_NEAR(zoom->magnification, magnification, 1e-12);
    }

    void refitWithoutFitChangesNothing()
    {
        QVERIFY(!refittedZoom(Zoom(), {}, {1200, 800}, false, true));
        QVERIFY(!refittedZoom(Zoom(), squareCamera, {0, 0}, false, true));
    }

    void zoomingInStopsAtFourTimesFit()
    {
        Zoom zoom {0.18, 0.72, 0.18};
        QList<double> steps;
        while (const auto target = zoomTarget(zoom, StageZoomAction::ZoomIn)) {
            steps.append(*target);
            zoom.magnification = *target;
            QVERIFY(steps.size() < 10);
        }
        const QList<double> expected {
            0.225, 0.28125, 0.3515625, 0.439453125, 0.54931640625, 0.6866455078125, 0.72};
        QCOMPARE(steps.size(), expected.size());
        for (qsizetype i = 0; i < steps.size(); ++i)
            PGW_COMPARE_NEAR(steps[i], expected[i], 1e-12);

        QCOMPARE(zoomTarget(zoom, StageZoomAction::ZoomOut), std::optional(0.576));
        QCOMPARE(zoomTarget(zoom, StageZoomAction::Reset), std::optional(0.18));
    }

    void zoomTargets_data()
    {
        QTest::addColumn<Zoom>("zoom");
        QTest::addColumn<StageZoomAction>("action");
        QTest::addColumn<std::optional<double>>("target");
        const auto in = StageZoomAction::ZoomIn;
        const auto out = StageZoomAction::ZoomOut;
        QTest::newRow("out at fit") << Zoom {0.18, 0.72, 0.18} << out << std::optional<double>();
        QTest::newRow("out stops at fit") << Zoom {0.18, 0.72, 0.2} << out << std::optional(0.18);
        QTest::newRow("reset at fit")
            << Zoom {0.18, 0.72, 0.18} << StageZoomAction::Reset << std::optional<double>();
        QTest::newRow("no magnification") << Zoom {0.5, 2, notANumber} << in << std::optional(0.625);
        QTest::newRow("no magnification or minimum") << Zoom {0, 2, -1} << in << std::optional(1.25);
        QTest::newRow("maximum below minimum") << Zoom {0.5, 0.1, 0.5} << in << std::optional<double>();
        QTest::newRow("maximum not a number") << Zoom {0.5, notANumber, 0.4} << out << std::optional(0.5);
        QTest::newRow("overflowing step")
            << Zoom {0.5, 2, std::numeric_limits<double>::max()} << in << std::optional(2.0);
        QTest::newRow("within tolerance") << Zoom {0.5, 0.50005, 0.5} << in << std::optional<double>();
    }

    void zoomTargets()
    {
        QFETCH(Zoom, zoom);
        QFETCH(StageZoomAction, action);
        QFETCH(std::optional<double>, target);
        QCOMPARE(zoomTarget(zoom, action), target);
    }

    void edgeTurn_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<std::optional<int>>("turn");
        const auto none = std::optional<int>();
        QTest::newRow("inside left zone") << 299.0 << 1000.0 << 0.3 << std::optional(-1);
        QTest::newRow("exactly 30 %") << 300.0 << 1000.0 << 0.3 << none;
        QTest::newRow("exactly 70 %") << 700.0 << 1000.0 << 0.3 << none;
        QTest::newRow("inside right zone") << 701.0 << 1000.0 << 0.3 << std::optional(1);
        QTest::newRow("30 % of 1200") << 360.0 << 1200.0 << 0.3 << none;
        QTest::newRow("fraction capped below") << 499.0 << 1000.0 << 0.8 << std::optional(-1);
        QTest::newRow("fraction capped middle") << 500.0 << 1000.0 << 0.8 << none;
        QTest::newRow("fraction capped above") << 501.0 << 1000.0 << 0.8 << std::optional(1);
        QTest::newRow("x not a number") << notANumber << 1000.0 << 0.3 << none;
        QTest::newRow("no width") << 10.0 << 0.0 << 0.3 << none;
        QTest::newRow("no fraction") << 10.0 << 1000.0 << 0.0 << none;
    }

    void edgeTurn()
    {
        QFETCH(double, x);
        QFETCH(double, width);
        QFETCH(double, fraction);
        QFETCH(std::optional<int>, turn);
        QCOMPARE(StageLayout::edgeTurn(x, width, fraction), turn);
    }

    void keyTurns()
    {
        for (int key : {Qt::Key_PageUp, Qt::Key_Left, Qt::Key_Up})
            QCOMPARE(pageTurnForKey(key, false, false), std::optional(-1));
        for (int key :
            {Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter}) {
            QCOMPARE(pageTurnForKey(key, false, false), std::optional(1));
            QCOMPARE(pageTurnForKey(key, false, true), std::nullopt); // held down
            QCOMPARE(pageTurnForKey(key, true, false), std::nullopt); // typing
        }
        QCOMPARE(pageTurnForKey(Qt::Key_A, false, false), std::nullopt);
    }

    void turnPermission_data()
    {
        QTest::addColumn<QSizeF>("camera");
        QTest::addColumn<QSizeF>("visible");
        QTest::addColumn<bool>("annotating");
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::newRow("at fit") << QSizeF(6633, 4422) << QSizeF(6633, 4422) << false << true << true;
        QTest::newRow("zoomed in") << QSizeF(6633, 4422) << QSizeF(3000, 2000) << false << false << false;
        QTest::newRow("fit width, taller bank")
            << QSizeF(100, 300) << QSizeF(100, 80) << false << true << false;
        QTest::newRow("within slack") << QSizeF(100, 50) << QSizeF(99.5, 49.1) << false << true << true;
        QTest::newRow("beyond slack") << QSizeF(100, 50) << QSizeF(98.9, 50) << false << false << true;
        QTest::newRow("camera without size") << QSizeF(0, 0) << QSizeF(10, 10) << false << true << true;
        QTest::newRow("annotating") << QSizeF(100, 50) << QSizeF(200, 100) << true << false << false;
    }

    void turnPermission()
    {
        QFETCH(QSizeF, camera);
        QFETCH(QSizeF, visible);
        QFETCH(bool, annotating);
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        QCOMPARE(canTurnOnAxis(Qt::Horizontal, camera, visible, annotating), horizontal);
        QCOMPARE(canTurnOnAxis(Qt::Vertical, camera, visible, annotating), vertical);
    }
};

QTEST_GUILESS_MAIN(StageControlsTest)
#include "tst_stagecontrols.moc"
