// SPDX-License-Identifier: GPL-3.0-or-later
#include "NearlyEqual.h"
#include "TestSupport.h"

#include "stage/StageLayout.h"

using namespace pgw;
using namespace pgw::StageLayout;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr double letter = 22.0 / 17.0;
constexpr double largest = std::numeric_limits<double>::max();
constexpr auto oneRow = PageLayoutPreference::OneRow;
constexpr auto twoRows = PageLayoutPreference::TwoRows;

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

class StageLayoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void gridsAndPageWindows()
    {
        QCOMPARE(pageLayoutFromPersisted(std::nullopt), oneRow);
        for (const QString &name : {u"2-rows"_s, u"2x2"_s, u"3x2"_s})
            QCOMPARE(pageLayoutFromPersisted(name), twoRows);
        for (const QString &name : {u"1-row"_s, u"auto"_s, u"1x1"_s, u"2x1"_s, u"2-ROWS"_s})
            QCOMPARE(pageLayoutFromPersisted(name), oneRow);
        for (const auto layout : {oneRow, twoRows})
            QCOMPARE(pageLayoutFromPersisted(pageLayoutRawValue(layout)), layout);

        // Layout, viewport, page ratio and separator points with the columns that fit.
        const QList<std::tuple<PageLayoutPreference, QSizeF, double, double, int>> cases {
            {twoRows, {1200, 800}, letter, 4, 3}, // pages 398 high and 307.5 wide
            {twoRows, {1200, 800}, notANumber, 4, 3}, {oneRow, {1200, 800}, letter, 4, 1},
            {twoRows, {1240, 800}, letter, 0, 4},
            {twoRows, {1240, 800}, letter, 4, 3}, // the separator takes the fourth
            {twoRows, {40, 16}, letter, 10, 5}, // the separator capped at a quarter
            {oneRow, {100000, 800}, letter, 4, 12}, {twoRows, {0, 0}, letter, 4, 1},
            {twoRows, {1200, notANumber}, letter, 4, 1}, {twoRows, {largest, largest}, letter, largest, 12}};
        for (const auto &[layout, viewport, aspect, separator, columns] : cases)
            QCOMPARE(StageLayout::resolvedGrid(layout, viewport, aspect, separator),
                (Grid {columns, layout == twoRows ? 2 : 1}));

        // Grids of 3 × 2, 1 × 1, none, too many columns and too many rows.
        const QList<std::pair<Grid, PageWindow>> windows {
            {{3, 2}, {5, 9}}, {{1, 1}, {0, 1}}, {{0, 1}, {0, 1}}, {{20, 1}, {11, 12}}, {{2, 5}, {3, 6}}};
        for (const auto &[grid, window] : windows)
            QCOMPARE(pageWindow(grid), window);
        for (const auto &[height, reference] : QList<std::pair<std::optional<double>, double>> {
                 {2200, 2200}, {0.25, 1}, {std::nullopt, 1000}, {notANumber, 1000}})
            QCOMPARE(referenceHeight(height), reference);
    }

    void pageAspectRatios()
    {
        using Pages = QList<PageAspectMetadata>;
        const QList<std::pair<Pages, std::optional<double>>> cases {
            {{{3, 100, 200}, {1, 100, 150}, {2, 100, 120}}, 1.5}, {{{1, 100, 150}, {1, 100, 300}}, 1.5},
            {{{0, 0, 200}, {1, 100, -5}, {2, notANumber, 100}, {3, 200, 100}}, 0.5}, // unknown sizes skipped
            {{{0, 1e-300, largest}, {4, 10, 20}}, 2.0}, // a ratio that overflows
            {{{0, 0, 0}}, std::nullopt}};
        for (const auto &[pages, ratio] : cases)
            QCOMPARE(StageLayout::earliestPageAspectRatio(pages), ratio);

        // Chart identities and candidate ratios in turn, with the ratio each resolves to; a chart keeps its
        // first usable ratio, and resolving without an identity forgets it.
        const auto a = std::optional(u"chart-a"_s);
        const auto b = std::optional(u"chart-b"_s);
        const QList<std::tuple<std::optional<QString>, std::optional<double>, double>> steps {
            {a, std::nullopt, letter}, {a, notANumber, letter}, {a, 1.5, 1.5}, {a, 0.7, 1.5},
            {b, std::nullopt, letter}, {b, 0.7, 0.7}, {u""_s, 1.5, 1.5}, {std::nullopt, 0.0, letter},
            {b, 0.9, 0.9}};
        ChartAspectReference reference;
        for (const auto &[identity, candidate, resolved] : steps)
            QCOMPARE(reference.resolve(identity, candidate), resolved);
    }

    void gapsAndBanks()
    {
        // Rows, viewport height and separator points with the gap as a fraction of a page's height.
        const QList<std::tuple<int, double, double, double>> cases {{2, 800, 4, 8.0 / 796},
            {1, 800, 4, 4.0 / 800}, {2, 800, 0, 0}, {2, 8, 4, 4.0 / 6} /* capped at a quarter */,
            {2, 0, 4, 0}, {2, 800, notANumber, 0}};
        for (const auto &[rows, height, separator, fraction] : cases)
            PGW_COMPARE_NEAR(StageLayout::separatorGapFraction(rows, height, separator), fraction, 1e-12);

        BankGeometry bank = twoRowBank(0);
        QCOMPARE(bank.bankAnchor, 0);
        PGW_COMPARE_RECT(bank.cameraFrame, QRectF(0, 0, 6633.17, 4422.11), 0.01);
        // Slots are 1700 wide (the reference width), narrower than the 2196.31 a column could take; the
        // preview column holds the first page of each row of the next bank.
        const QList<double> columns {0, 1722.11, 3444.22, 5166.33};
        const QList<int> ordinals {0, 1, 2, 6, 3, 4, 5, 9};
        for (int i = 0; i < 8; ++i)
            PGW_COMPARE_RECT(bank.pageFrames.value(ordinals[i]),
                QRectF(columns[i % 4], i < 4 ? 0 : 2222.11, 1700, 2200), 0.01);
        QCOMPARE(bank.pageFrames.size(), 8);

        // The second bank starts at a multiple of six; negative ordinals stay in the first.
        for (const auto &[ordinal, anchor] : QList<std::pair<int, int>> {{7, 6}, {5, 0}, {-3, 0}}) {
            const BankGeometry other = twoRowBank(ordinal);
            QCOMPARE(other.bankAnchor, anchor);
            QCOMPARE(other.pageFrames.firstKey(), anchor);
            QCOMPARE(other.pageFrames.value(anchor).topLeft(), QPointF(0, 0));
        }

        // Without a camera: one row of two 1.5-ratio pages in slots 666.67 wide, a 10-unit gap and a sliver
        // of the preview.
        bank = bankGeometry(uniformPages(0, 2, 1.5), 1, {2, 1}, 1000, 1.5, std::nullopt, 0.01);
        PGW_COMPARE_RECT(bank.cameraFrame, QRectF(0, 0, 2 * 666.667 + 10 + 10 + 0.08 * 666.667, 1000), 0.01);
        PGW_COMPARE_RECT(bank.pageFrames.value(2), QRectF(676.667 * 2, 0, 666.667, 1000), 0.01);

        // A landscape page shrinks to the 800-unit slot and stands shorter; an unknown one takes the
        // reference ratio; a narrow one keeps the full height.
        bank = bankGeometry({{0, 0.5}, {1, notANumber}, {2, 2.0}}, 0, {4, 1}, 1000, 1.25, std::nullopt, 0);
        PGW_COMPARE_RECT(bank.pageFrames.value(0), QRectF(0, 0, 800, 400), 1e-9);
        PGW_COMPARE_RECT(bank.pageFrames.value(1), QRectF(800, 0, 800, 1000), 1e-9);
        PGW_COMPARE_RECT(bank.pageFrames.value(2), QRectF(1600, 0, 500, 1000), 1e-9);
        QCOMPARE(bank.pageFrames.size(), 3);

        bank = bankGeometry(uniformPages(0, 0, notANumber), 0, {0, 0}, notANumber, -2, notANumber, 0);
        PGW_COMPARE_RECT(bank.pageFrames.value(0), QRectF(0, 0, 1, 1), 1e-12);
        PGW_COMPARE_RECT(bank.cameraFrame, QRectF(0, 0, 1.08, 1), 1e-12);

        const int last = std::numeric_limits<int>::max();
        // A camera 315 wide holds three columns and two 10-unit gaps: columns narrower than a page set the
        // slot.
        bank = bankGeometry({{last - 1, 1.0}, {last, 1.0}}, last, {3, 2}, 100, 1.0, 1.5, 0.1);
        PGW_COMPARE_NEAR(bank.slotWidth, 295.0 / 3, 1e-9);
        QCOMPARE(bank.bankAnchor, last - 1);
        QCOMPARE(bank.pageFrames.keys(), (QList<int> {last - 1, last}));

        // The fraction asked for with the offset of the second row of pages 1000 high.
        for (const auto &[fraction, rowOffset] :
            QList<std::pair<double, double>> {{0.1, 1100}, {0.9, 1250}, {-1, 1000}, {notANumber, 1000}}) {
            bank = bankGeometry(uniformPages(0, 1, 1.0), 0, {1, 2}, 1000, 1.0, std::nullopt, fraction);
            PGW_COMPARE_NEAR(bank.pageFrames.value(1).y(), rowOffset, 1e-9);
            PGW_COMPARE_NEAR(bank.cameraFrame.height(), 1000 + rowOffset, 1e-9);
        }
    }

    void placementAndCameraClamp()
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

        bank.pageFrames.clear();
        QCOMPARE(placeBank(bank, {0.5, 0.5}, 1.0).documentSize, QSizeF(1, 1));
        QCOMPARE(placeBank(bank, {300, 200}, 2.0).documentSize, QSizeF(150, 100));
        QCOMPARE(visibleSize({1, 2}, 0), QSizeF(1000, 2000));
        QCOMPARE(visibleSize({1, 2}, notANumber), QSizeF(1000, 2000));

        // Visible rectangles against a camera at (30, 25) of 100 × 50, with where they must move.
        const auto stays = std::optional<QPointF>();
        const QList<std::pair<QRectF, std::optional<QPointF>>> cases {{{40, 35, 50, 25}, stays},
            {{20, 35, 50, 25}, QPointF(30, 35)}, {{90, 70, 50, 25}, QPointF(80, 50)},
            {{0, 30, 200, 25}, QPointF(30, 30)}, {{29.995, 35, 50, 25}, stays} /* within tolerance */,
            {{0, 0, 0, 25}, stays}};
        for (const auto &[visible, origin] : cases) {
            QCOMPARE(clampedVisibleOrigin(QRectF(30, 25, 100, 50), visible), origin);
            QCOMPARE(clampedVisibleOrigin(QRectF(30, 25, 0, 50), visible), stays);
        }
    }
};

QTEST_GUILESS_MAIN(StageLayoutTest)
#include "tst_stagelayout.moc"
