// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/PrivateAnnotationEraser.h"

#include <algorithm>
#include <cmath>

namespace pgw {

namespace {

using Bounds = PrivateAnnotationEraser::Bounds;

constexpr double orientationTolerance = 1e-12;
constexpr double farthestReach = 2.0;

Bounds boundsOf(const QList<QPointF> &points)
{
    Bounds bounds {points.first().x(), points.first().y(), points.first().x(), points.first().y()};
    for (const QPointF &point : points) {
        bounds.left = std::min(bounds.left, point.x());
        bounds.right = std::max(bounds.right, point.x());
        bounds.top = std::min(bounds.top, point.y());
        bounds.bottom = std::max(bounds.bottom, point.y());
    }
    return bounds;
}

// True when no point of one box comes within `reach` of the other, with a margin well above rounding
// error so that this shortcut never rules out a stroke the exact tests below would hit.
bool areApart(const Bounds &a, const Bounds &b, double reach)
{
    const double extent = std::max({std::abs(a.left), std::abs(a.right), std::abs(a.top), std::abs(a.bottom),
        std::abs(b.left), std::abs(b.right), std::abs(b.top), std::abs(b.bottom)});
    const double margin = reach + 1e-9 * (1 + extent);
    return a.left - b.right > margin || b.left - a.right > margin || a.top - b.bottom > margin
        || b.top - a.bottom > margin;
}

double squaredLength(QPointF vector)
{
    return QPointF::dotProduct(vector, vector);
}

double squaredDistanceToSegment(QPointF point, QPointF start, QPointF end)
{
    const QPointF along = end - start;
    const double length = squaredLength(along);
    if (length == 0)
        return squaredLength(point - start);
    const double t = std::clamp(QPointF::dotProduct(point - start, along) / length, 0.0, 1.0);
    return squaredLength(point - (start + t * along));
}

bool isNearPolyline(QPointF point, const QList<QPointF> &polyline, double limit)
{
    for (qsizetype i = 1; i < polyline.size(); ++i) {
        if (squaredDistanceToSegment(point, polyline[i - 1], polyline[i]) <= limit)
            return true;
    }
    return false;
}

int orientation(QPointF a, QPointF b, QPointF c)
{
    const double cross = (b.x() - a.x()) * (c.y() - a.y()) - (b.y() - a.y()) * (c.x() - a.x());
    if (std::abs(cross) <= orientationTolerance)
        return 0;
    return cross > 0 ? 1 : -1;
}

// Whether `point`, already known to be collinear with the segment, lies within its extent.
bool liesWithin(QPointF point, QPointF start, QPointF end)
{
    return point.x() >= std::min(start.x(), end.x()) && point.x() <= std::max(start.x(), end.x())
        && point.y() >= std::min(start.y(), end.y()) && point.y() <= std::max(start.y(), end.y());
}

bool segmentsIntersect(QPointF a, QPointF b, QPointF c, QPointF d)
{
    const int abc = orientation(a, b, c);
    const int abd = orientation(a, b, d);
    const int cda = orientation(c, d, a);
    const int cdb = orientation(c, d, b);
    if (abc * abd < 0 && cda * cdb < 0)
        return true;
    return (abc == 0 && liesWithin(c, a, b)) || (abd == 0 && liesWithin(d, a, b))
        || (cda == 0 && liesWithin(a, c, d)) || (cdb == 0 && liesWithin(b, c, d));
}

bool segmentsMeet(QPointF a, QPointF b, QPointF c, QPointF d, double limit)
{
    return segmentsIntersect(a, b, c, d) || squaredDistanceToSegment(a, c, d) <= limit
        || squaredDistanceToSegment(b, c, d) <= limit || squaredDistanceToSegment(c, a, b) <= limit
        || squaredDistanceToSegment(d, a, b) <= limit;
}

} // namespace

PrivateAnnotationEraser::PrivateAnnotationEraser(
    const QList<PrivateAnnotationPoint> &path, double radius, double pageAspectRatio)
    : m_radius(std::max(radius, 0.0))
    , m_scaleX(std::max(pageAspectRatio, 1.0))
    , m_scaleY(pageAspectRatio >= 1 ? 1.0 : 1.0 / pageAspectRatio)
    , m_path(scaled(path))
{
    if (!m_path.isEmpty())
        m_bounds = boundsOf(m_path);
}

bool PrivateAnnotationEraser::hits(const PrivateAnnotationStroke &stroke) const
{
    if (stroke.points.isEmpty() || m_path.isEmpty())
        return false;
    const double threshold = std::min(m_radius + stroke.style.normalizedWidth * 0.5, farthestReach);
    const QList<QPointF> points = scaled(stroke.points);
    if (areApart(boundsOf(points), m_bounds, threshold))
        return false;
    const double limit = threshold * threshold;
    if (points.size() == 1 && m_path.size() == 1)
        return squaredLength(points.first() - m_path.first()) <= limit;
    if (points.size() == 1)
        return isNearPolyline(points.first(), m_path, limit);
    if (m_path.size() == 1)
        return isNearPolyline(m_path.first(), points, limit);
    return segmentsHit(points, limit);
}

QList<QPointF> PrivateAnnotationEraser::scaled(const QList<PrivateAnnotationPoint> &points) const
{
    QList<QPointF> result;
    result.reserve(points.size());
    for (const PrivateAnnotationPoint &point : points)
        result.append({point.x * m_scaleX, point.y * m_scaleY});
    return result;
}

bool PrivateAnnotationEraser::segmentsHit(const QList<QPointF> &stroke, double limit) const
{
    for (qsizetype i = 1; i < stroke.size(); ++i) {
        for (qsizetype j = 1; j < m_path.size(); ++j) {
            if (segmentsMeet(stroke[i - 1], stroke[i], m_path[j - 1], m_path[j], limit))
                return true;
        }
    }
    return false;
}

} // namespace pgw
