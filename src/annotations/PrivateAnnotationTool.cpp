// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/PrivateAnnotationTool.h"

namespace pgw {

std::optional<PrivateAnnotationStyle> privateAnnotationStyle(
    PlayerPrivateAnnotationTool tool, PlayerPrivateAnnotationColor color)
{
    PrivateAnnotationRGBA rgba;
    switch (color) {
    case PlayerPrivateAnnotationColor::Red:
        rgba = {0.92, 0.16, 0.15};
        break;
    case PlayerPrivateAnnotationColor::Blue:
        rgba = {0.08, 0.34, 0.94};
        break;
    case PlayerPrivateAnnotationColor::Black:
        rgba = {0.05, 0.06, 0.08};
        break;
    case PlayerPrivateAnnotationColor::Yellow:
        rgba = {1.0, 0.78, 0.05};
        break;
    }
    switch (tool) {
    case PlayerPrivateAnnotationTool::Pen:
        return PrivateAnnotationStyle {PrivateAnnotationTool::pen, rgba, 0.0025};
    case PlayerPrivateAnnotationTool::Highlighter:
        rgba.alpha = 0.32;
        return PrivateAnnotationStyle {PrivateAnnotationTool::highlighter, rgba, 0.014};
    case PlayerPrivateAnnotationTool::Eraser:
        break;
    }
    return std::nullopt;
}

} // namespace pgw
