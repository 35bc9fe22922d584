// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetStore.h"

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace pgw {

// The page images a show's master charts need, and how many charts it has.
struct DownloadedShowCoverage
{
    QList<AssetStore::Want> wants;
    int chartCount = 0;
    // Charts whose pages cannot be named yet.
    int unresolvedChartCount = 0;
    bool operator==(const DownloadedShowCoverage &) const = default;
};

// What a saved show is made of, read from the manifests and rendition descriptors the Host sent.
// Everything here reads untrusted JSON and is bounded.
namespace DownloadedShowContent {

inline constexpr int maxKeyLength = 256;
inline constexpr int maxPagesPerOwner = 5000;
inline constexpr int maxRenditionRefLength = 512;
inline const QString baseKind = QStringLiteral("base.png");

// The text that names a show: its set list with every item, or its open score.
std::optional<QString> identityText(const QJsonObject &manifest);
// The first 16 bytes of the SHA-256 of the identity text, as 32 lowercase hexadecimal digits.
std::optional<QString> showIdentity(const QJsonObject &manifest);

// For a set-list item only the pages of its playable range are wanted, exactly those the stage plays.
enum class PageRange { playable, all };
// The base images of a show item, score or rendition descriptor, in page order.
QList<AssetStore::Want> ownerWants(const QJsonObject &owner, PageRange range);
// The wants of every item (or of the open score), duplicates dropped; absent without either.
std::optional<DownloadedShowCoverage> masterCoverage(const QJsonObject &manifest);

// The trimmed reference when it is 1 to 512 characters without a path separator.
std::optional<QString> validRenditionRef(const QString &ref);
// The "ref" of every part option of the set-list items and of the open score.
QSet<QString> advertisedRenditionRefs(const QJsonObject &manifest);
// The set list's name, else the open score's title, else "Saved Show".
QString displayTitle(const QJsonObject &manifest);

// Appends the wants whose cache file is not yet in `seen`.
void appendUnique(QList<AssetStore::Want> &into, QSet<QString> &seen, const QList<AssetStore::Want> &wants);

} // namespace DownloadedShowContent
} // namespace pgw
