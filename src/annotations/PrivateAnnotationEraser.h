// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationStroke.h"

#include <QList>
#include <QPointF>

namespace pgw {

// Tells which strokes an eraser path touches. Distances are measured in units of the page's shorter
// side, so a sweep reaches as far across a wide page as down a tall one.
class PrivateAnnotationEraser
{
public:
    // `pageAspectRatio` is the page's width divided by its height.
    PrivateAnnotationEraser(const QList<PrivateAnnotationPoint> &path, double radius, double pageAspectRatio);

    bool hits(const PrivateAnnotationStroke &stroke) const;

    struct Bounds
    {
        double left = 0;
        double top = 0;
        double right = 0;
        double bottom = 0;
    };

private:
    QList<QPointF> scaled(const QList<PrivateAnnotationPoint> &points) const;
    bool segmentsHit(const QList<QPointF> &stroke, double limit) const;

    double m_radius = 0;
    double m_scaleX = 1;
    double m_scaleY = 1;
    QList<QPointF> m_path;
    Bounds m_bounds;
};

} // namespace pgw
