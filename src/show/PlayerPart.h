// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace pgw {

// An alternative rendition of a song's score for some instruments (a transposed part, say).
struct PlayerPartOption
{
    QString optionID;
    QString label;
    QStringList instrumentIDs;
    // The Host's handle for requesting the rendition.
    QString ref;

    bool operator==(const PlayerPartOption &) const = default;

    static QList<PlayerPartOption> parse(const QJsonValue &value);
};

struct SongPartContext
{
    QString songKey;
    QString occurrenceKey;
    QString title;
    QList<PlayerPartOption> options;
    bool operator==(const SongPartContext &) const = default;
};

// What the part chooser shows while the player must pick.
struct PlayerPartChooser
{
    QString songKey;
    QString occurrenceKey;
    QString title;
    QList<PlayerPartOption> options;
    QSet<QString> matchingOptionIDs;
    // The selected option's id, or "master".
    QString selectedOptionID;

    bool operator==(const PlayerPartChooser &) const = default;
    QString identity() const { return songKey + u'|' + occurrenceKey; }
    QList<PlayerPartOption> matchingOptions() const;
};

namespace PlayerPartResolution {
struct Automatic
{
    PlayerPartOption option;
    bool operator==(const Automatic &) const = default;
};
struct Choose
{
    QList<PlayerPartOption> options;
    bool operator==(const Choose &) const = default;
};
struct Master
{
    bool operator==(const Master &) const = default;
};
} // namespace PlayerPartResolution

using PlayerPartResolutionValue = std::variant<PlayerPartResolution::Automatic, PlayerPartResolution::Choose,
    PlayerPartResolution::Master>;

namespace PlayerPartResolver {
inline constexpr QLatin1StringView masterChoice {"master"};
inline constexpr QLatin1StringView allPrefix {"all:"};
QList<PlayerPartOption> matching(
    const QList<PlayerPartOption> &options, const QSet<QString> &myInstrumentIDs);
PlayerPartResolutionValue resolve(const QList<PlayerPartOption> &options,
    const QSet<QString> &myInstrumentIDs, const std::optional<QString> &savedOptionID);
} // namespace PlayerPartResolver

struct PartRenditionKey
{
    QString optionID;
    QString ref;
    bool operator==(const PartRenditionKey &) const = default;
    friend size_t qHash(const PartRenditionKey &key, size_t seed = 0)
    {
        return qHashMulti(seed, key.optionID, key.ref);
    }
};

struct PartRenditionRequest
{
    PartRenditionKey key;
    PlayerPartOption option;
    int sessionGeneration = 0;
    // Absent for a request the player is waiting for.
    std::optional<int> prefetchGeneration;
};

} // namespace pgw

Q_DECLARE_METATYPE(pgw::PlayerPartChooser)
Q_DECLARE_METATYPE(pgw::PlayerPartOption)
