// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace pgw {

struct InkColor
{
    double red = 0.9;
    double green = 0.12;
    double blue = 0.12;
    double alpha = 1.0;
    bool operator==(const InkColor &) const = default;
};

struct InkPoint
{
    double x = 0;
    double y = 0;
    double pressure = 0;
    bool operator==(const InkPoint &) const = default;
};

// One stroke the Host is drawing or has just drawn.
struct LiveStroke
{
    static constexpr double defaultWidth = 0.0025;

    int pageIndex = -1;
    InkColor color;
    // A fraction of the page's smaller side.
    double normalizedWidth = defaultWidth;
    QList<InkPoint> points;
    bool ended = false;
    std::optional<double> endedAt;
    bool operator==(const LiveStroke &) const = default;

    // Width factor for a pressure: 0 or less means unknown and draws at full width.
    static double pressureFactor(double pressure);
    // Drawn width of a point at the given base width, never thinner than 0.75 points.
    static double drawnWidth(double base, double pressure);
};

// The Host's live strokes by stroke ID. `generation` grows on every change that must be redrawn.
class InkModel
{
public:
    static constexpr double endedLifetime = 5.0;

    // Applies one "ink" message at time `now`; true when what must be drawn changed.
    bool handle(const QJsonObject &message, double now);
    QList<LiveStroke> strokes(int pageIndex) const;
    void clearEnded(int pageIndex);
    void expireStaleEnded(double now);
    void clearAll();

    int generation() const { return m_generation; }
    const QHash<QString, LiveStroke> &allStrokes() const { return m_strokes; }

private:
    template<typename Keep>
    void retain(Keep keep);

    QHash<QString, LiveStroke> m_strokes;
    int m_generation = 0;
};

} // namespace pgw
