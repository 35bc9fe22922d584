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
        QCOMPARE(sections.at(sections.size() - 2), u"custom:group.toys: custom:kazoo"_s);
        QCOMPARE(sections.last(), u"__other: custom:accordion custom:banjo custom:bell custom:zither"_s);
        const QModelIndex other = m.model.index(m.model.rowCount() - 1, 0);
        const QModelIndex zither = m.model.index(3, 0, other);
        QCOMPARE(std::tuple(other.data(Model::IsSectionRole).toBool(), zither.data().toString(),
                     zither.data(Model::CustomRole).toBool(), zither.data(Model::IsSectionRole).toBool()),
            std::tuple(true, u"zither"_s, true, false));

        // A catalog change rebuilds the sections.
        PlayerInstrumentCatalog catalog = customCatalog();
        catalog.instruments.append({u"custom:aeolian-harp"_s, u"Aeolian Harp"_s, {}, {}, true});
        m.settings.updateInstrumentCatalog(catalog);
        QVERIFY(layout(m.model).last().startsWith(u"__other: custom:accordion custom:aeolian-harp "_s));
    }

    void searchKeepsOnlySectionsWithMatches()
    {
        // Aliases match in any case and padding, built-in ones too.
        const QList<std::pair<QString, QStringList>> cases {
            {u"  MIRLITON\n"_s, {u"custom:group.toys: custom:kazoo"_s}},
            {u"cor anglais"_s, {u"builtin:group.woodwind: builtin:english-horn"_s}}, {u"theremin-ish"_s, {}}};
        for (const auto &[query, sections] : cases) {
            CatalogModel m;
            QSignalSpy resets(&m.model, &QAbstractItemModel::modelReset);
            m.model.setQuery(query);
            QCOMPARE(layout(m.model), sections);
            m.model.setQuery(u" "_s + query);
            QCOMPARE(resets.size(), 1);
            m.model.setQuery({});
            QCOMPARE(layout(m.model).size(), PlayerInstrumentCatalog::builtIn().groups.size() + 2);
        }
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
        QCOMPARE(std::tuple(changes.size(), changes.first().at(0).toModelIndex(),
                     changes.first().at(1).toModelIndex()),
            std::tuple(1, kazoo, kazoo));

        m.settings.setInstrument(u"builtin:piano"_s, true);
        QCOMPARE(std::tuple(changes.size(), changes.last().at(0).toModelIndex()),
            std::tuple(2, find(m.model, u"builtin:piano"_s)));

        m.model.toggle(kazoo);
        m.model.toggle(kazoo.parent());
        QCOMPARE(std::tuple(m.settings.myInstrumentIDs(), changes.size(), resets.size()),
            std::tuple(QSet<QString> {u"builtin:piano"_s}, 3, 0));
    }
};

QTEST_GUILESS_MAIN(InstrumentCatalogModelTest)
#include "tst_instrumentcatalogmodel.moc"
