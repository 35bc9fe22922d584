// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// The text keys that name a score, a place in the set list, a page on the stage and a chart.
namespace pgw::ShowIdentity {

struct ScoreAddress
{
    QString scoreKey;
    qint64 scoreToken = 0;
    // The score's own key; absent when the key had to be made from the token.
    std::optional<QString> annotationScoreKey;
    bool operator==(const ScoreAddress &) const = default;
};

// "scoreKey" when present and non-empty, else "t" + token; absent without an integer "scoreToken".
std::optional<QString> scoreKey(const QJsonObject &score);
std::optional<ScoreAddress> scoreAddress(const QJsonObject &score);

// The fingerprint of set-list item `index`: its "occurrenceKey", or key|start|end|title.
std::optional<QString> occurrenceFingerprint(const QJsonArray &items, std::optional<qsizetype> index);

// "occurrence:" + the owner's occurrence key; else "score:" + key for the open score; else "item:" + index.
QString occurrenceId(const QJsonObject &owner, const QString &scoreKey, std::optional<qsizetype> itemIndex);
QString pageIdentity(
    const QString &occurrenceId, const QString &scoreKey, qint64 pageIndex, const QString &baseVersion);
QString masterChartIdentity(const QString &occurrenceId, const QString &scoreKey);
QString partChartIdentity(const QString &optionId, const QString &contextKey);

} // namespace pgw::ShowIdentity
