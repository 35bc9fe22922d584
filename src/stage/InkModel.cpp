// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/InkModel.h"

#include "support/Json.h"

#include <QJsonArray>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

QList<InkPoint> parseSamples(const QJsonObject &message)
{
    QList<InkPoint> points;
    const QJsonArray samples = json::arrayOr(message, "samples"_L1);
    points.reserve(samples.size());
    for (const QJsonValue &sample : samples) {
        const QJsonArray values = sample.toArray();
        if (values.size() < 2)
            continue;
        const auto x = json::toNumber(values[0]);
        const auto y = json::toNumber(values[1]);
        if (!x || !y)
            continue;
        points.append({*x, *y, values.size() > 2 ? json::toNumber(values[2]).value_or(0.0) : 0.0});
    }
    return points;
}

// Absent when the page index does not fit an int: cut short, it would name another page.
std::optional<LiveStroke> parseBegin(const QJsonObject &message)
{
    const qint64 pageIndex = json::intOr(message, "pageIndex"_L1, -1);
    if (!std::in_range<int>(pageIndex))
        return std::nullopt;
    LiveStroke stroke;
    stroke.pageIndex = int(pageIndex);
    const QJsonObject style = json::objectOr(message, "style"_L1);
    const QJsonArray color = json::arrayOr(style, "color"_L1);
    const auto red = json::toNumber(color.at(0));
    const auto green = json::toNumber(color.at(1));
    const auto blue = json::toNumber(color.at(2));
    if (red && green && blue)
        stroke.color = {*red, *green, *blue, json::toNumber(color.at(3)).value_or(1.0)};
    stroke.normalizedWidth = json::numberOr(style, "width"_L1, LiveStroke::defaultWidth);
    stroke.points = parseSamples(message);
    return stroke;
}

} // namespace

double LiveStroke::pressureFactor(double pressure)
{
    const double factor = pressure <= 0 ? 1.45 : pressure * 0.9 + 0.55;
    return std::clamp(factor, 0.35, 1.45);
}

double LiveStroke::drawnWidth(double base, double pressure)
{
    return std::max(base * pressureFactor(pressure), 0.75);
}

bool InkModel::handle(const QJsonObject &message, double now)
{
    const auto strokeId = json::optString(message, "strokeId"_L1);
    if (!strokeId)
        return false;
    const QString phase = json::stringOr(message, "phase"_L1);
    if (phase == "begin"_L1) {
        auto stroke = parseBegin(message);
        if (!stroke)
            return false;
        m_strokes.insert(*strokeId, std::move(*stroke));
        ++m_generation;
        return true;
    }
    auto existing = m_strokes.find(*strokeId);
    if (phase == "append"_L1) {
        if (existing == m_strokes.end())
            return false;
        existing->points.append(parseSamples(message));
        ++m_generation;
        return true;
    }
    if (phase == "end"_L1) {
        // The stroke looks the same once ended; only its lifetime starts.
        if (existing != m_strokes.end()) {
            existing->ended = true;
            existing->endedAt = now;
        }
        return false;
    }
    if (phase == "cancel"_L1) {
        if (existing == m_strokes.end())
            return false;
        m_strokes.erase(existing);
        ++m_generation;
        return true;
    }
    return false;
}

QList<LiveStroke> InkModel::strokes(int pageIndex) const
{
    QList<LiveStroke> result;
    for (const LiveStroke &stroke : m_strokes) {
        if (stroke.pageIndex == pageIndex)
            result.append(stroke);
    }
    return result;
}

template<typename Keep>
void InkModel::retain(Keep keep)
{
    const auto removed = m_strokes.removeIf([&](const auto &entry) { return !keep(entry.value()); });
    if (removed > 0)
        ++m_generation;
}

void InkModel::clearEnded(int pageIndex)
{
    retain([pageIndex](const LiveStroke &s) { return !(s.ended && s.pageIndex == pageIndex); });
}

void InkModel::expireStaleEnded(double now)
{
    retain(
        [now](const LiveStroke &s) { return !(s.ended && s.endedAt && now - *s.endedAt >= endedLifetime); });
}

void InkModel::clearAll()
{
    if (!m_strokes.isEmpty())
        ++m_generation;
    m_strokes.clear();
}

} // namespace pgw
