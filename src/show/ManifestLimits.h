// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// Bounds on what a Host's show manifest and part-rendition manifests may hold, far above any real
// show. A manifest past one is refused whole: it is hostile or broken, and what the Player builds
// from a manifest grows with every item, page and option in it.
namespace pgw::ManifestLimits {

inline constexpr qsizetype maxSetlistItems = 2'000;
// For the open score, every set-list item and a rendition alike.
inline constexpr qsizetype maxPagesPerScore = 5'000;
inline constexpr qsizetype maxPartOptionsPerSong = 200;
// For every string in a manifest, member names included.
inline constexpr qsizetype maxStringLength = 1'024;

// Why a show manifest is past the limits, or nothing when it is within them.
std::optional<QString> showViolation(const QJsonObject &manifest);
// The same for the descriptor of a part rendition.
std::optional<QString> renditionViolation(const QJsonObject &descriptor);

} // namespace pgw::ManifestLimits
