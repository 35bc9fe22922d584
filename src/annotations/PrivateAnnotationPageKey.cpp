// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/PrivateAnnotationPageKey.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// Ranks UTF-16 code units in the order of the code points they encode: surrogates move above the rest of
// the Basic Multilingual Plane, which moves down to make room.
char16_t codePointRank(char16_t unit)
{
    if (unit < 0xD800)
        return unit;
    return unit >= 0xE000 ? unit - 0x800 : unit + 0x2000;
}

bool codePointLess(QStringView left, QStringView right)
{
    const auto [l, r] = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
    if (r == right.end())
        return false;
    if (l == left.end())
        return true;
    return codePointRank(l->unicode()) < codePointRank(r->unicode());
}

} // namespace

std::optional<PrivateAnnotationPageKey> PrivateAnnotationPageKey::rendered(
    const QString &scoreKey, const QString &baseVersion, qint64 pageIndex)
{
    if (scoreKey.isEmpty() || baseVersion.isEmpty() || pageIndex < 0)
        return std::nullopt;
    QString layer = scoreKey + "|base:"_L1 + baseVersion;
    if (layer.toUtf8().size() > maximumScoreKeyBytes)
        return std::nullopt;
    return PrivateAnnotationPageKey {std::move(layer), pageIndex};
}

bool operator<(const PrivateAnnotationPageKey &left, const PrivateAnnotationPageKey &right)
{
    if (left.scoreKey != right.scoreKey)
        return codePointLess(left.scoreKey, right.scoreKey);
    return left.pageIndex < right.pageIndex;
}

size_t qHash(const PrivateAnnotationPageKey &key, size_t seed)
{
    return qHashMulti(seed, key.scoreKey, key.pageIndex);
}

} // namespace pgw
