#pragma once

#include "support/RawValues.h"

#include <QMetaType>

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

} // namespace pgw

Q_DECLARE_METATYPE(pgw::PlayerPrivateAnnotationTool)
Q_DECLARE_METATYPE(pgw::PlayerPrivateAnnotationColor)
