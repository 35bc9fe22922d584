// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stage/PageLayoutPreference.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cmath>
#include <optional>

// The stage's arithmetic: how many pages stand side by side, where each page of the current bank sits and
// which region the camera shows. Aspect ratios of pages are height ÷ width; the camera's is width ÷ height.
// Bank units are pixels of a page whose image height is the reference height.
namespace pgw::StageLayout {

// A letter-size portrait page, 11 by 8.5.
inline constexpr double defaultPageAspectRatio = 22.0 / 17.0;
inline constexpr int maximumColumns = 12;
inline constexpr double separatorPointsWhenOn = 4.0;
inline constexpr double maximumGapFraction = 0.25;
// Without a camera aspect, the camera shows this much of a slot of the preview column.
inline constexpr double previewSliverFraction = 0.08;
inline constexpr double defaultReferenceHeight = 1000.0;
inline constexpr double minimumMagnification = 0.001;
inline constexpr double cameraClampTolerance = 0.01;

inline bool isPositiveFinite(double value)
{
    return std::isfinite(value) && value > 0;
}

struct Grid
{
    int columns = 1;
    int rows = 1;
    bool operator==(const Grid &) const = default;
};

// How many pages around the displayed one the model's page bank should hold.
struct PageWindow
{
    int maxLookBehind = 0;
    int maxLookAhead = 0;
    bool operator==(const PageWindow &) const = default;
};

// A page's announced image size.
struct PageAspectMetadata
{
    int ordinal = 0;
    double pixelWidth = 0;
    double pixelHeight = 0;
};

// The bank in bank units: frames of the laid-out ordinals (bank and preview column) and the camera,
// whose origin is (0, 0).
struct BankGeometry
{
    QMap<int, QRectF> pageFrames;
    QRectF cameraFrame;
    int bankAnchor = 0;
    // The width a page may take; pages outside the bank would stand in slots of this width.
    double slotWidth = 0;
    bool operator==(const BankGeometry &) const = default;
};

// The bank moved into the scroll view's document, centred where the camera is smaller than what is visible.
struct BankPlacement
{
    QMap<int, QRectF> pageFrames;
    QRectF cameraFrame;
    QSizeF documentSize;
    bool operator==(const BankPlacement &) const = default;
};

double separatorPoints(bool separatorsOn);
// The displayed page image's pixel height, at least 1, or a stand-in while it has no image.
double referenceHeight(std::optional<double> displayedImagePixelHeight);

// As many complete pages as fit across at the height the rows allow; the width left over previews the
// next bank.
Grid resolvedGrid(
    PageLayoutPreference layout, const QSizeF &viewport, double pageAspectRatio, double separatorPoints);
PageWindow pageWindow(const Grid &grid);
// The ratio of the lowest ordinal with a usable size (the earlier entry on a tie).
std::optional<double> earliestPageAspectRatio(const QList<PageAspectMetadata> &pages);
// The separator between rows as a fraction of a page's height.
double separatorGapFraction(int rows, double viewportHeight, double separatorPoints);

// `aspectRatios` maps ordinals to page ratios (not-a-number when unknown); only ordinals in it are laid
// out. `cameraAspectRatio` is the viewport's width ÷ height.
BankGeometry bankGeometry(const QHash<int, double> &aspectRatios, int currentOrdinal, const Grid &grid,
    double referenceHeight, double referenceAspectRatio, std::optional<double> cameraAspectRatio,
    double gapFraction);

// The viewport in bank units at this magnification.
QSizeF visibleSize(const QSizeF &viewport, double magnification);
BankPlacement placeBank(const BankGeometry &geometry, const QSizeF &viewport, double magnification);
// Where the visible rectangle must move to stay inside the camera; absent when it may stay.
std::optional<QPointF> clampedVisibleOrigin(const QRectF &camera, const QRectF &visible);

// The page ratio the grid is built on while one chart is displayed. The first usable ratio seen for a
// chart fixes it, so later pages of other shapes do not move the grid.
struct ChartAspectReference
{
    std::optional<QString> chartIdentity;
    double aspectRatio = defaultPageAspectRatio;
    bool hasReliableAspect = false;

    // The reference ratio for this chart, given a candidate ratio (height ÷ width) that may be unknown.
    // Without a chart identity nothing is remembered and the candidate is used as it is.
    double resolve(const std::optional<QString> &identity, std::optional<double> candidate);

    bool operator==(const ChartAspectReference &) const = default;
};

} // namespace pgw::StageLayout
