// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "stage/StageZoomRequest.h"

#include <QSizeF>

#include <optional>

// Zoom arithmetic of the stage's magnifying scroll view: the fit scale, its limits and the zoom steps.
namespace pgw::StageLayout {

// The most the user may magnify, as a multiple of the fit scale.
inline constexpr double maximumZoomFactor = 4.0;
inline constexpr double zoomStepFactor = 1.25;
inline constexpr double zoomNoOpTolerance = 0.0001;
inline constexpr double atFitTolerance = 0.002;

// The scroll view's magnification and its limits; these are the limits before the first refit.
struct Zoom
{
    double minimum = 1.0;
    double maximum = 4.0;
    double magnification = 1.0;
    bool operator==(const Zoom &) const = default;
};

// The scale at which the camera fills the viewport (its width only with `fitWidth`); absent when either
// size is empty or the scale is unusable.
std::optional<double> fitScale(const QSizeF &camera, const QSizeF &viewport, bool fitWidth);

// Limits of fit … 4 × fit. The magnification returns to fit when `refit` is asked (a reset, a new grid),
// when the user was at fit or when it would be below fit; otherwise a zoomed-in view is kept across
// resizes, within the new maximum. Absent when there is no usable fit.
std::optional<Zoom> refittedZoom(
    const Zoom &current, const QSizeF &camera, const QSizeF &viewport, bool fitWidth, bool refit);

// The magnification a zoom command asks for, or absent when it would not change. `Reset` asks for the
// minimum, which is the fit once the limits have been refitted.
std::optional<double> zoomTarget(const Zoom &current, StageZoomAction action);

} // namespace pgw::StageLayout
