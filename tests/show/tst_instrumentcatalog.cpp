// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "show/PlayerInstrumentCatalog.h"
#include "support/Json.h"

#include <QJsonArray>
#include <QSet>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

using Catalog = PlayerInstrumentCatalog;
using Groups = QList<PlayerInstrumentGroup>;
using Instruments = QList<PlayerInstrument>;

const Catalog &builtIn = Catalog::builtIn();

const char *const showJson = R"({"catalogID": "show-7",
    "groups": [{"id": "custom:group.toys", "label": "Toys", "order": 20}],
    "customInstruments": [
        {"id": "custom:kazoo", "label": "Kazoo", "groupID": "custom:group.toys", "aliases": ["Mirliton"]},
        {"id": "custom:bell", "label": "Bicycle Bell"}]})";

} // namespace

class InstrumentCatalogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each group's instruments come together, the groups in their order; ids are unique and built in.
    void builtInIsGroupedAndUnique()
    {
        QStringList groupRuns;
        QSet<QString> ids;
        for (const PlayerInstrument &instrument : builtIn.instruments) {
            QVERIFY(instrument.id.startsWith("builtin:"_L1) && !instrument.custom);
            QCOMPARE(builtIn.instrument(instrument.id), instrument);
            ids.insert(instrument.id);
            if (groupRuns.isEmpty() || groupRuns.last() != instrument.groupID)
                groupRuns.append(instrument.groupID);
        }
        QCOMPARE(ids.size(), builtIn.instruments.size());
        QStringList groups;
        for (const PlayerInstrumentGroup &group : builtIn.groups) {
            QCOMPARE(group.order, groups.size());
            QCOMPARE(builtIn.group(group.id), group);
            groups.append(group.id);
        }
        QCOMPARE(groupRuns, groups);
        QVERIFY(!builtIn.instrument(u"builtin:kazoo"_s) && !builtIn.instrument(u"Violin"_s));
        QVERIFY(!builtIn.group(u"builtin:brass"_s));
    }

    // The Host adds groups and custom instruments after the built-ins, never in their place.
    void hostEntries()
    {
        const auto plain = [](const QString &id, bool custom = true) {
            return PlayerInstrument {id, id, {}, {}, custom};
        };
        const QList<std::tuple<const char *, Groups, Instruments>> cases {{"{}", {}, {}},
            {showJson, {{u"custom:group.toys"_s, u"Toys"_s, 20}},
                {{u"custom:kazoo"_s, u"Kazoo"_s, u"custom:group.toys"_s, {u"Mirliton"_s}, true},
                    {u"custom:bell"_s, u"Bicycle Bell"_s, {}, {}, true}}},
            // Built-ins are not redefined.
            {R"({"groups": [{"id": "builtin:group.strings", "label": "Bowed", "order": -1}],
                "instruments": [{"id": "builtin:violin", "label": "Fiddle", "groupID": "x", "custom": true}]})",
                {}, {}},
            {R"({"instruments": [{"id": "kazoo"}, {"id": "builtin:kazoo"}, {"id": "custom:kazoo", "custom": true},
                {"id": "custom:bell", "custom": "yes"}]})",
                {}, {plain(u"custom:kazoo"_s), plain(u"custom:bell"_s, false)}},
            // The custom list wins over the plain one, unless it is not a list.
            {R"({"customInstruments": [{"id": "custom:a"}], "instruments": [{"id": "custom:b"}]})", {},
                {plain(u"custom:a"_s)}},
            {R"({"customInstruments": {"id": "custom:a"}, "instruments": [{"id": "custom:b"}]})", {},
                {plain(u"custom:b"_s, false)}},
            // Read leniently.
            {R"({"groups": [7, {"label": "no id"}, {"id": "  "}, {"id": " custom:g1 ", "label": " One ", "order": 5},
                {"id": "custom:g1", "label": "again", "order": 1}, {"id": "custom:g2", "label": "  ", "order": "2"},
                {"id": "custom:g3", "order": 2.5}, {"id": "custom:g4", "order": 1}],
                "customInstruments": ["custom:x", {"id": 3}, {"id": " custom:a ", "label": 4, "groupID": " custom:g1 ",
                "aliases": ["A", 1, "A", "a", null]}, {"id": "custom:a", "label": "second"},
                {"id": "custom:b", "aliases": "B"}]})",
                {{u"custom:g2"_s, u"custom:g2"_s, 0}, {u"custom:g3"_s, u"custom:g3"_s, 0},
                    {u"custom:g4"_s, u"custom:g4"_s, 1}, {u"custom:g1"_s, u"One"_s, 5}},
                {{u"custom:a"_s, u"custom:a"_s, u"custom:g1"_s, {u"A"_s, u"a"_s}, true},
                    plain(u"custom:b"_s)}}};
        for (const auto &[json, groups, instruments] : cases) {
            const auto catalog = Catalog::parse(object(json));
            QVERIFY(catalog);
            QCOMPARE(catalog->groups, builtIn.groups + groups);
            QCOMPARE(catalog->instruments, builtIn.instruments + instruments);
        }
    }

    void withoutAUsableCatalogTheBuiltInsStand()
    {
        const QList<std::pair<const char *, QString>> ids {{"{}", u"builtin-v1"_s},
            {R"({"catalogID": " \n\t"})", u"builtin-v1"_s}, {R"({"catalogID": 7})", u"builtin-v1"_s},
            {R"({"catalogID": "  show-7 "})", u"show-7"_s}};
        for (const auto &[json, id] : ids) {
            QCOMPARE(Catalog::parse(object(json))->catalogID, id);
            QCOMPARE(Catalog::fromJson(object(json)).catalogID, id);
        }
        QCOMPARE(Catalog::mergingBuiltIns(std::nullopt), builtIn);
        for (const QJsonValue &value : {QJsonValue(), QJsonValue(QJsonArray {}), QJsonValue(u"builtin-v1"_s)})
            QVERIFY(!Catalog::parse(value));
        const Catalog wrongTypes
            = Catalog::fromJson(object(R"({"catalogID": [], "groups": "x", "instruments": {}})"));
        QCOMPARE(wrongTypes, (Catalog {u"builtin-v1"_s, {}, {}}));
        QCOMPARE(Catalog::mergingBuiltIns(wrongTypes), builtIn);
    }

    void storedFormKeepsOnlyWhatIsNotBuiltIn()
    {
        const Catalog catalog = *Catalog::parse(object(showJson));
        const Catalog overlay = catalog.customOverlay();
        QCOMPARE(overlay,
            (Catalog {u"show-7"_s, catalog.groups.mid(builtIn.groups.size()),
                catalog.instruments.mid(builtIn.instruments.size())}));
        QCOMPARE(builtIn.customOverlay(), (Catalog {u"builtin-v1"_s, {}, {}}));
        const auto stored = json::parseObject(json::compact(overlay.toJson()));
        QVERIFY(stored);
        QCOMPARE(Catalog::mergingBuiltIns(Catalog::fromJson(*stored)), catalog);
        QCOMPARE(Catalog::fromJson(catalog.toJson()), catalog);
    }

    void hugeListsAreCut()
    {
        const qsizetype huge = 3 * Catalog::maxInstruments;
        QJsonArray groups, instruments, aliases;
        for (qsizetype i = 0; i < huge; ++i) {
            groups.append(QJsonObject {{"id"_L1, u"custom:g%1"_s.arg(i)}});
            instruments.append(QJsonObject {{"id"_L1, u"custom:i%1"_s.arg(i)}});
            aliases.append(QString::number(i));
        }
        instruments[0] = QJsonObject {{"id"_L1, u"custom:i0"_s}, {"aliases"_L1, aliases}};
        const auto catalog
            = Catalog::parse(QJsonObject {{"groups"_L1, groups}, {"customInstruments"_L1, instruments}});
        const qsizetype builtIns = builtIn.instruments.size();
        QCOMPARE(std::tuple(catalog->groups.size(), catalog->instruments.size(),
                     catalog->instruments[builtIns].aliases.size()),
            std::tuple(builtIn.groups.size() + Catalog::maxGroups, builtIns + Catalog::maxInstruments,
                Catalog::maxAliases));
    }

    void search()
    {
        const QList<std::tuple<QString, QString, bool>> cases {{u"builtin:cello"_s, u" \n"_s, true},
            {u"builtin:cello"_s, u"CELL"_s, true}, {u"builtin:cello"_s, u"  violoncello\n"_s, true},
            {u"builtin:cello"_s, u"builtin:ce"_s, true}, {u"builtin:clarinet-b-flat"_s, u"b\u266D"_s, true},
            {u"builtin:cello"_s, u"tuba"_s, false}};
        for (const auto &[id, search, found] : cases)
            QCOMPARE(builtIn.instrument(id)->matchesSearch(search), found);
    }
};

QTEST_GUILESS_MAIN(InstrumentCatalogTest)
#include "tst_instrumentcatalog.moc"
