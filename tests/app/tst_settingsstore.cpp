// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsStore.h"
#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

// Counts writes so tests can tell "nothing written" apart from "the same value written again".
class CountingDefaults : public MemoryDefaultsStore
{
public:
    void setValue(const QString &key, const QVariant &value) override
    {
        ++writes[key];
        MemoryDefaultsStore::setValue(key, value);
    }
    QHash<QString, int> writes;
};

} // namespace

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedValuesLoad()
    {
        CountingDefaults defaults;
        defaults.MemoryDefaultsStore::setValue(DefaultsKeys::pageLayout, u"3x2"_s);
        // A settings file read by a new process gives Booleans back as text.
        defaults.MemoryDefaultsStore::setValue(DefaultsKeys::pageSeparators, u"false"_s);
        defaults.MemoryDefaultsStore::setValue(DefaultsKeys::invert, u"true"_s);
        defaults.MemoryDefaultsStore::setValue(DefaultsKeys::privateAnnotationTool, u"crayon"_s);
        defaults.MemoryDefaultsStore::setValue(DefaultsKeys::privateAnnotationColor, u"green"_s);
        defaults.MemoryDefaultsStore::setValue(
            DefaultsKeys::partChoicesBySongKey, QVariantMap {{u"song"_s, 5}});
        SettingsStore settings(defaults);
        QCOMPARE(settings.pageLayout(), PageLayoutPreference::TwoRows);
        QVERIFY(!settings.pageSeparators());
        QVERIFY(settings.invert());
        QCOMPARE(settings.privateAnnotationTool(), PlayerPrivateAnnotationTool::Pen);
        QCOMPARE(settings.privateAnnotationColor(), PlayerPrivateAnnotationColor::Red);
        QVERIFY(settings.partChoicesBySongKey().isEmpty());
        // An older layout name is rewritten once, and the next start finds nothing to rewrite.
        QCOMPARE(defaults.value(DefaultsKeys::pageLayout).toString(), u"2-rows"_s);
        const SettingsStore again(defaults);
        QCOMPARE(defaults.writes.value(DefaultsKeys::pageLayout), 1);
    }

    // A change is written once; a repeat, a blank instrument or half a part choice not at all.
    void changesAreWrittenOnceAndReadBack()
    {
        CountingDefaults defaults;
        SettingsStore settings(defaults);
        QSignalSpy changed(&settings, &SettingsStore::myInstrumentIDsChanged);
        for (const QString &id : {u"  builtin:viola\n"_s, u"builtin:cello"_s, u"builtin:cello"_s, u"   "_s})
            settings.setInstrument(id, true);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(defaults.value(DefaultsKeys::myInstrumentIDs).toStringList(),
            (QStringList {u"builtin:cello"_s, u"builtin:viola"_s}));
        settings.setInstrument(u"builtin:viola"_s, false);
        for (const auto &[part, song] : {std::pair {u"violin"_s, QString()}, {QString(), u"song"_s},
                 {u"violin"_s, u"song"_s}, {u"violin"_s, u"song"_s}})
            settings.savePartChoice(part, song);
        settings.updateInstrumentCatalog(PlayerInstrumentCatalog::builtIn());
        const PlayerInstrumentCatalog host = *PlayerInstrumentCatalog::parse(QJsonObject {{"instruments"_L1,
            QJsonArray {QJsonObject {{"id"_L1, "custom:kazoo"_L1}, {"label"_L1, "Kazoo"_L1}}}}});
        settings.updateInstrumentCatalog(host);
        settings.updateInstrumentCatalog(host);
        QVERIFY(settings.instrumentCatalog().instrument(u"custom:kazoo"_s));
        QCOMPARE(defaults.writes,
            (QHash<QString, int> {{DefaultsKeys::pageLayout, 1}, {DefaultsKeys::myInstrumentIDs, 3},
                {DefaultsKeys::partChoicesBySongKey, 1}, {DefaultsKeys::lastInstrumentCatalog, 1}}));

        const SettingsStore reloaded(defaults);
        QCOMPARE(reloaded.myInstrumentIDs(), QSet<QString> {u"builtin:cello"_s});
        QCOMPARE(reloaded.partChoicesBySongKey().value(u"song"_s), u"violin"_s);
        QCOMPARE(reloaded.instrumentCatalog(), settings.instrumentCatalog());
    }

    void everySettingSurvivesARealSettingsFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"settings.ini"_s);
        {
            SettingsDefaultsStore defaults(file);
            SettingsStore settings(defaults);
            settings.setInvert(true);
            settings.setFitWidth(true);
            settings.setPageLayout(PageLayoutPreference::TwoRows);
            settings.setPageSeparators(false);
            settings.setAutoReturn(false);
            settings.setTurnsPagesLocally(true);
            settings.setPrivateAnnotationTool(PlayerPrivateAnnotationTool::Highlighter);
            settings.setPrivateAnnotationColor(PlayerPrivateAnnotationColor::Yellow);
            settings.setInstrument(u"builtin:violin"_s, true);
            settings.savePartChoice(u"all:violin"_s, u"reel"_s);
        }
        SettingsDefaultsStore defaults(file);
        SettingsStore settings(defaults);
        QVERIFY(settings.invert());
        QVERIFY(settings.fitWidth());
        QCOMPARE(settings.pageLayout(), PageLayoutPreference::TwoRows);
        QVERIFY(!settings.pageSeparators());
        QVERIFY(!settings.autoReturn());
        QVERIFY(settings.turnsPagesLocally());
        QCOMPARE(settings.privateAnnotationTool(), PlayerPrivateAnnotationTool::Highlighter);
        QCOMPARE(settings.privateAnnotationColor(), PlayerPrivateAnnotationColor::Yellow);
        QCOMPARE(settings.myInstrumentIDs(), QSet<QString> {u"builtin:violin"_s});
        QCOMPARE(settings.partChoicesBySongKey().value(u"reel"_s), u"all:violin"_s);
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "tst_settingsstore.moc"
