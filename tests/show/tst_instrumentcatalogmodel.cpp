// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsStore.h"
#include "show/InstrumentCatalogModel.h"
#include "support/DefaultsStore.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Model = InstrumentCatalogModel;

// Besides the built-ins: one custom instrument in a custom group, the rest in no known group with
// labels that sort differently with and without regard to case, and a custom group left empty.
PlayerInstrumentCatalog customCatalog()
{
    return {u"show-1"_s, {{u"custom:group.toys"_s, u"Toys"_s, 20}, {u"custom:group.empty"_s, u"Empty"_s, 21}},
        {{u"custom:zither"_s, u"zither"_s, u"custom:group.gone"_s, {}, true},
            {u"custom:kazoo"_s, u"Kazoo"_s, u"custom:group.toys"_s, {u"Mirliton"_s}, true},
            {u"custom:bell"_s, u"Bell"_s, {}, {}, true},
            {u"custom:accordion"_s, u"accordion"_s, {}, {}, true},
            {u"custom:banjo"_s, u"Banjo"_s, u"custom:group.gone"_s, {}, true}}};
}

// Each section as "id: instrument ids…", in model order.
QStringList layout(const QAbstractItemModel &model)
{
    QStringList sections;
    for (int s = 0; s < model.rowCount(); ++s) {
        const QModelIndex section = model.index(s, 0);
        QStringList ids;
        for (int row = 0; row < model.rowCount(section); ++row)
            ids.append(model.index(row, 0, section).data(Model::IdRole).toString());
        sections.append(section.data(Model::IdRole).toString() + u": "_s + ids.join(u' '));
    }
    return sections;
}

QModelIndex find(const QAbstractItemModel &model, const QString &id)
{
    return model.match(model.index(0, 0), Model::IdRole, id, 1, Qt::MatchExactly | Qt::MatchRecursive)
        .value(0);
}

// A model over settings holding the custom catalog, checked by Qt's model tester.
struct CatalogModel
{
    MemoryDefaultsStore defaults;
    SettingsStore settings {defaults};
    Model model {settings};
    QAbstractItemModelTester tester {&model, QAbstractItemModelTester::FailureReportingMode::QtTest};

    CatalogModel() { settings.updateInstrumentCatalog(customCatalog()); }
};

} // namespace

class InstrumentCatalogModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sectionsFollowTheCatalogWithOtherLast()
    {
        CatalogModel m;
        const QStringList sections = layout(m.model);
        // Every built-in group, the custom group that has an instrument, then Other.
        QCOMPARE(sections.size(), PlayerInstrumentCatalog::builtIn().groups.size() + 2);
        QVERIFY(sections.first().startsWith(u"builtin:group.voice: builtin:"_s));
        QCOMPARE(sections.at(sections.size() - 2), u"custom:group.toys: custom:kazoo"_s);
        QCOMPARE(sections.last(), u"__other: custom:accordion custom:banjo custom:bell custom:zither"_s);
        const QModelIndex other = m.model.index(m.model.rowCount() - 1, 0);
        QCOMPARE(other.data().toString(), u"Other"_s);
        QVERIFY(other.data(Model::IsSectionRole).toBool());
        const QModelIndex zither = m.model.index(3, 0, other);
        QCOMPARE(zither.data().toString(), u"zither"_s);
        QVERIFY(zither.data(Model::CustomRole).toBool());
        QVERIFY(!zither.data(Model::IsSectionRole).toBool());

        // A catalog change rebuilds the sections.
        PlayerInstrumentCatalog catalog = customCatalog();
        catalog.instruments.append({u"custom:aeolian-harp"_s, u"Aeolian Harp"_s, {}, {}, true});
        m.settings.updateInstrumentCatalog(catalog);
        QVERIFY(layout(m.model).last().startsWith(u"__other: custom:accordion custom:aeolian-harp "_s));
    }

    void searchKeepsOnlySectionsWithMatches_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("sections");
        QTest::newRow("alias, any case and padding")
            << u"  MIRLITON\n"_s << QStringList {u"custom:group.toys: custom:kazoo"_s};
        QTest::newRow("built-in alias")
            << u"cor anglais"_s << QStringList {u"builtin:group.woodwind: builtin:english-horn"_s};
        QTest::newRow("nothing") << u"theremin-ish"_s << QStringList {};
    }

    void searchKeepsOnlySectionsWithMatches()
    {
        QFETCH(QString, query);
        CatalogModel m;
        QSignalSpy resets(&m.model, &QAbstractItemModel::modelReset);
        m.model.setQuery(query);
        QTEST(layout(m.model), "sections");
        m.model.setQuery(u" "_s + query);
        QCOMPARE(resets.size(), 1);
        m.model.setQuery({});
        QCOMPARE(layout(m.model).size(), PlayerInstrumentCatalog::builtIn().groups.size() + 2);
    }

    void togglingChangesOnlyThatRow()
    {
        CatalogModel m;
        QSignalSpy changes(&m.model, &QAbstractItemModel::dataChanged);
        QSignalSpy resets(&m.model, &QAbstractItemModel::modelReset);
        const QModelIndex kazoo = find(m.model, u"custom:kazoo"_s);
        QVERIFY(!kazoo.data(Model::SelectedRole).toBool());

        m.model.toggle(kazoo);
        QVERIFY(m.settings.myInstrumentIDs().contains(u"custom:kazoo"_s));
        QVERIFY(kazoo.data(Model::SelectedRole).toBool());
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.first().at(0).toModelIndex(), kazoo);
        QCOMPARE(changes.first().at(1).toModelIndex(), kazoo);

        m.settings.setInstrument(u"builtin:piano"_s, true);
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.last().at(0).toModelIndex(), find(m.model, u"builtin:piano"_s));

        m.model.toggle(kazoo);
        m.model.toggle(kazoo.parent());
        QCOMPARE(m.settings.myInstrumentIDs(), QSet<QString> {u"builtin:piano"_s});
        QCOMPARE(changes.size(), 3);
        QCOMPARE(resets.size(), 0);
    }
};

QTEST_GUILESS_MAIN(InstrumentCatalogModelTest)
#include "tst_instrumentcatalogmodel.moc"
