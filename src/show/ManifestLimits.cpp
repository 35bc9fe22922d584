// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/ManifestLimits.h"

#include "support/Json.h"

using namespace Qt::StringLiterals;

namespace pgw::ManifestLimits {

namespace {

std::optional<QString> longString(const QString &text)
{
    if (text.size() <= maxStringLength)
        return std::nullopt;
    return u"a string of %1 characters, more than %2"_s.arg(text.size()).arg(maxStringLength);
}

std::optional<QString> longStringIn(const QJsonValue &value)
{
    if (value.isString())
        return longString(value.toString());
    if (value.isArray()) {
        for (const QJsonValue &element : value.toArray()) {
            if (auto found = longStringIn(element))
                return found;
        }
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto member = object.constBegin(); member != object.constEnd(); ++member) {
            if (auto found = longString(member.key()))
                return found;
            if (auto found = longStringIn(member.value()))
                return found;
        }
    }
    return std::nullopt;
}

std::optional<QString> tooMany(
    const QJsonObject &owner, QLatin1StringView key, qsizetype limit, QStringView what)
{
    const qsizetype count = json::arrayOr(owner, key).size();
    if (count <= limit)
        return std::nullopt;
    return u"%1 %2, more than %3"_s.arg(count).arg(what).arg(limit);
}

// The pages and part options of the open score or of one set-list item.
std::optional<QString> scoreViolation(const QJsonObject &score)
{
    if (auto found = tooMany(score, "pages"_L1, maxPagesPerScore, u"pages in a score"))
        return found;
    return tooMany(score, "partOptions"_L1, maxPartOptionsPerSong, u"part options for a song");
}

} // namespace

std::optional<QString> showViolation(const QJsonObject &manifest)
{
    const QJsonArray items = json::arrayOr(json::objectOr(manifest, "show"_L1), "items"_L1);
    if (items.size() > maxSetlistItems)
        return u"%1 set-list items, more than %2"_s.arg(items.size()).arg(maxSetlistItems);
    if (auto found = scoreViolation(json::objectOr(manifest, "score"_L1)))
        return found;
    for (const QJsonValue &item : items) {
        if (auto found = scoreViolation(item.toObject()))
            return found;
    }
    return longStringIn(manifest);
}

std::optional<QString> renditionViolation(const QJsonObject &descriptor)
{
    if (auto found = tooMany(descriptor, "pages"_L1, maxPagesPerScore, u"pages in a score"))
        return found;
    return longStringIn(descriptor);
}

} // namespace pgw::ManifestLimits
