// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QUuid>

namespace pgw {

// A point in page coordinates: 0 is the left or top edge of the page image, 1 the right or bottom.
struct PrivateAnnotationPoint
{
    double x = 0;
    double y = 0;
    double pressure = 1.0;
    bool operator==(const PrivateAnnotationPoint &) const = default;
};

enum class PrivateAnnotationTool { pen, highlighter };

struct PrivateAnnotationRGBA
{
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1.0;
    bool operator==(const PrivateAnnotationRGBA &) const = default;
};

struct PrivateAnnotationStyle
{
    PrivateAnnotationTool tool = PrivateAnnotationTool::pen;
    PrivateAnnotationRGBA color;
    // A fraction of the page's shorter side.
    double normalizedWidth = 0.0025;
    bool operator==(const PrivateAnnotationStyle &) const = default;
};

struct PrivateAnnotationStroke
{
    QUuid id;
    PrivateAnnotationStyle style;
    QList<PrivateAnnotationPoint> points;
    bool operator==(const PrivateAnnotationStroke &) const = default;
};

} // namespace pgw
