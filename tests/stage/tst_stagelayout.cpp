// SPDX-License-Identifier: GPL-3.0-or-later
#include "NearlyEqual.h"
#include "TestSupport.h"

#include "stage/StageLayout.h"
#include "stage/StageZoom.h"

using namespace pgw;
using namespace pgw::StageLayout;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr double letter = 22.0 / 17.0;
constexpr double largest = std::numeric_limits<double>::max();

QHash<int, double> uniformPages(int first, int last, double ratio)
{
    QHash<int, double> ratios;
    for (int ordinal = first; ordinal <= last; ++ordinal)
        ratios.insert(ordinal, ratio);
    return ratios;
}

// Two rows on a 1200 × 800 viewport with separators, the displayed page 2200 pixels high.
BankGeometry twoRowBank(int currentOrdinal)
{
    const double gap = separatorGapFraction(2, 800, separatorPoints(true));
    return bankGeometry(uniformPages(0, 11, letter), currentOrdinal, {3, 2}, 2200, letter, 1.5, gap);
}

} // namespace

Q_DECLARE_METATYPE(std::optional<double>)

class StageLayoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layoutPreferenceReadsOlderNames()
    {
        const auto one = PageLayoutPreference::OneRow;
        const auto two = PageLayoutPreference::TwoRows;
        QCOMPARE(pageLayoutFromPersisted(std::nullopt), one);
        for (const QString &name : {u"2-rows"_s, u"2x2"_s, u"3x2"_s})
            QCOMPARE(pageLayoutFromPersisted(name), two);
        for (const QString &name : {u"1-row"_s, u"auto"_s, u"1x1"_s, u"2x1"_s, u"2-ROWS"_s})
            QCOMPARE(pageLayoutFromPersisted(name), one);
        QCOMPARE(pageLayoutRawValue(one), u"1-row"_s);
        QCOMPARE(pageLayoutRawValue(two), u"2-rows"_s);
        QCOMPARE(pageLayoutLabel(one), u"1 Row"_s);
        QCOMPARE(pageLayoutLabel(two), u"2 Rows"_s);
    }

    void resolvedGrid_data()
    {
        QTest::addColumn<PageLayoutPreference>("layout");
        QTest::addColumn<QSizeF>("viewport");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<double>("separator");
        QTest::addColumn<int>("columns");
        const auto one = PageLayoutPreference::OneRow;
        const auto two = PageLayoutPreference::TwoRows;
        // Pages 398 high and 307.5 wide: three fit across 1200.
        QTest::newRow("two rows") << two << QSizeF(1200, 800) << letter << 4.0 << 3;
        QTest::newRow("unknown aspect") << two << QSizeF(1200, 800) << notANumber << 4.0 << 3;
        QTest::newRow("one row") << one << QSizeF(1200, 800) << letter << 4.0 << 1;
        QTest::newRow("fourth page fits without separators")
            << two << QSizeF(1240, 800) << letter << 0.0 << 4;
        QTest::newRow("separators take the fourth") << two << QSizeF(1240, 800) << letter << 4.0 << 3;
        QTest::newRow("separator capped") << two << QSizeF(40, 16) << letter << 10.0 << 5;
        QTest::newRow("very wide") << one << QSizeF(100000, 800) << letter << 4.0 << 12;
        QTest::newRow("zero keeps two rows") << two << QSizeF(0, 0) << letter << 4.0 << 1;
        QTest::newRow("not a number") << two << QSizeF(1200, notANumber) << letter << 4.0 << 1;
        QTest::newRow("largest") << two << QSizeF(largest, largest) << letter << largest << 12;
    }

    void resolvedGrid()
    {
        QFETCH(PageLayoutPreference, layout);
        QFETCH(QSizeF, viewport);
        QFETCH(double, aspect);
        QFETCH(double, separator);
        QFETCH(int, columns);
        const Grid expected {columns, layout == PageLayoutPreference::TwoRows ? 2 : 1};
        QCOMPARE(StageLayout::resolvedGrid(layout, viewport, aspect, separator), expected);
    }

    void pageWindow_data()
    {
        QTest::addColumn<Grid>("grid");
        QTest::addColumn<PageWindow>("window");
        QTest::newRow("3 x 2") << Grid {3, 2} << PageWindow {5, 9};
        QTest::newRow("single page") << Grid {1, 1} << PageWindow {0, 1};
        QTest::newRow("no columns") << Grid {0, 1} << PageWindow {0, 1};
        QTest::newRow("columns capped") << Grid {20, 1} << PageWindow {11, 12};
        QTest::newRow("rows capped") << Grid {2, 5} << PageWindow {3, 6};
    }

    void pageWindow()
    {
        QFETCH(Grid, grid);
        QFETCH(PageWindow, window);
        QCOMPARE(StageLayout::pageWindow(grid), window);
    }

    void earliestPageAspectRatio_data()
    {
        QTest::addColumn<QList<PageAspectMetadata>>("pages");
        QTest::addColumn<std::optional<double>>("ratio");
        QTest::newRow("lowest ordinal")
            << QList<PageAspectMetadata> {{3, 100, 200}, {1, 100, 150}, {2, 100, 120}} << std::optional(1.5);
        QTest::newRow("first of equal ordinals")
            << QList<PageAspectMetadata> {{1, 100, 150}, {1, 100, 300}} << std::optional(1.5);
        QTest::newRow("unknown sizes skipped")
            << QList<PageAspectMetadata> {{0, 0, 200}, {1, 100, -5}, {2, notANumber, 100}, {3, 200, 100}}
            << std::optional(0.5);
        QTest::newRow("ratio overflows")
            << QList<PageAspectMetadata> {{0, 1e-300, largest}, {4, 10, 20}} << std::optional(2.0);
        QTest::newRow("all unknown") << QList<PageAspectMetadata> {{0, 0, 0}} << std::optional<double>();
    }

    void earliestPageAspectRatio()
    {
        QFETCH(QList<PageAspectMetadata>, pages);
        QFETCH(std::optional<double>, ratio);
        QCOMPARE(StageLayout::earliestPageAspectRatio(pages), ratio);
    }

    void chartReferenceHoldsFirstUsableRatio()
    {
        ChartAspectReference reference;
        const auto chart = std::optional(u"chart-a"_s);
        QCOMPARE(reference.resolve(chart, std::nullopt), letter);
        QCOMPARE(reference.resolve(chart, notANumber), letter);
        QVERIFY(!reference.hasReliableAspect);

        QCOMPARE(reference.resolve(chart, 1.5), 1.5);
        QCOMPARE(reference.resolve(chart, 0.7), 1.5);
        QCOMPARE(reference, (ChartAspectReference {chart, 1.5, true}));

        QCOMPARE(reference.resolve(u"chart-b"_s, std::nullopt), letter);
        QCOMPARE(reference, (ChartAspectReference {u"chart-b"_s, letter, false}));
        QCOMPARE(reference.resolve(u"chart-b"_s, 0.7), 0.7);

        // Without an identity nothing is remembered.
        reference = {};
        QCOMPARE(reference.resolve(u""_s, 1.5), 1.5);
        QCOMPARE(reference.resolve(std::nullopt, 0.0), letter);
        QCOMPARE(reference, ChartAspectReference());
        reference.resolve(u"chart-a"_s, 1.5);
        QCOMPARE(reference.resolve(std::nullopt, 0.9), 0.9);
        QCOMPARE(reference, ChartAspectReference());
    }

    void separatorGapFraction_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("separator");
        QTest::addColumn<double>("fraction");
        QTest::newRow("two rows") << 2 << 800.0 << 4.0 << 8.0 / 796;
        QTest::newRow("one row") << 1 << 800.0 << 4.0 << 4.0 / 800;
        QTest::newRow("separators off") << 2 << 800.0 << 0.0 << 0.0;
        QTest::newRow("capped at a quarter") << 2 << 8.0 << 4.0 << 4.0 / 6;
        QTest::newRow("no height") << 2 << 0.0 << 4.0 << 0.0;
        QTest::newRow("separator not a number") << 2 << 800.0 << notANumber << 0.0;
    }

    void separatorGapFraction()
    {
        QFETCH(int, rows);
        QFETCH(double, height);
        QFETCH(double, separator);
        QFETCH(double, fraction);
        PGW_COMPARE_NEAR(StageLayout::separatorGapFraction(rows, height, separator), fraction, 1e-12);
    }

    void referenceHeight()
    {
        QCOMPARE(StageLayout::referenceHeight(2200), 2200.0);
        QCOMPARE(StageLayout::referenceHeight(0.25), 1.0);
        QCOMPARE(StageLayout::referenceHeight(std::nullopt), 1000.0);
        QCOMPARE(StageLayout::referenceHeight(notANumber), 1000.0);
    }

    void twoRowBankOfTallPages()
    {
        const BankGeometry bank = twoRowBank(0);
        QCOMPARE(bank.bankAnchor, 0);
        PGW_COMPARE_RECT(bank.cameraFrame, QRectF(0, 0, 6633.17, 4422.11), 0.01);
        // Slots are 1700 wide (the reference width), narrower than the 2196.31 a column could take.
        const QList<double> columns {0, 1722.11, 3444.22};
        for (int i = 0; i < 6; ++i)
            PGW_COMPARE_RECT(
                bank.pageFrames.value(i), QRectF(columns[i % 3], i < 3 ? 0 : 2222.11, 1700, 2200), 0.01);
        PGW_COMPARE_RECT(bank.pageFrames.value(6), QRectF(5166.33, 0, 1700, 2200), 0.01);
        PGW_COMPARE_RECT(bank.pageFrames.value(9), QRectF(5166.33, 2222.11, 1700, 2200), 0.01);
        QCOMPARE(bank.pageFrames.keys(), (QList<int> {0, 1, 2, 3, 4, 5, 6, 9}));
        PGW_COMPARE_NEAR(bank.cameraFrame.right() - bank.pageFrames.value(6).left(), 1466.84, 0.01);

        const auto fit = fitScale(bank.cameraFrame.size(), {1200, 800}, false);
        QVERIFY(fit);
        PGW_COMPARE_NEAR(*fit, 0.180909, 1e-6);
    }

    void bankAnchor_data()
    {
        QTest::addColumn<int>("ordinal");
        QTest::addColumn<int>("anchor");
        QTest::newRow("second bank") << 7 << 6;
        QTest::newRow("last of first bank") << 5 << 0;
        QTest::newRow("negative") << -3 << 0;
    }

    void bankAnchor()
    {
        QFETCH(int, ordinal);
        QFETCH(int, anchor);
        const BankGeometry bank = twoRowBank(ordinal);
        QCOMPARE(bank.bankAnchor, anchor);
        QCOMPARE(bank.pageFrames.firstKey(), anchor);
        QCOMPARE(bank.pageFrames.value(anchor).topLeft(), QPointF(0, 0));
    }

    void bankWithoutCameraShowsSliverOfPreview()
    {
        // One row of two 1.5-ratio pages: slots 666.67 wide, a 10-unit gap.
        const BankGeometry bank
            = bankGeometry(uniformPages(0, 2, 1.5), 1, {2, 1}, 1000, 1.5, std::nullopt, 0.01);
        PGW_COMPARE_RECT(bank.cameraFrame, QRectF(0, 0, 2 * 666.667 + 10 + 10 + 0.08 * 666.667, 1000), 0.01);
        PGW_COMPARE_RECT(bank.pageFrames.value(2), QRectF(676.667 * 2, 0, 666.667, 1000), 0.01);
    }

    void pagesOfOtherShapesFitTheirSlot()
    {
        QHash<int, double> ratios {{0, 0.5}, {1, notANumber}, {2, 2.0}};
        const BankGeometry bank = bankGeometry(ratios, 0, {4, 1}, 1000, 1.25, std::nullopt, 0);
        // A landscape page shrinks to the 800-unit slot and stands shorter; an unknown one takes the
        // reference ratio; a narrow one keeps the full height.
        PGW_COMPARE_RECT(bank.pageFrames.value(0), QRectF(0, 0, 800, 400), 1e-9);
        PGW_COMPARE_RECT(bank.pageFrames.value(1), QRectF(800, 0, 800, 1000), 1e-9);
        PGW_COMPARE_RECT(bank.pageFrames.value(2), QRectF(1600, 0, 500, 1000), 1e-9);
        QCOMPARE(bank.pageFrames.size(), 3);
    }

    void bankGapFractionIsClamped_data()
    {
        QTest::addColumn<double>("fraction");
        QTest::addColumn<double>("rowOffset");
        QTest::newRow("inside") << 0.1 << 1100.0;
        QTest::newRow("above a quarter") << 0.9 << 1250.0;
        QTest::newRow("negative") << -1.0 << 1000.0;
        QTest::newRow("not a number") << notANumber << 1000.0;
    }

    void bankGapFractionIsClamped()
    {
        QFETCH(double, fraction);
        QFETCH(double, rowOffset);
        const BankGeometry bank
            = bankGeometry(uniformPages(0, 1, 1.0), 0, {1, 2}, 1000, 1.0, std::nullopt, fraction);
        PGW_COMPARE_NEAR(bank.pageFrames.value(1).y(), rowOffset, 1e-9);
        PGW_COMPARE_NEAR(bank.cameraFrame.height(), 1000 + rowOffset, 1e-9);
    }

    void bankWithUnusableReferences()
    {
        const BankGeometry bank
            = bankGeometry(uniformPages(0, 0, notANumber), 0, {0, 0}, notANumber, -2, notANumber, 0);
        PGW_COMPARE_RECT(bank.pageFrames.value(0), QRectF(0, 0, 1, 1), 1e-12);
        PGW_COMPARE_RECT(bank.cameraFrame, QRectF(0, 0, 1.08, 1), 1e-12);
    }

    void bankAtTheLastOrdinals()
    {
        const int last = std::numeric_limits<int>::max();
        const BankGeometry bank
            = bankGeometry({{last - 1, 1.0}, {last, 1.0}}, last, {3, 2}, 100, 1.0, 1.5, 0);
        QCOMPARE(bank.bankAnchor, last - 1);
        QCOMPARE(bank.pageFrames.keys(), (QList<int> {last - 1, last}));
    }

    void placementCentresSmallCamera()
    {
        BankGeometry bank;
        bank.cameraFrame = QRectF(0, 0, 60, 50);
        bank.pageFrames = {{0, QRectF(0, 0, 40, 50)}, {1, QRectF(45, 0, 40, 50)}};

        const BankPlacement atFit = placeBank(bank, {120, 100}, 1.0);
        QCOMPARE(atFit.cameraFrame, QRectF(30, 25, 60, 50));
        QCOMPARE(atFit.pageFrames.value(1), QRectF(75, 25, 40, 50));
        QCOMPARE(atFit.documentSize, QSizeF(120, 100));

        // Zoomed in, the camera fills more than the view: nothing moves and the pages set the size.
        const BankPlacement zoomed = placeBank(bank, {120, 100}, 4.0);
        QCOMPARE(zoomed.pageFrames, bank.pageFrames);
        QCOMPARE(zoomed.documentSize, QSizeF(85, 50));
    }

    void placementWithoutPages()
    {
        BankGeometry bank;
        bank.cameraFrame = QRectF(0, 0, 10, 10);
        QCOMPARE(placeBank(bank, {0.5, 0.5}, 1.0).documentSize, QSizeF(1, 1));
        QCOMPARE(placeBank(bank, {300, 200}, 2.0).documentSize, QSizeF(150, 100));
        QCOMPARE(visibleSize({1, 2}, 0), QSizeF(1000, 2000));
        QCOMPARE(visibleSize({1, 2}, notANumber), QSizeF(1000, 2000));
    }

    void cameraClamp_data()
    {
        QTest::addColumn<QRectF>("visible");
        QTest::addColumn<std::optional<QPointF>>("origin");
        const auto stays = std::optional<QPointF>();
        QTest::newRow("inside") << QRectF(40, 35, 50, 25) << stays;
        QTest::newRow("left of camera") << QRectF(20, 35, 50, 25) << std::optional(QPointF(30, 35));
        QTest::newRow("past the bottom right") << QRectF(90, 70, 50, 25) << std::optional(QPointF(80, 50));
        QTest::newRow("wider than camera") << QRectF(0, 30, 200, 25) << std::optional(QPointF(30, 30));
        QTest::newRow("within tolerance") << QRectF(29.995, 35, 50, 25) << stays;
        QTest::newRow("empty visible") << QRectF(0, 0, 0, 25) << stays;
    }

    void cameraClamp()
    {
        QFETCH(QRectF, visible);
        QFETCH(std::optional<QPointF>, origin);
        QCOMPARE(clampedVisibleOrigin(QRectF(30, 25, 100, 50), visible), origin);
        QCOMPARE(clampedVisibleOrigin(QRectF(30, 25, 0, 50), visible), std::optional<QPointF>());
    }
};

QTEST_GUILESS_MAIN(StageLayoutTest)
#include "tst_stagelayout.moc"
