// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/StageLayout.h"

#include <algorithm>
#include <limits>

namespace pgw::StageLayout {

namespace {

// A separator of this many points, capped at a quarter of `side`; 0 when the points are unusable.
double cappedGap(double points, double side)
{
    return isPositiveFinite(points) ? std::min(points, side / 4) : 0.0;
}

int clampedColumns(double fitting)
{
    if (std::isnan(fitting))
        return 1;
    return int(std::clamp(fitting, 1.0, double(maximumColumns)));
}

// Only a count of 1 or 2 rows is ever laid out.
int clampedRows(int rows)
{
    return rows > 1 ? 2 : 1;
}

} // namespace

double separatorPoints(bool separatorsOn)
{
    return separatorsOn ? separatorPointsWhenOn : 0.0;
}

double referenceHeight(std::optional<double> displayedImagePixelHeight)
{
    if (!displayedImagePixelHeight || !std::isfinite(*displayedImagePixelHeight))
        return defaultReferenceHeight;
    return std::max(*displayedImagePixelHeight, 1.0);
}

Grid resolvedGrid(
    PageLayoutPreference layout, const QSizeF &viewport, double pageAspectRatio, double separatorPoints)
{
    const int rows = pageLayoutRows(layout);
    const double width = viewport.width();
    const double height = viewport.height();
    if (!isPositiveFinite(width) || !isPositiveFinite(height))
        return {1, rows};
    const double aspect = isPositiveFinite(pageAspectRatio) ? pageAspectRatio : defaultPageAspectRatio;
    const double gap = cappedGap(separatorPoints, std::min(width, height));
    const double pageHeight = std::max((height - gap * (rows - 1)) / rows, 1.0);
    const double pageWidth = pageHeight / aspect;
    return {clampedColumns(std::floor((width + gap) / std::max(pageWidth + gap, 1.0))), rows};
}

PageWindow pageWindow(const Grid &grid)
{
    const int columns = grid.columns < 1 ? 1 : std::min(grid.columns, maximumColumns);
    const int rows = clampedRows(grid.rows);
    return {columns * rows - 1, columns * (2 * rows - 1)};
}

std::optional<double> earliestPageAspectRatio(const QList<PageAspectMetadata> &pages)
{
    std::optional<int> earliestOrdinal;
    std::optional<double> ratio;
    for (const PageAspectMetadata &page : pages) {
        if (!isPositiveFinite(page.pixelWidth) || !isPositiveFinite(page.pixelHeight))
            continue;
        const double candidate = page.pixelHeight / page.pixelWidth;
        if (!isPositiveFinite(candidate) || (earliestOrdinal && page.ordinal >= *earliestOrdinal))
            continue;
        earliestOrdinal = page.ordinal;
        ratio = candidate;
    }
    return ratio;
}

double separatorGapFraction(int rows, double viewportHeight, double separatorPoints)
{
    if (!isPositiveFinite(viewportHeight))
        return 0.0;
    const int r = clampedRows(rows);
    const double gap = cappedGap(separatorPoints, viewportHeight);
    const double rest = viewportHeight - gap * (r - 1);
    if (!(rest > 0))
        return 0.0;
    return gap * r / rest;
}

BankGeometry bankGeometry(const QHash<int, double> &aspectRatios, int currentOrdinal, const Grid &grid,
    double referenceHeight, double referenceAspectRatio, std::optional<double> cameraAspectRatio,
    double gapFraction)
{
    // Grids are clamped as the page window clamps them, so a stray grid cannot ask for millions of slots.
    const int columns = std::clamp(grid.columns, 1, maximumColumns);
    const int rows = clampedRows(grid.rows);
    const int count = columns * rows;
    const double height = isPositiveFinite(referenceHeight) ? referenceHeight : 1.0;
    const double aspect = isPositiveFinite(referenceAspectRatio) ? referenceAspectRatio : 1.0;
    const double fraction
        = std::isfinite(gapFraction) ? std::clamp(gapFraction, 0.0, maximumGapFraction) : 0.0;
    const double gap = height * fraction;
    const double bankHeight = height * rows + gap * (rows - 1);
    const double referenceWidth = height / aspect;
    const bool hasCamera = cameraAspectRatio && isPositiveFinite(*cameraAspectRatio);
    const double cameraWidth = hasCamera ? bankHeight * *cameraAspectRatio : 0.0;
    const double columnWidth
        = hasCamera ? std::max((cameraWidth - gap * (columns - 1)) / columns, 1.0) : referenceWidth;
    const double slotWidth = std::min(columnWidth, referenceWidth);

    BankGeometry geometry;
    geometry.bankAnchor = currentOrdinal >= 0 ? currentOrdinal / count * count : 0;
    geometry.slotWidth = slotWidth;
    const auto place = [&](qint64 ordinal, int column, int row) {
        if (ordinal > std::numeric_limits<int>::max())
            return;
        const auto found = aspectRatios.constFind(int(ordinal));
        if (found == aspectRatios.cend())
            return;
        // Pages wider than the slot shrink to its width and keep their ratio; all are top-aligned.
        const double ratio = isPositiveFinite(*found) ? *found : aspect;
        const double width = std::min(height / ratio, slotWidth);
        geometry.pageFrames.insert(
            int(ordinal), QRectF((gap + slotWidth) * column, (height + gap) * row, width, ratio * width));
    };
    const qint64 anchor = geometry.bankAnchor;
    for (int i = 0; i < count; ++i)
        place(anchor + i, i % columns, i / columns);
    // The preview column shows the first page of each row of the next bank.
    for (int row = 0; row < rows; ++row)
        place(anchor + count + qint64(row) * columns, columns, row);

    const double width = hasCamera
        ? cameraWidth
        : columns * slotWidth + (columns - 1) * gap + gap + previewSliverFraction * slotWidth;
    geometry.cameraFrame = QRectF(0, 0, width, bankHeight);
    return geometry;
}

QSizeF visibleSize(const QSizeF &viewport, double magnification)
{
    const double scale = magnification > minimumMagnification ? magnification : minimumMagnification;
    return viewport / scale;
}

BankPlacement placeBank(const BankGeometry &geometry, const QSizeF &viewport, double magnification)
{
    const QSizeF visible = visibleSize(viewport, magnification);
    const QSizeF camera = geometry.cameraFrame.size();
    const QPointF offset(std::max((visible.width() - camera.width()) * 0.5, 0.0),
        std::max((visible.height() - camera.height()) * 0.5, 0.0));

    BankPlacement placement;
    placement.cameraFrame = geometry.cameraFrame.translated(offset);
    QSizeF extent;
    for (auto it = geometry.pageFrames.cbegin(); it != geometry.pageFrames.cend(); ++it) {
        const QRectF frame = it.value().translated(offset);
        placement.pageFrames.insert(it.key(), frame);
        extent = extent.expandedTo({frame.right(), frame.bottom()});
    }
    if (placement.pageFrames.isEmpty())
        extent = {1, 1};
    placement.documentSize = extent.expandedTo(visible);
    return placement;
}

std::optional<QPointF> clampedVisibleOrigin(const QRectF &camera, const QRectF &visible)
{
    const auto hasArea = [](const QRectF &rect) {
        return isPositiveFinite(rect.width()) && isPositiveFinite(rect.height());
    };
    if (!hasArea(camera) || !hasArea(visible))
        return std::nullopt;
    const double x
        = std::clamp(visible.x(), camera.left(), std::max(camera.right() - visible.width(), camera.left()));
    const double y
        = std::clamp(visible.y(), camera.top(), std::max(camera.bottom() - visible.height(), camera.top()));
    if (std::abs(x - visible.x()) <= cameraClampTolerance
        && std::abs(y - visible.y()) <= cameraClampTolerance)
        return std::nullopt;
    return QPointF(x, y);
}

double ChartAspectReference::resolve(const std::optional<QString> &identity, std::optional<double> candidate)
{
    const bool usable = candidate && isPositiveFinite(*candidate);
    if (!identity || identity->isEmpty()) {
        if (chartIdentity)
            *this = {};
        return usable ? *candidate : defaultPageAspectRatio;
    }
    if (chartIdentity != identity)
        *this = {identity, defaultPageAspectRatio, false};
    if (!hasReliableAspect && usable) {
        aspectRatio = *candidate;
        hasReliableAspect = true;
    }
    return aspectRatio;
}

} // namespace pgw::StageLayout
