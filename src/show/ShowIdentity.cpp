// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/ShowIdentity.h"

#include "support/Json.h"

using namespace Qt::StringLiterals;

namespace pgw::ShowIdentity {

std::optional<QString> scoreKey(const QJsonObject &score)
{
    const auto token = json::optInt(score, "scoreToken"_L1);
    if (!token)
        return std::nullopt;
    if (auto key = json::nonEmptyString(score, "scoreKey"_L1))
        return key;
    return u"t"_s + QString::number(*token);
}

std::optional<ScoreAddress> scoreAddress(const QJsonObject &score)
{
    const auto key = scoreKey(score);
    if (!key)
        return std::nullopt;
    return ScoreAddress {
        *key, *json::optInt(score, "scoreToken"_L1), json::nonEmptyString(score, "scoreKey"_L1)};
}

std::optional<QString> occurrenceFingerprint(const QJsonArray &items, std::optional<qsizetype> index)
{
    if (!index || *index < 0 || *index >= items.size())
        return std::nullopt;
    const QJsonObject item = items.at(*index).toObject();
    const auto key = scoreKey(item);
    if (!key)
        return std::nullopt;
    if (auto occurrence = json::nonEmptyString(item, "occurrenceKey"_L1))
        return occurrence;
    return *key + u'|' + QString::number(json::intOr(item, "startPage"_L1, 0)) + u'|'
        + QString::number(json::intOr(item, "endPage"_L1, -1)) + u'|' + json::stringOr(item, "title"_L1);
}

QString occurrenceId(const QJsonObject &owner, const QString &scoreKey, std::optional<qsizetype> itemIndex)
{
    if (auto occurrence = json::nonEmptyString(owner, "occurrenceKey"_L1))
        return u"occurrence:"_s + *occurrence;
    if (!itemIndex)
        return u"score:"_s + scoreKey;
    return u"item:"_s + QString::number(*itemIndex);
}

QString pageIdentity(
    const QString &occurrenceId, const QString &scoreKey, qint64 pageIndex, const QString &baseVersion)
{
    return occurrenceId + u'|' + scoreKey + u"|p"_s + QString::number(pageIndex) + u'|' + baseVersion;
}

QString masterChartIdentity(const QString &occurrenceId, const QString &scoreKey)
{
    return u"master|"_s + occurrenceId + u"|score:"_s + scoreKey;
}

QString partChartIdentity(const QString &optionId, const QString &contextKey)
{
    return u"part:"_s + optionId + u'|' + contextKey;
}

} // namespace pgw::ShowIdentity
