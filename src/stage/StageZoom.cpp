// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/StageZoom.h"

#include "stage/StageLayout.h"

#include <algorithm>

namespace pgw::StageLayout {

std::optional<double> fitScale(const QSizeF &camera, const QSizeF &viewport, bool fitWidth)
{
    for (const double side : {camera.width(), camera.height(), viewport.width(), viewport.height()}) {
        if (!(side > 0))
            return std::nullopt;
    }
    const double widthScale = viewport.width() / camera.width();
    const double fit = fitWidth ? widthScale : std::min(widthScale, viewport.height() / camera.height());
    if (!isPositiveFinite(fit) || !std::isfinite(maximumZoomFactor * fit))
        return std::nullopt;
    return fit;
}

std::optional<Zoom> refittedZoom(
    const Zoom &current, const QSizeF &camera, const QSizeF &viewport, bool fitWidth, bool refit)
{
    const auto fit = fitScale(camera, viewport, fitWidth);
    if (!fit)
        return std::nullopt;
    const double m = current.magnification;
    const bool wasAtFit = std::abs(m - current.minimum) <= atFitTolerance;
    Zoom zoom {*fit, maximumZoomFactor * *fit, m};
    if (refit || wasAtFit || !std::isfinite(m) || m < *fit)
        zoom.magnification = *fit;
    else
        zoom.magnification = std::min(m, zoom.maximum);
    return zoom;
}

std::optional<double> zoomTarget(const Zoom &current, StageZoomAction action)
{
    const double minimum = isPositiveFinite(current.minimum) ? current.minimum : 1.0;
    const double maximum
        = std::isfinite(current.maximum) && current.maximum >= minimum ? current.maximum : minimum;
    const double base = isPositiveFinite(current.magnification) ? current.magnification : minimum;
    double target = minimum;
    if (action == StageZoomAction::ZoomIn)
        target = base * zoomStepFactor;
    else if (action == StageZoomAction::ZoomOut)
        target = base / zoomStepFactor;
    // An overflowing step lands on the maximum.
    target = std::clamp(target, minimum, maximum);
    if (std::abs(target - current.magnification) <= zoomNoOpTolerance)
        return std::nullopt;
    return target;
}

} // namespace pgw::StageLayout
