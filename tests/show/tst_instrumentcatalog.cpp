#include "ShowFixtures.h"

#include "show/PlayerInstrumentCatalog.h"

#include <QSet>
#include <QTest>
#include <QVariant>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

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

// A Host catalog with one custom group and two custom instruments, merged.
PlayerInstrumentCatalog showCatalog()
{
    return *PlayerInstrumentCatalog::parse(object(R"({"catalogID": "show-7",
        "groups": [{"id": "custom:group.toys", "label": "Toys", "order": 20}],
        "customInstruments": [
            {"id": "custom:kazoo", "label": "Kazoo", "groupID": "custom:group.toys", "aliases": ["Mirliton"]},
            {"id": "custom:bell", "label": "Bicycle Bell"}]})"));
}

} // namespace

class InstrumentCatalogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void builtInHasTenGroupsAndHundredFiftySixInstruments()
    {
        QCOMPARE(builtIn().catalogID, u"builtin-v1"_s);
        QCOMPARE(builtIn().groups.size(), 10);
        QCOMPARE(builtIn().instruments.size(), 156);
        QSet<QString> ids;
        int previousOrder = 0;
        for (const PlayerInstrument &instrument : builtIn().instruments) {
            QVERIFY(instrument.id.startsWith("builtin:"_L1));
            QVERIFY(!instrument.custom);
            ids.insert(instrument.id);
            // Each group's instruments come together, the groups in their order.
            const auto group = builtIn().group(instrument.groupID);
            QVERIFY(group);
            QVERIFY(group->order >= previousOrder);
            previousOrder = group->order;
        }
        QCOMPARE(ids.size(), 156);
        for (qsizetype i = 0; i < builtIn().groups.size(); ++i)
            QCOMPARE(builtIn().groups[i].order, i);
        QCOMPARE(&PlayerInstrumentCatalog::builtIn(), &builtIn());
    }

    void builtInGroups_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("groupID");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("lastLabel");
        QTest::newRow("voice") << 0 << u"builtin:group.voice"_s << u"Voice"_s << 10 << u"builtin:vocal"_s
                               << u"builtin:spoken-voice"_s << u"Spoken Voice"_s;
        QTest::newRow("woodwind") << 1 << u"builtin:group.woodwind"_s << u"Woodwinds"_s << 33
                                  << u"builtin:piccolo"_s << u"builtin:tin-whistle"_s << u"Tin Whistle"_s;
        QTest::newRow("brass") << 2 << u"builtin:group.brass"_s << u"Brass"_s << 18 << u"builtin:trumpet"_s
                               << u"builtin:cimbasso"_s << u"Cimbasso"_s;
        QTest::newRow("strings") << 3 << u"builtin:group.strings"_s << u"Strings"_s << 9
                                 << u"builtin:violin"_s << u"builtin:electric-double-bass"_s
                                 << u"Electric Upright Bass"_s;
        QTest::newRow("guitar") << 4 << u"builtin:group.guitar"_s << u"Guitars & Plucked Strings"_s << 16
                                << u"builtin:acoustic-guitar"_s << u"builtin:chapman-stick"_s
                                << u"Chapman Stick"_s;
        QTest::newRow("keys") << 5 << u"builtin:group.keys"_s << u"Keyboards & Free Reeds"_s << 16
                              << u"builtin:piano"_s << u"builtin:harmonica"_s << u"Harmonica"_s;
        QTest::newRow("percussion") << 6 << u"builtin:group.percussion"_s << u"Percussion"_s << 30
                                    << u"builtin:drum-set"_s << u"builtin:marching-percussion"_s
                                    << u"Marching Percussion"_s;
        QTest::newRow("electronic") << 7 << u"builtin:group.electronic-playback"_s
                                    << u"Electronic & Playback"_s << 11 << u"builtin:ewi"_s
                                    << u"builtin:midi-controller"_s << u"MIDI Controller"_s;
        QTest::newRow("world") << 8 << u"builtin:group.world-folk"_s << u"World & Folk"_s << 12
                               << u"builtin:bagpipes"_s << u"builtin:kora"_s << u"Kora"_s;
        QTest::newRow("other") << 9 << u"builtin:group.other"_s << u"Other"_s << 1 << u"builtin:other"_s
                               << u"builtin:other"_s << u"Other Instrument"_s;
    }

    void builtInGroups()
    {
        QFETCH(int, order);
        QFETCH(QString, groupID);
        QFETCH(QString, label);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, lastLabel);
        QCOMPARE(builtIn().groups[order], (PlayerInstrumentGroup {groupID, label, order}));
        const QList<PlayerInstrument> members = instrumentsOfGroup(groupID);
        QCOMPARE(members.size(), count);
        QCOMPARE(members.first().id, first);
        QCOMPARE(members.last().id, last);
        QCOMPARE(members.last().label, lastLabel);
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
        QTest::newRow("no aliases") << u"builtin:sousaphone"_s << u"Sousaphone"_s << QStringList {};
        QTest::newRow("bass voice") << u"builtin:bass-voice"_s << u"Bass"_s << QStringList {u"Bass Voice"_s};
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

    void hostCannotRedefineBuiltIns()
    {
        const auto catalog = PlayerInstrumentCatalog::parse(object(R"({
            "groups": [{"id": "builtin:group.strings", "label": "Bowed", "order": -1}],
            "instruments": [{"id": "builtin:violin", "label": "Fiddle", "groupID": "x", "custom": true}]})"));
        QVERIFY(catalog);
        QCOMPARE(catalog->groups, builtIn().groups);
        QCOMPARE(catalog->instruments, builtIn().instruments);
        QCOMPARE(catalog->instrument(u"builtin:violin"_s)->label, u"Violin"_s);
    }

    void hostCustomInstrumentsFollowTheBuiltIns()
    {
        const PlayerInstrumentCatalog catalog = showCatalog();
        QCOMPARE(catalog.catalogID, u"show-7"_s);
        QCOMPARE(catalog.instruments.size(), 158);
        QCOMPARE(catalog.instruments.mid(0, 156), builtIn().instruments);
        QCOMPARE(catalog.instruments[156],
            (PlayerInstrument {
                u"custom:kazoo"_s, u"Kazoo"_s, u"custom:group.toys"_s, {u"Mirliton"_s}, true}));
        QCOMPARE(
            catalog.instruments[157], (PlayerInstrument {u"custom:bell"_s, u"Bicycle Bell"_s, {}, {}, true}));
        QCOMPARE(catalog.groups.size(), 11);
        QCOMPARE(catalog.groups.last(), (PlayerInstrumentGroup {u"custom:group.toys"_s, u"Toys"_s, 20}));
    }

    void onlyCustomPrefixedHostInstrumentsAreAdded()
    {
        const auto catalog = PlayerInstrumentCatalog::parse(object(R"({"instruments": [
            {"id": "kazoo"}, {"id": "builtin:kazoo"}, {"id": "custom:kazoo", "custom": true},
            {"id": "custom:bell", "custom": "yes"}]})"));
        QCOMPARE(catalog->instruments.size(), 158);
        QCOMPARE(catalog->instruments[156].id, u"custom:kazoo"_s);
        QVERIFY(catalog->instruments[156].custom);
        QCOMPARE(catalog->instruments[157].id, u"custom:bell"_s);
        QVERIFY(!catalog->instruments[157].custom);
    }

    void customInstrumentsListWinsOverInstruments()
    {
        const auto both = PlayerInstrumentCatalog::parse(object(R"({
            "customInstruments": [{"id": "custom:a"}], "instruments": [{"id": "custom:b"}]})"));
        QCOMPARE(both->instruments.size(), 157);
        QCOMPARE(both->instruments.last(), (PlayerInstrument {u"custom:a"_s, u"custom:a"_s, {}, {}, true}));
        const auto notAList = PlayerInstrumentCatalog::parse(object(R"({
            "customInstruments": {"id": "custom:a"}, "instruments": [{"id": "custom:b"}]})"));
        QCOMPARE(notAList->instruments.last().id, u"custom:b"_s);
        QVERIFY(!notAList->instruments.last().custom);
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
        QCOMPARE(PlayerInstrumentCatalog::parse(QJsonObject {}), builtIn());
        for (const QJsonValue &value : {QJsonValue(), QJsonValue(QJsonArray {}), QJsonValue(u"builtin-v1"_s),
                 QJsonValue(3), QJsonValue(true)})
            QVERIFY(!PlayerInstrumentCatalog::parse(value));
    }

    void hostEntriesAreReadLeniently()
    {
        const auto catalog = PlayerInstrumentCatalog::parse(object(R"({
            "groups": [7, {"label": "no id"}, {"id": "  "}, {"id": " custom:g1 ", "label": " One ", "order": 5},
                       {"id": "custom:g1", "label": "again", "order": 1}, {"id": "custom:g2", "label": "  ",
                       "order": "2"}, {"id": "custom:g3", "order": 2.5}, {"id": "custom:g4", "order": 1}],
            "customInstruments": ["custom:x", {"id": 3}, {"id": " custom:a ", "label": 4, "groupID": " custom:g1 ",
                "aliases": ["A", 1, "A", "a", null]}, {"id": "custom:a", "label": "second"},
                {"id": "custom:b", "aliases": "B"}]})"));
        QCOMPARE(catalog->groups.mid(10),
            (QList<PlayerInstrumentGroup> {{u"custom:g2"_s, u"custom:g2"_s, 0},
                {u"custom:g3"_s, u"custom:g3"_s, 0}, {u"custom:g4"_s, u"custom:g4"_s, 1},
                {u"custom:g1"_s, u"One"_s, 5}}));
        QCOMPARE(catalog->instruments.mid(156),
            (QList<PlayerInstrument> {{u"custom:a"_s, u"custom:a"_s, u"custom:g1"_s, {u"A"_s, u"a"_s}, true},
                {u"custom:b"_s, u"custom:b"_s, {}, {}, true}}));
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

    void customOverlayKeepsOnlyWhatIsNotBuiltIn()
    {
        const PlayerInstrumentCatalog catalog = showCatalog();
        const PlayerInstrumentCatalog overlay = catalog.customOverlay();
        QCOMPARE(overlay.catalogID, u"show-7"_s);
        QCOMPARE(overlay.groups, catalog.groups.mid(10));
        QCOMPARE(overlay.instruments, catalog.instruments.mid(156));
        QCOMPARE(builtIn().customOverlay(), (PlayerInstrumentCatalog {u"builtin-v1"_s, {}, {}}));
        QCOMPARE(PlayerInstrumentCatalog::mergingBuiltIns(overlay), catalog);
    }

    void jsonRoundTrip()
    {
        const PlayerInstrumentCatalog catalog = showCatalog();
        const QJsonObject json = catalog.toJson();
        QCOMPARE(json.keys(), (QStringList {u"catalogID"_s, u"groups"_s, u"instruments"_s}));
        QCOMPARE(json["groups"_L1][0].toObject(),
            object(R"({"id": "builtin:group.voice", "label": "Voice", "order": 0})"));
        QCOMPARE(json["instruments"_L1][156].toObject(), object(R"({"id": "custom:kazoo", "label": "Kazoo",
            "groupID": "custom:group.toys", "aliases": ["Mirliton"], "custom": true})"));
        const auto bytes = json::parseObject(json::compact(catalog.customOverlay().toJson()));
        QVERIFY(bytes);
        QCOMPARE(
            PlayerInstrumentCatalog::mergingBuiltIns(PlayerInstrumentCatalog::fromJson(*bytes)), catalog);
        QCOMPARE(PlayerInstrumentCatalog::fromJson(json), catalog);
        QCOMPARE(PlayerInstrumentCatalog::fromJson(builtIn().toJson()), builtIn());
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

    void catalogTravelsInAVariant()
    {
        const QVariant variant = QVariant::fromValue(showCatalog());
        QCOMPARE(variant.value<PlayerInstrumentCatalog>(), showCatalog());
    }
};

QTEST_GUILESS_MAIN(InstrumentCatalogTest)
#include "tst_instrumentcatalog.moc"
