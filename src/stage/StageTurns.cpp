// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/StageTurns.h"

#include "stage/StageLayout.h"

#include <algorithm>

namespace pgw::StageLayout {

std::optional<int> edgeTurn(double x, double viewportWidth, double fraction)
{
    if (!std::isfinite(x) || !isPositiveFinite(viewportWidth) || !isPositiveFinite(fraction))
        return std::nullopt;
    const double edge = viewportWidth * std::min(fraction, maximumTapEdgeFraction);
    if (x < edge)
        return -1;
    if (x > viewportWidth - edge)
        return +1;
    return std::nullopt;
}

std::optional<int> pageTurnForKey(int key, bool textInputEditing, bool isRepeat)
{
    if (textInputEditing || isRepeat)
        return std::nullopt;
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Up:
        return -1;
    case Qt::Key_PageDown:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Return:
    case Qt::Key_Space:
    case Qt::Key_Enter:
        return +1;
    default:
        return std::nullopt;
    }
}

bool canTurnOnAxis(Qt::Orientation axis, const QSizeF &camera, const QSizeF &visible, bool annotationMode)
{
    if (annotationMode)
        return false;
    if (camera.isEmpty())
        return true;
    const bool horizontal = axis == Qt::Horizontal;
    const double cameraExtent = horizontal ? camera.width() : camera.height();
    const double visibleExtent = horizontal ? visible.width() : visible.height();
    return cameraExtent <= visibleExtent + turnAxisSlack;
}

} // namespace pgw::StageLayout
