// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShowFixtures.h"

#include "show/PlayerInstrumentCatalog.h"

#include <QSet>
#include <QTest>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

using Groups = QList<PlayerInstrumentGroup>;
using Instruments = QList<PlayerInstrument>;

const PlayerInstrumentCatalog &builtIn()
{
    return PlayerInstrumentCatalog::builtIn();
}

QList<PlayerInstrument> instrumentsOfGroup(const QString &groupID)
{
    QList<PlayerInstrument> found;
    for (const PlayerInstrument &instrument : builtIn().instruments) {
        if (instrument.groupID == groupID)
            found.append(instrument);
    }
    return found;
}

QJsonArray manyObjects(qsizetype count, const QString &idPrefix)
{
    QJsonArray array;
    for (qsizetype i = 0; i < count; ++i)
        array.append(QJsonObject {{"id"_L1, idPrefix + QString::number(i)}});
    return array;
}

// A Host catalog with one custom group and two custom instruments.
const char *const showJson = R"({"catalogID": "show-7",
    "groups": [{"id": "custom:group.toys", "label": "Toys", "order": 20}],
    "customInstruments": [
        {"id": "custom:kazoo", "label": "Kazoo", "groupID": "custom:group.toys", "aliases": ["Mirliton"]},
        {"id": "custom:bell", "label": "Bicycle Bell"}]})";

PlayerInstrumentCatalog showCatalog()
{
    return *PlayerInstrumentCatalog::parse(object(showJson));
}

} // namespace

class InstrumentCatalogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void builtInHasTenGroupsAndHundredFiftySixInstruments()
    {
        QCOMPARE(builtIn().catalogID, u"builtin-v1"_s);
        QSet<QString> ids;
        for (const PlayerInstrument &instrument : builtIn().instruments) {
            QVERIFY(instrument.id.startsWith("builtin:"_L1) && !instrument.custom);
            ids.insert(instrument.id);
        }
        QCOMPARE(builtIn().instruments.size(), 156);
        QCOMPARE(ids.size(), 156);

        // Each group's instruments come together, the groups in their order.
        const auto bare = [](QString id) { return id.remove("builtin:"_L1); };
        QList<PlayerInstrument> byGroup;
        QStringList groups;
        for (qsizetype order = 0; order < builtIn().groups.size(); ++order) {
            const PlayerInstrumentGroup &group = builtIn().groups[order];
            QCOMPARE(group.order, order);
            const QList<PlayerInstrument> members = instrumentsOfGroup(group.id);
            byGroup += members;
            groups << u"%1 %2: %3, %4 … %5"_s.arg(bare(group.id), group.label)
                          .arg(members.size())
                          .arg(bare(members.first().id), bare(members.last().id));
        }
        QCOMPARE(byGroup, builtIn().instruments);
        QCOMPARE(groups,
            (QStringList {u"group.voice Voice: 10, vocal … spoken-voice"_s,
                u"group.woodwind Woodwinds: 33, piccolo … tin-whistle"_s,
                u"group.brass Brass: 18, trumpet … cimbasso"_s,
                u"group.strings Strings: 9, violin … electric-double-bass"_s,
                u"group.guitar Guitars & Plucked Strings: 16, acoustic-guitar … chapman-stick"_s,
                u"group.keys Keyboards & Free Reeds: 16, piano … harmonica"_s,
                u"group.percussion Percussion: 30, drum-set … marching-percussion"_s,
                u"group.electronic-playback Electronic & Playback: 11, ewi … midi-controller"_s,
                u"group.world-folk World & Folk: 12, bagpipes … kora"_s,
                u"group.other Other: 1, other … other"_s}));
    }

    void builtInLabelsAndAliasesKeepTheirCharacters_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("aliases");
        QTest::newRow("apostrophes") << u"builtin:oboe-damore"_s << u"Oboe d'amore"_s
                                     << QStringList {u"Oboe d\u2019amore"_s};
        QTest::newRow("flat") << u"builtin:clarinet-e-flat"_s << u"E-flat Clarinet"_s
                              << QStringList {u"E\u266D Clarinet"_s, u"Eb Clarinet"_s};
        QTest::newRow("three aliases")
            << u"builtin:clarinet-b-flat"_s << u"B-flat Clarinet"_s
            << QStringList {u"B\u266D Clarinet"_s, u"Bb Clarinet"_s, u"Clarinet"_s};
        QTest::newRow("umlaut") << u"builtin:flugelhorn"_s << u"Flugelhorn"_s
                                << QStringList {u"Fl\u00FCgelhorn"_s};
        QTest::newRow("acute") << u"builtin:cajon"_s << u"Caj\u00F3n"_s << QStringList {u"Cajon"_s};
    }

    void builtInLabelsAndAliasesKeepTheirCharacters()
    {
        QFETCH(QString, id);
        QFETCH(QString, label);
        QFETCH(QStringList, aliases);
        const auto instrument = builtIn().instrument(id);
        QVERIFY(instrument);
        QCOMPARE(instrument->label, label);
        QCOMPARE(instrument->aliases, aliases);
    }

    void lookupsMissReturnNothing()
    {
        QVERIFY(!builtIn().instrument(u"builtin:kazoo"_s));
        QVERIFY(!builtIn().instrument(u"Violin"_s));
        QCOMPARE(builtIn().group(u"builtin:group.brass"_s)->label, u"Brass"_s);
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
        const auto catalog = PlayerInstrumentCatalog::parse(object(json.constData()));
        QVERIFY(catalog);
        QCOMPARE(catalog->groups, builtIn().groups + groups);
        QCOMPARE(catalog->instruments, builtIn().instruments + instruments);
    }

    void catalogID_data()
    {
        QTest::addColumn<QString>("json");
        QTest::addColumn<QString>("catalogID");
        QTest::newRow("missing") << u"{}"_s << u"builtin-v1"_s;
        QTest::newRow("empty") << uR"({"catalogID": ""})"_s << u"builtin-v1"_s;
        QTest::newRow("blank") << uR"({"catalogID": " \n\t"})"_s << u"builtin-v1"_s;
        QTest::newRow("number") << uR"({"catalogID": 7})"_s << u"builtin-v1"_s;
        QTest::newRow("padded") << uR"({"catalogID": "  show-7 "})"_s << u"show-7"_s;
    }

    void catalogID()
    {
        QFETCH(QString, json);
        QFETCH(QString, catalogID);
        const QJsonObject stored = object(json.toUtf8().constData());
        QCOMPARE(PlayerInstrumentCatalog::parse(stored)->catalogID, catalogID);
        QCOMPARE(PlayerInstrumentCatalog::fromJson(stored).catalogID, catalogID);
    }

    void withoutACatalogTheBuiltInsStand()
    {
        QCOMPARE(PlayerInstrumentCatalog::mergingBuiltIns(std::nullopt), builtIn());
        for (const QJsonValue &value : {QJsonValue(), QJsonValue(QJsonArray {}), QJsonValue(u"builtin-v1"_s),
                 QJsonValue(3), QJsonValue(true)})
            QVERIFY(!PlayerInstrumentCatalog::parse(value));
    }

    void hugeListsAreCut()
    {
        const qsizetype huge = 3 * PlayerInstrumentCatalog::maxInstruments;
        QJsonArray aliases;
        for (qsizetype i = 0; i < huge; ++i)
            aliases.append(QString::number(i));
        QJsonArray instruments = manyObjects(huge, u"custom:i"_s);
        QJsonObject first = instruments[0].toObject();
        first.insert("aliases"_L1, aliases);
        instruments[0] = first;
        const auto catalog = PlayerInstrumentCatalog::parse(QJsonObject {
            {"groups"_L1, manyObjects(huge, u"custom:g"_s)}, {"customInstruments"_L1, instruments}});
        QCOMPARE(catalog->groups.size(), 10 + PlayerInstrumentCatalog::maxGroups);
        QCOMPARE(catalog->instruments.size(), 156 + PlayerInstrumentCatalog::maxInstruments);
        QCOMPARE(catalog->instruments[156].aliases.size(), PlayerInstrumentCatalog::maxAliases);
        QCOMPARE(PlayerInstrumentCatalog::fromJson(catalog->toJson()), *catalog);
    }

    void storedFormKeepsOnlyWhatIsNotBuiltIn()
    {
        const PlayerInstrumentCatalog catalog = showCatalog();
        const PlayerInstrumentCatalog overlay = catalog.customOverlay();
        QCOMPARE(overlay,
            (PlayerInstrumentCatalog {u"show-7"_s, catalog.groups.mid(10), catalog.instruments.mid(156)}));
        QCOMPARE(builtIn().customOverlay(), (PlayerInstrumentCatalog {u"builtin-v1"_s, {}, {}}));
        const auto stored = json::parseObject(json::compact(overlay.toJson()));
        QVERIFY(stored);
        QCOMPARE(
            PlayerInstrumentCatalog::mergingBuiltIns(PlayerInstrumentCatalog::fromJson(*stored)), catalog);

        const QJsonObject json = catalog.toJson();
        QCOMPARE(json.keys(), (QStringList {u"catalogID"_s, u"groups"_s, u"instruments"_s}));
        QCOMPARE(json["groups"_L1][0].toObject(),
            object(R"({"id": "builtin:group.voice", "label": "Voice", "order": 0})"));
        QCOMPARE(json["instruments"_L1][156].toObject(), object(R"({"id": "custom:kazoo", "label": "Kazoo",
            "groupID": "custom:group.toys", "aliases": ["Mirliton"], "custom": true})"));
        QCOMPARE(PlayerInstrumentCatalog::fromJson(json), catalog);
    }

    void storedFormWithWrongTypesReadsAsEmpty()
    {
        const PlayerInstrumentCatalog catalog = PlayerInstrumentCatalog::fromJson(
            object(R"({"catalogID": [], "groups": "x", "instruments": {}})"));
        QCOMPARE(catalog, (PlayerInstrumentCatalog {u"builtin-v1"_s, {}, {}}));
        QCOMPARE(PlayerInstrumentCatalog::mergingBuiltIns(catalog), builtIn());
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
