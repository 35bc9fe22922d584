// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/PartOptionListModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <tuple>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Model = PartOptionListModel;
using Scope = Model::Scope;

// Trumpet and horn parts match the player's instruments; the others do not.
PlayerPartChooser chooser(
    const QString &selected = u"master"_s, const QSet<QString> &matching = {u"tpt"_s, u"hn"_s})
{
    return {u"song"_s, u"occurrence"_s, u"Overture"_s,
        {{u"tpt"_s, u"Trumpet 1"_s, {u"builtin:trumpet"_s}, u"r1"_s},
            {u"hn"_s, u"Cor 2"_s, {u"builtin:english-horn"_s, u"custom:serpent"_s}, u"r2"_s},
            {u"click"_s, u"Click track"_s, {}, u"r3"_s},
            {u"perc"_s, u"Percussion"_s, {u"builtin:timpani"_s}, u"r4"_s}},
        matching, selected};
}

const QHash<QString, QString> names = Model::instrumentNames(PlayerInstrumentCatalog::builtIn());

QStringList column(const QAbstractItemModel &model, int role)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values.append(model.index(row, 0).data(role).toString());
    return values;
}

} // namespace

class PartOptionListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsStartWithTheMasterInTheirScope()
    {
        Model model(chooser(u"hn"_s), names);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setScope(Scope::All);
        QCOMPARE(column(model, Qt::DisplayRole),
            (QStringList {u"Master"_s, u"Trumpet 1"_s, u"Cor 2"_s, u"Click track"_s, u"Percussion"_s}));
        QCOMPARE(column(model, Model::SubtitleRole),
            (QStringList {u"Use the conductor's full score"_s, u"Trumpet"_s,
                u"English Horn · custom:serpent"_s, u"Additional chart"_s, u"Timpani"_s}));
        QCOMPARE(column(model, Model::SelectedRole),
            (QStringList {u"false"_s, u"false"_s, u"true"_s, u"false"_s, u"false"_s}));

        // Mine only when an option matches and the choice is the master or a matching option.
        const QList<std::tuple<QString, QSet<QString>, Scope>> cases {{u"master"_s, {u"tpt"_s}, Scope::Mine},
            {u"tpt"_s, {u"tpt"_s}, Scope::Mine}, {u"perc"_s, {u"tpt"_s}, Scope::All},
            {u"master"_s, {}, Scope::All}, {u"master"_s, {u"gone"_s}, Scope::All}};
        for (const auto &[selected, matching, scope] : cases)
            QCOMPARE(Model(chooser(selected, matching), names).scope(), scope);

        PlayerPartChooser empty = chooser();
        empty.options.clear();
        const Model none(empty, {});
        QCOMPARE(std::tuple(none.scope(), none.rowCount(), none.emptyMessage()),
            std::tuple(Scope::All, 1, u"No additional charts are available for this song."_s));
    }

    void visibleOptions()
    {
        const QSet<QString> mine {u"tpt"_s, u"hn"_s};
        const QString noSearchMatch = u"No charts match this search."_s;
        // Scope, search, the matching options, the options listed after the master, the message.
        const QList<std::tuple<Scope, QString, QSet<QString>, QStringList, QString>> cases {
            {Scope::Mine, {}, mine, {u"tpt"_s, u"hn"_s}, {}},
            {Scope::All, {}, mine, {u"tpt"_s, u"hn"_s, u"click"_s, u"perc"_s}, {}},
            {Scope::All, u" CLICK\n"_s, mine, {u"click"_s}, {}},
            {Scope::All, u"builtin:tim"_s, mine, {u"perc"_s}, {}},
            // Neither the label nor the id "builtin:english-horn" holds the space.
            {Scope::Mine, u"english horn"_s, mine, {u"hn"_s}, {}},
            {Scope::All, u"tuba"_s, mine, {}, noSearchMatch},
            {Scope::Mine, u"percussion"_s, mine, {}, noSearchMatch},
            {Scope::Mine, {}, {}, {}, u"No charts match your selected instruments. Try All Available."_s}};
        for (const auto &[scope, query, matching, options, message] : cases) {
            Model model(chooser(u"master"_s, matching), names);
            model.setScope(scope);
            model.setQuery(query);
            QCOMPARE(column(model, Model::OptionIdRole), QStringList {u"master"_s} + options);
            QCOMPARE(model.emptyMessage(), message);
        }
    }
};

QTEST_GUILESS_MAIN(PartOptionListModelTest)
#include "tst_partoptionlistmodel.moc"
