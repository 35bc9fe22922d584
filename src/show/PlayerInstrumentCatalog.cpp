// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/PlayerInstrumentCatalog.h"

#include "show/BuiltInInstrumentCatalog.h"
#include "support/Json.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// Records the id and tells whether it was new; the first of equal ids wins everywhere.
bool firstSighting(QSet<QString> &seen, const QString &id)
{
    const qsizetype before = seen.size();
    seen.insert(id);
    return seen.size() != before;
}

QString trimmedString(const QJsonObject &object, QLatin1StringView key)
{
    return json::stringOr(object, key).trimmed();
}

QString labelOr(const QJsonObject &object, const QString &fallback)
{
    const QString label = trimmedString(object, "label"_L1);
    return label.isEmpty() ? fallback : label;
}

QString catalogIDOf(const QJsonObject &object)
{
    const QString id = trimmedString(object, "catalogID"_L1);
    return id.isEmpty() ? QString(BuiltInInstrumentCatalog::catalogID) : id;
}

QStringList readAliases(const QJsonArray &array)
{
    QStringList aliases;
    QSet<QString> seen;
    for (qsizetype i = 0; i < std::min(array.size(), PlayerInstrumentCatalog::maxAliases); ++i) {
        const QJsonValue alias = array.at(i);
        if (alias.isString() && firstSighting(seen, alias.toString()))
            aliases.append(alias.toString());
    }
    return aliases;
}

QList<PlayerInstrumentGroup> readGroups(const QJsonArray &array, qsizetype limit)
{
    QList<PlayerInstrumentGroup> groups;
    QSet<QString> seen;
    for (qsizetype i = 0; i < std::min(array.size(), limit); ++i) {
        const QJsonObject object = array.at(i).toObject();
        const QString id = trimmedString(object, "id"_L1);
        if (id.isEmpty() || !firstSighting(seen, id))
            continue;
        groups.append({id, labelOr(object, id), json::int32Or(object, "order"_L1, 0)});
    }
    return groups;
}

// Every element of a Host's "customInstruments" is custom; elsewhere each element says so itself.
QList<PlayerInstrument> readInstruments(const QJsonArray &array, qsizetype limit, bool allCustom)
{
    QList<PlayerInstrument> instruments;
    QSet<QString> seen;
    for (qsizetype i = 0; i < std::min(array.size(), limit); ++i) {
        const QJsonObject object = array.at(i).toObject();
        const QString id = trimmedString(object, "id"_L1);
        if (id.isEmpty() || !firstSighting(seen, id))
            continue;
        instruments.append({id, labelOr(object, id), trimmedString(object, "groupID"_L1),
            readAliases(json::arrayOr(object, "aliases"_L1)),
            allCustom || json::boolOr(object, "custom"_L1, false)});
    }
    return instruments;
}

QJsonObject groupToJson(const PlayerInstrumentGroup &group)
{
    return {{"id"_L1, group.id}, {"label"_L1, group.label}, {"order"_L1, group.order}};
}

QJsonObject instrumentToJson(const PlayerInstrument &instrument)
{
    return {{"id"_L1, instrument.id}, {"label"_L1, instrument.label}, {"groupID"_L1, instrument.groupID},
        {"aliases"_L1, QJsonArray::fromStringList(instrument.aliases)}, {"custom"_L1, instrument.custom}};
}

template<typename Entry>
std::optional<Entry> findByID(const QList<Entry> &entries, const QString &id)
{
    const auto found
        = std::find_if(entries.begin(), entries.end(), [&](const Entry &e) { return e.id == id; });
    if (found == entries.end())
        return std::nullopt;
    return *found;
}

} // namespace

bool PlayerInstrument::matchesSearch(const QString &search) const
{
    const QString query = search.trimmed().toLower();
    const auto contains = [&](const QString &text) { return text.toLower().contains(query); };
    return query.isEmpty() || contains(label) || contains(id)
        || std::any_of(aliases.begin(), aliases.end(), contains);
}

const PlayerInstrumentCatalog &PlayerInstrumentCatalog::builtIn()
{
    return BuiltInInstrumentCatalog::catalog();
}

std::optional<PlayerInstrumentCatalog> PlayerInstrumentCatalog::parse(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto customInstruments = json::optArray(object, "customInstruments"_L1);
    const QJsonArray instruments = customInstruments.value_or(json::arrayOr(object, "instruments"_L1));
    PlayerInstrumentCatalog catalog {catalogIDOf(object),
        readGroups(json::arrayOr(object, "groups"_L1), maxGroups),
        readInstruments(instruments, maxInstruments, customInstruments.has_value())};
    std::stable_sort(catalog.groups.begin(), catalog.groups.end(),
        [](const PlayerInstrumentGroup &a, const PlayerInstrumentGroup &b) { return a.order < b.order; });
    return mergingBuiltIns(catalog);
}

PlayerInstrumentCatalog PlayerInstrumentCatalog::mergingBuiltIns(
    const std::optional<PlayerInstrumentCatalog> &catalog)
{
    if (!catalog)
        return builtIn();
    PlayerInstrumentCatalog merged = builtIn();
    merged.catalogID = catalog->catalogID;
    QSet<QString> seen;
    for (const PlayerInstrumentGroup &group : catalog->groups) {
        if (!BuiltInInstrumentCatalog::isGroupID(group.id) && firstSighting(seen, group.id))
            merged.groups.append(group);
    }
    seen.clear();
    for (const PlayerInstrument &instrument : catalog->instruments) {
        if (instrument.id.startsWith(BuiltInInstrumentCatalog::customInstrumentPrefix)
            && firstSighting(seen, instrument.id))
            merged.instruments.append(instrument);
    }
    return merged;
}

PlayerInstrumentCatalog PlayerInstrumentCatalog::customOverlay() const
{
    PlayerInstrumentCatalog overlay {catalogID, {}, {}};
    std::copy_if(groups.begin(), groups.end(), std::back_inserter(overlay.groups),
        [](const PlayerInstrumentGroup &group) { return !BuiltInInstrumentCatalog::isGroupID(group.id); });
    std::copy_if(instruments.begin(), instruments.end(), std::back_inserter(overlay.instruments),
        [](const PlayerInstrument &instrument) {
            return !BuiltInInstrumentCatalog::isInstrumentID(instrument.id);
        });
    return overlay;
}

QJsonObject PlayerInstrumentCatalog::toJson() const
{
    QJsonArray groupArray;
    for (const PlayerInstrumentGroup &group : groups)
        groupArray.append(groupToJson(group));
    QJsonArray instrumentArray;
    for (const PlayerInstrument &instrument : instruments)
        instrumentArray.append(instrumentToJson(instrument));
    return {{"catalogID"_L1, catalogID}, {"groups"_L1, groupArray}, {"instruments"_L1, instrumentArray}};
}

PlayerInstrumentCatalog PlayerInstrumentCatalog::fromJson(const QJsonObject &object)
{
    // A stored catalog may hold the built-ins besides a Host's own entries; whatever parse yields reads back
    // whole.
    return {catalogIDOf(object),
        readGroups(json::arrayOr(object, "groups"_L1), maxGroups + builtIn().groups.size()),
        readInstruments(
            json::arrayOr(object, "instruments"_L1), maxInstruments + builtIn().instruments.size(), false)};
}

std::optional<PlayerInstrument> PlayerInstrumentCatalog::instrument(const QString &id) const
{
    return findByID(instruments, id);
}

std::optional<PlayerInstrumentGroup> PlayerInstrumentCatalog::group(const QString &id) const
{
    return findByID(groups, id);
}

} // namespace pgw
