// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationStroke.h"
#include "support/RawValues.h"

#include <QMetaType>

#include <optional>

namespace pgw {

// The private ink tools and colours, with the raw texts under which the last choice is kept.
enum class PlayerPrivateAnnotationTool { Pen, Highlighter, Eraser };
enum class PlayerPrivateAnnotationColor { Red, Blue, Black, Yellow };

inline constexpr RawValueTable<PlayerPrivateAnnotationTool, 3> privateAnnotationTools {{
    {PlayerPrivateAnnotationTool::Pen, QLatin1StringView("pen")},
    {PlayerPrivateAnnotationTool::Highlighter, QLatin1StringView("highlighter")},
    {PlayerPrivateAnnotationTool::Eraser, QLatin1StringView("eraser")},
}};

inline constexpr RawValueTable<PlayerPrivateAnnotationColor, 4> privateAnnotationColors {{
    {PlayerPrivateAnnotationColor::Red, QLatin1StringView("red")},
    {PlayerPrivateAnnotationColor::Blue, QLatin1StringView("blue")},
    {PlayerPrivateAnnotationColor::Black, QLatin1StringView("black")},
    {PlayerPrivateAnnotationColor::Yellow, QLatin1StringView("yellow")},
}};

// The pen's or highlighter's look in a colour; the eraser draws nothing and has none.
std::optional<PrivateAnnotationStyle> privateAnnotationStyle(
    PlayerPrivateAnnotationTool tool, PlayerPrivateAnnotationColor color);

} // namespace pgw

Q_DECLARE_METATYPE(pgw::PlayerPrivateAnnotationTool)
Q_DECLARE_METATYPE(pgw::PlayerPrivateAnnotationColor)
