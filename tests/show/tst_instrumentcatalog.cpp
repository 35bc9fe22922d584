// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "show/PlayerInstrumentCatalog.h"
#include "support/Json.h"

#include <QJsonArray>
#include <QSet>

#include <algorithm>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

using Catalog = PlayerInstrumentCatalog;
using Groups = QList<PlayerInstrumentGroup>;
using Instruments = QList<PlayerInstrument>;

const Catalog &builtIn()
{
    return Catalog::builtIn();
}

QJsonArray manyObjects(qsizetype count, const QString &idPrefix)
{
    QJsonArray array;
    for (qsizetype i = 0; i < count; ++i)
        array.append(QJsonObject {{"id"_L1, idPrefix + QString::number(i)}});
    return array;
}

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
        QCOMPARE(builtIn().catalogID, u"builtin-v1"_s);
        Instruments byGroup;
        for (qsizetype order = 0; order < builtIn().groups.size(); ++order) {
            const PlayerInstrumentGroup &group = builtIn().groups[order];
            QCOMPARE(group.order, order);
            QCOMPARE(builtIn().group(group.id), group);
            const qsizetype before = byGroup.size();
            std::copy_if(builtIn().instruments.cbegin(), builtIn().instruments.cend(),
                std::back_inserter(byGroup),
                [&group](const PlayerInstrument &instrument) { return instrument.groupID == group.id; });
            QVERIFY(byGroup.size() > before);
        }
        QCOMPARE(byGroup, builtIn().instruments);
        QSet<QString> ids;
        for (const PlayerInstrument &instrument : builtIn().instruments) {
            QVERIFY(instrument.id.startsWith("builtin:"_L1) && !instrument.custom);
            ids.insert(instrument.id);
        }
        QCOMPARE(ids.size(), builtIn().instruments.size());
        QCOMPARE(builtIn().instrument(u"builtin:cajon"_s)->label, u"Caj\u00F3n"_s);
        QVERIFY(!builtIn().instrument(u"builtin:kazoo"_s));
        QVERIFY(!builtIn().instrument(u"Violin"_s));
        QVERIFY(!builtIn().group(u"builtin:brass"_s));
    }

    // The Host adds groups and custom instruments after the built-ins, never in their place.
    void hostEntries_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<Groups>("groups");
        QTest::addColumn<Instruments>("instruments");
        const auto plain = [](const QString &id, bool custom = true) {
            return PlayerInstrument {id, id, {}, {}, custom};
        };
        QTest::newRow("none") << QByteArray("{}") << Groups {} << Instruments {};
        QTest::newRow("show catalog")
            << QByteArray(showJson) << Groups {{u"custom:group.toys"_s, u"Toys"_s, 20}}
            << Instruments {{u"custom:kazoo"_s, u"Kazoo"_s, u"custom:group.toys"_s, {u"Mirliton"_s}, true},
                   {u"custom:bell"_s, u"Bicycle Bell"_s, {}, {}, true}};
        QTest::newRow("built-ins redefined") << QByteArray(R"({
            "groups": [{"id": "builtin:group.strings", "label": "Bowed", "order": -1}],
            "instruments": [{"id": "builtin:violin", "label": "Fiddle", "groupID": "x", "custom": true}]})")
                                             << Groups {} << Instruments {};
        QTest::newRow("only custom-prefixed")
            << QByteArray(R"({"instruments": [{"id": "kazoo"},
            {"id": "builtin:kazoo"}, {"id": "custom:kazoo", "custom": true}, {"id": "custom:bell", "custom": "yes"}]})")
            << Groups {} << Instruments {plain(u"custom:kazoo"_s), plain(u"custom:bell"_s, false)};
        QTest::newRow("custom list wins") << QByteArray(
            R"({"customInstruments": [{"id": "custom:a"}], "instruments": [{"id": "custom:b"}]})")
                                          << Groups {} << Instruments {plain(u"custom:a"_s)};
        QTest::newRow("custom list not a list")
            << QByteArray(R"({"customInstruments": {"id": "custom:a"}, "instruments": [{"id": "custom:b"}]})")
            << Groups {} << Instruments {plain(u"custom:b"_s, false)};
        QTest::newRow("read leniently")
            << QByteArray(R"({
            "groups": [7, {"label": "no id"}, {"id": "  "}, {"id": " custom:g1 ", "label": " One ", "order": 5},
                       {"id": "custom:g1", "label": "again", "order": 1}, {"id": "custom:g2", "label": "  ",
                       "order": "2"}, {"id": "custom:g3", "order": 2.5}, {"id": "custom:g4", "order": 1}],
            "customInstruments": ["custom:x", {"id": 3}, {"id": " custom:a ", "label": 4, "groupID": " custom:g1 ",
                "aliases": ["A", 1, "A", "a", null]}, {"id": "custom:a", "label": "second"},
                {"id": "custom:b", "aliases": "B"}]})")
            << Groups {{u"custom:g2"_s, u"custom:g2"_s, 0}, {u"custom:g3"_s, u"custom:g3"_s, 0},
                   {u"custom:g4"_s, u"custom:g4"_s, 1}, {u"custom:g1"_s, u"One"_s, 5}}
            << Instruments {{u"custom:a"_s, u"custom:a"_s, u"custom:g1"_s, {u"A"_s, u"a"_s}, true},
                   plain(u"custom:b"_s)};
    }

    void hostEntries()
    {
        QFETCH(QByteArray, json);
        QFETCH(Groups, groups);
        QFETCH(Instruments, instruments);
        const auto catalog = Catalog::parse(object(json.constData()));
        QVERIFY(catalog);
        QCOMPARE(catalog->groups, builtIn().groups + groups);
        QCOMPARE(catalog->instruments, builtIn().instruments + instruments);
    }

    void catalogIDIsTrimmedOrBuiltIn()
    {
        const QList<std::pair<const char *, QString>> cases {{"{}", u"builtin-v1"_s},
            {R"({"catalogID": " \n\t"})", u"builtin-v1"_s}, {R"({"catalogID": 7})", u"builtin-v1"_s},
            {R"({"catalogID": "  show-7 "})", u"show-7"_s}};
        for (const auto &[json, id] : cases) {
            QCOMPARE(Catalog::parse(object(json))->catalogID, id);
            QCOMPARE(Catalog::fromJson(object(json)).catalogID, id);
        }
    }

    void withoutACatalogTheBuiltInsStand()
    {
        QCOMPARE(Catalog::mergingBuiltIns(std::nullopt), builtIn());
        for (const QJsonValue &value : {QJsonValue(), QJsonValue(QJsonArray {}), QJsonValue(u"builtin-v1"_s)})
            QVERIFY(!Catalog::parse(value));
        const Catalog wrongTypes
            = Catalog::fromJson(object(R"({"catalogID": [], "groups": "x", "instruments": {}})"));
        QCOMPARE(wrongTypes, (Catalog {u"builtin-v1"_s, {}, {}}));
        QCOMPARE(Catalog::mergingBuiltIns(wrongTypes), builtIn());
    }

    void hugeListsAreCut()
    {
        const qsizetype huge = 3 * Catalog::maxInstruments;
        QJsonArray aliases;
        for (qsizetype i = 0; i < huge; ++i)
            aliases.append(QString::number(i));
        QJsonArray instruments = manyObjects(huge, u"custom:i"_s);
        QJsonObject first = instruments[0].toObject();
        first.insert("aliases"_L1, aliases);
        instruments[0] = first;
        const auto catalog = Catalog::parse(QJsonObject {
            {"groups"_L1, manyObjects(huge, u"custom:g"_s)}, {"customInstruments"_L1, instruments}});
        const qsizetype builtIns = builtIn().instruments.size();
        QCOMPARE(catalog->groups.size(), builtIn().groups.size() + Catalog::maxGroups);
        QCOMPARE(catalog->instruments.size(), builtIns + Catalog::maxInstruments);
        QCOMPARE(catalog->instruments[builtIns].aliases.size(), Catalog::maxAliases);
        QCOMPARE(Catalog::fromJson(catalog->toJson()), *catalog);
    }

    void storedFormKeepsOnlyWhatIsNotBuiltIn()
    {
        const Catalog catalog = *Catalog::parse(object(showJson));
        const Catalog overlay = catalog.customOverlay();
        const qsizetype builtIns = builtIn().instruments.size();
        QCOMPARE(overlay,
            (Catalog {u"show-7"_s, catalog.groups.mid(builtIn().groups.size()),
                catalog.instruments.mid(builtIns)}));
        QCOMPARE(builtIn().customOverlay(), (Catalog {u"builtin-v1"_s, {}, {}}));
        const auto stored = json::parseObject(json::compact(overlay.toJson()));
        QVERIFY(stored);
        QCOMPARE(Catalog::mergingBuiltIns(Catalog::fromJson(*stored)), catalog);

        const QJsonObject json = catalog.toJson();
        QCOMPARE(json["groups"_L1][0].toObject(),
            object(R"({"id": "builtin:group.voice", "label": "Voice", "order": 0})"));
        QCOMPARE(
            json["instruments"_L1][builtIns].toObject(), object(R"({"id": "custom:kazoo", "label": "Kazoo",
            "groupID": "custom:group.toys", "aliases": ["Mirliton"], "custom": true})"));
        QCOMPARE(Catalog::fromJson(json), catalog);
    }

    void search_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("found");
        QTest::newRow("empty") << u"builtin:cello"_s << u" \n"_s << true;
        QTest::newRow("label") << u"builtin:cello"_s << u"CELL"_s << true;
        QTest::newRow("alias, padded") << u"builtin:cello"_s << u"  violoncello\n"_s << true;
        QTest::newRow("id") << u"builtin:cello"_s << u"builtin:ce"_s << true;
        QTest::newRow("flat sign") << u"builtin:clarinet-b-flat"_s << u"b\u266D"_s << true;
        QTest::newRow("other instrument") << u"builtin:cello"_s << u"tuba"_s << false;
    }

    void search()
    {
        QFETCH(QString, id);
        QFETCH(QString, search);
        QFETCH(bool, found);
        QCOMPARE(builtIn().instrument(id)->matchesSearch(search), found);
    }
};

QTEST_GUILESS_MAIN(InstrumentCatalogTest)
#include "tst_instrumentcatalog.moc"
