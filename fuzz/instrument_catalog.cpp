// SPDX-License-Identifier: GPL-3.0-or-later
// The Host's instrument catalog: the input is a manifest's "instrumentCatalog" value. The merged catalog
// keeps every built-in entry, lists each id once, and what the settings keep of it (its custom overlay)
// reads back to the same catalog after a restart.
#include "FuzzSupport.h"

#include "show/PlayerInstrumentCatalog.h"
#include "support/Json.h"

#include <QJsonDocument>
#include <QSet>

using namespace pgw;

namespace {

template<typename Entry>
bool uniqueIDs(const QList<Entry> &entries)
{
    QSet<QString> ids;
    for (const Entry &entry : entries)
        ids.insert(entry.id);
    return ids.size() == entries.size();
}

void check(const PlayerInstrumentCatalog &catalog)
{
    const PlayerInstrumentCatalog &builtIn = PlayerInstrumentCatalog::builtIn();
    fuzz::require(catalog.groups.mid(0, builtIn.groups.size()) == builtIn.groups
            && catalog.instruments.mid(0, builtIn.instruments.size()) == builtIn.instruments,
        "a Host's catalog never redefines a built-in entry");
    fuzz::require(uniqueIDs(catalog.groups) && uniqueIDs(catalog.instruments), "each id is listed once");
    const auto stored = json::parseObject(json::compact(catalog.customOverlay().toJson()));
    fuzz::require(stored.has_value(), "the stored catalog is an object");
    fuzz::require(
        PlayerInstrumentCatalog::mergingBuiltIns(PlayerInstrumentCatalog::fromJson(*stored)) == catalog,
        "the stored catalog reads back");
    for (const PlayerInstrument &instrument : catalog.instruments)
        fuzz::require(catalog.instrument(instrument.id) == instrument, "an instrument is found by its id");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue value
        = document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
    if (const auto catalog = PlayerInstrumentCatalog::parse(value)) {
        check(*catalog);
        const QString search = catalog->instruments.last().label.left(3);
        for (const PlayerInstrument &instrument : catalog->instruments)
            instrument.matchesSearch(search);
    }
    // The settings' stored form is read leniently, whatever it holds.
    if (document.isObject())
        PlayerInstrumentCatalog::mergingBuiltIns(PlayerInstrumentCatalog::fromJson(document.object()));
    return 0;
}
