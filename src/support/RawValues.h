// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <optional>
#include <utility>

namespace pgw {

// An enumeration's stored or wire texts, as a table of (value, text) pairs.
template<typename Enum, std::size_t N>
using RawValueTable = std::array<std::pair<Enum, QLatin1StringView>, N>;

template<typename Enum, std::size_t N>
QString rawValue(const RawValueTable<Enum, N> &table, Enum value)
{
    for (const auto &[candidate, raw] : table) {
        if (candidate == value)
            return raw;
    }
    return {};
}

// The value whose text is `raw`; an unknown text gives nothing.
template<typename Enum, std::size_t N>
std::optional<Enum> fromRawValue(const RawValueTable<Enum, N> &table, const QString &raw)
{
    for (const auto &[candidate, text] : table) {
        if (text == raw)
            return candidate;
    }
    return std::nullopt;
}

} // namespace pgw
