// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

namespace pgw {

struct PlayerInstrumentGroup
{
    QString id;
    QString label;
    // Groups are presented in ascending order.
    int order = 0;
    bool operator==(const PlayerInstrumentGroup &) const = default;
};

struct PlayerInstrument
{
    QString id;
    QString label;
    QString groupID;
    // Other names under which the instrument is found.
    QStringList aliases;
    bool custom = false;

    // Whether the search text (trimmed, any case) occurs in the label, the id or an alias; an empty search
    // finds every instrument.
    bool matchesSearch(const QString &search) const;

    bool operator==(const PlayerInstrument &) const = default;
};

// The instruments a player may declare and part options may name, always referred to by id: the built-in
// ones, extended by custom instruments a Host defines in its manifest.
struct PlayerInstrumentCatalog
{
    // A Host's catalog is untrusted: only this many elements of each of its lists are read.
    static constexpr qsizetype maxGroups = 256;
    static constexpr qsizetype maxInstruments = 2048;
    static constexpr qsizetype maxAliases = 32;

    QString catalogID;
    QList<PlayerInstrumentGroup> groups;
    QList<PlayerInstrument> instruments;

    static const PlayerInstrumentCatalog &builtIn();

    // Reads a Host's "instrumentCatalog" value and merges it with the built-ins; absent unless it is an
    // object.
    static std::optional<PlayerInstrumentCatalog> parse(const QJsonValue &value);
    // The built-ins followed by the catalog's own groups and "custom:" instruments; built-in entries are
    // never redefined.
    static PlayerInstrumentCatalog mergingBuiltIns(const std::optional<PlayerInstrumentCatalog> &catalog);
    // What is not built in, under the same catalog id: the part worth persisting.
    PlayerInstrumentCatalog customOverlay() const;

    QJsonObject toJson() const;
    // Reads the stored form leniently: mistyped members take their defaults, unusable entries are skipped.
    static PlayerInstrumentCatalog fromJson(const QJsonObject &object);

    std::optional<PlayerInstrument> instrument(const QString &id) const;
    std::optional<PlayerInstrumentGroup> group(const QString &id) const;

    bool operator==(const PlayerInstrumentCatalog &) const = default;
};

} // namespace pgw

Q_DECLARE_METATYPE(pgw::PlayerInstrumentCatalog)
