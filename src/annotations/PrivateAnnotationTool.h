#pragma once

#include <QMetaType>
#include <QString>

#include <array>
#include <optional>

namespace pgw {

// The private ink tools and colours, with the raw texts under which the last choice is kept.
enum class PlayerPrivateAnnotationTool { Pen, Highlighter, Eraser };
enum class PlayerPrivateAnnotationColor { Red, Blue, Black, Yellow };

inline constexpr std::array<std::pair<PlayerPrivateAnnotationTool, QLatin1StringView>, 3>
    privateAnnotationTools {{
        {PlayerPrivateAnnotationTool::Pen, QLatin1StringView("pen")},
        {PlayerPrivateAnnotationTool::Highlighter, QLatin1StringView("highlighter")},
        {PlayerPrivateAnnotationTool::Eraser, QLatin1StringView("eraser")},
    }};

inline constexpr std::array<std::pair<PlayerPrivateAnnotationColor, QLatin1StringView>, 4>
    privateAnnotationColors {{
        {PlayerPrivateAnnotationColor::Red, QLatin1StringView("red")},
        {PlayerPrivateAnnotationColor::Blue, QLatin1StringView("blue")},
        {PlayerPrivateAnnotationColor::Black, QLatin1StringView("black")},
        {PlayerPrivateAnnotationColor::Yellow, QLatin1StringView("yellow")},
    }};

template<typename Enum, std::size_t N>
QString rawValue(const std::array<std::pair<Enum, QLatin1StringView>, N> &table, Enum value)
{
    for (const auto &[candidate, raw] : table) {
        if (candidate == value)
            return raw;
    }
    return {};
}

template<typename Enum, std::size_t N>
std::optional<Enum> fromRawValue(
    const std::array<std::pair<Enum, QLatin1StringView>, N> &table, const QString &raw)
{
    for (const auto &[candidate, text] : table) {
        if (text == raw)
            return candidate;
    }
    return std::nullopt;
}

} // namespace pgw

Q_DECLARE_METATYPE(pgw::PlayerPrivateAnnotationTool)
Q_DECLARE_METATYPE(pgw::PlayerPrivateAnnotationColor)
