// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

namespace pgw {

// How cached assets are named on disk. Current names hash every part, so any score key, kind or
// version yields a flat, safe file name; legacy names (older releases) spell the parts out and are
// recognised only when every part is a safe atom.
namespace AssetCacheName {

// SHA-256 of the UTF-8 bytes, 64 lowercase hexadecimal digits.
QString digest(const QString &text);
// The leading part of every current name of one score.
QString scorePrefix(const QString &scoreKey);
// The leading part of every version of one page and kind.
QString familyPrefix(const QString &scoreKey, qint64 pageIndex, const QString &kind);
QString fileName(const QString &scoreKey, qint64 pageIndex, const QString &kind, const QString &version);

// 1 to 128 bytes, each an ASCII letter or digit, "_" or "-".
bool isSafeLegacyAtom(const QString &text);
std::optional<QString> legacyFamilyPrefix(const QString &scoreKey, qint64 pageIndex, const QString &kind);
std::optional<QString> legacyFileName(
    const QString &scoreKey, qint64 pageIndex, const QString &kind, const QString &version);
// Whether `name` has the full legacy form key-<page>-<kind>@<version> for this very score key, so that
// files of a score whose key merely starts with the same text and a dash are never taken for it.
bool isLegacyFileNameOf(const QString &name, const QString &scoreKey);

} // namespace AssetCacheName
} // namespace pgw
