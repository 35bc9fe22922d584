// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerReadinessRailPolicy.h"

#include <algorithm>

namespace pgw::PlayerReadinessRailPolicy {

QString scopeFingerprint(const QStringList &fileNames)
{
    // Sorted by code point (UTF-8 byte order), not by UTF-16 units or the locale.
    QList<QByteArray> names;
    names.reserve(fileNames.size());
    for (const QString &name : fileNames)
        names.append(name.toUtf8());
    std::sort(names.begin(), names.end());
    QStringList parts;
    parts.reserve(names.size());
    for (const QByteArray &name : names)
        parts.append(QString::number(name.size()) + u':' + QString::fromUtf8(name));
    return parts.join(u'|');
}

} // namespace pgw::PlayerReadinessRailPolicy
