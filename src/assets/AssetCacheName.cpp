// SPDX-License-Identifier: GPL-3.0-or-later
#include "assets/AssetCacheName.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw::AssetCacheName {

namespace {

constexpr qsizetype maxLegacyAtomBytes = 128;

bool isLegacyKind(const QString &kind)
{
    return kind == "base.png"_L1 || kind == "marks.png"_L1;
}

} // namespace

QString digest(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString scorePrefix(const QString &scoreKey)
{
    return u's' + digest(scoreKey) + u'-';
}

QString familyPrefix(const QString &scoreKey, qint64 pageIndex, const QString &kind)
{
    return scorePrefix(scoreKey) + u'p' + QString::number(pageIndex) + "-k"_L1 + digest(kind) + "-v"_L1;
}

QString fileName(const QString &scoreKey, qint64 pageIndex, const QString &kind, const QString &version)
{
    return familyPrefix(scoreKey, pageIndex, kind) + digest(version);
}

bool isSafeLegacyAtom(const QString &text)
{
    // Every admitted character is one UTF-8 byte, so the length in characters is the length in bytes.
    if (text.isEmpty() || text.size() > maxLegacyAtomBytes)
        return false;
    return std::all_of(text.cbegin(), text.cend(),
        [](QChar c) { return c.unicode() < 128 && (c.isLetterOrNumber() || c == u'_' || c == u'-'); });
}

std::optional<QString> legacyFamilyPrefix(const QString &scoreKey, qint64 pageIndex, const QString &kind)
{
    if (pageIndex < 0 || !isSafeLegacyAtom(scoreKey) || !isLegacyKind(kind))
        return std::nullopt;
    return scoreKey + u'-' + QString::number(pageIndex) + u'-' + kind + u'@';
}

std::optional<QString> legacyFileName(
    const QString &scoreKey, qint64 pageIndex, const QString &kind, const QString &version)
{
    if (!isSafeLegacyAtom(version))
        return std::nullopt;
    const auto prefix = legacyFamilyPrefix(scoreKey, pageIndex, kind);
    if (!prefix)
        return std::nullopt;
    return *prefix + version;
}

bool isLegacyFileNameOf(const QString &name, const QString &scoreKey)
{
    static const QRegularExpression remainder(
        u"\\A(0|[1-9][0-9]{0,18})-(base|marks)\\.png@[A-Za-z0-9_-]{1,128}\\z"_s);
    if (!isSafeLegacyAtom(scoreKey) || !name.startsWith(scoreKey + u'-'))
        return false;
    return remainder.match(name.sliced(scoreKey.size() + 1)).hasMatch();
}

} // namespace pgw::AssetCacheName
