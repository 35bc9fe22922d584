// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

namespace pgw {

// One page's layer of private ink. The score key names the base image version as well, so a new
// version of a page starts an empty layer while the old strokes stay under their own key.
struct PrivateAnnotationPageKey
{
    static constexpr qsizetype maximumScoreKeyBytes = 512;

    QString scoreKey;
    qint64 pageIndex = 0;

    // The layer of a displayed page; absent when the page cannot be annotated.
    static std::optional<PrivateAnnotationPageKey> rendered(
        const QString &scoreKey, const QString &baseVersion, qint64 pageIndex);

    bool operator==(const PrivateAnnotationPageKey &) const = default;
    // Score keys in Unicode code point order, then page index: the order of pages in the file.
    friend bool operator<(const PrivateAnnotationPageKey &left, const PrivateAnnotationPageKey &right);
};

size_t qHash(const PrivateAnnotationPageKey &key, size_t seed = 0);

} // namespace pgw
