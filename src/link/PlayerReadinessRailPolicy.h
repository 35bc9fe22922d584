// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace pgw {

// How the stage's readiness rail shows a task, and which coverage scopes were already confirmed.
enum class PlayerReadinessRailBehavior { Hidden, Persistent, TransientCompletion };

struct ReadinessTask
{
    QString scope;
    PlayerReadinessRailBehavior behavior = PlayerReadinessRailBehavior::Hidden;
    bool resetsCompletion = false;
    bool operator==(const ReadinessTask &) const = default;
};

struct PlayerReadinessCompletionTracker
{
    // A scope names every wanted file, and each page the Host re-engraves makes a new one: only the
    // latest few are kept, enough to go back and forth between parts without news.
    static constexpr qsizetype capacity = 8;
    // Oldest first.
    QStringList acknowledgedScopes;
    bool operator==(const PlayerReadinessCompletionTracker &) const = default;
};

namespace PlayerReadinessRailPolicy {

// Identifies a set of files regardless of order: the names sorted, each written as its UTF-8
// length, ":" and the name, joined with "|".
QString scopeFingerprint(const QStringList &fileNames);

} // namespace PlayerReadinessRailPolicy

} // namespace pgw
