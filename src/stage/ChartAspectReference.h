#pragma once

#include "stage/StageLayout.h"

#include <QString>

#include <optional>

namespace pgw::StageLayout {

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
