// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/DiscoveredHostListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Model = DiscoveredHostListModel;

// "b" is the Host with id b, named B; "b*" is the same Host asking for a PIN.
QList<DiscoveredHost> hosts(const QString &entries)
{
    QList<DiscoveredHost> list;
    for (const QString &entry : entries.split(u' ', Qt::SkipEmptyParts)) {
        DiscoveredHost host;
        host.id = entry.chopped(entry.endsWith(u'*') ? 1 : 0);
        host.name = host.id.toUpper();
        host.endpoint = NetworkEndpoint::service(host.name);
        host.requiresPIN = entry.endsWith(u'*');
        list.append(host);
    }
    return list;
}

QString rows(const QAbstractItemModel &model)
{
    QStringList entries;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        entries.append(index.data().toString().toLower()
            + (index.data(Model::RequiresPINRole).toBool() ? u"*"_s : QString()));
    }
    return entries.join(u' ');
}

} // namespace

class DiscoveredHostListModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void updatesKeepTheRowsOfStayingHosts_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("changed");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("inserted");
        QTest::newRow("a Host starts asking for a PIN") << u"a b"_s << u"a b*"_s << u"b"_s << 0 << 0;
        QTest::newRow("nothing new") << u"a b*"_s << u"a b*"_s << QString() << 0 << 0;
        QTest::newRow("one leaves, one arrives") << u"a b c"_s << u"a c d"_s << QString() << 1 << 1;
        QTest::newRow("reordered") << u"a b c"_s << u"c a b"_s << QString() << 0 << 0;
        QTest::newRow("reordered and changed") << u"a b c"_s << u"d c* a"_s << u"c"_s << 1 << 1;
        QTest::newRow("all gone") << u"a b"_s << QString() << QString() << 2 << 0;
        QTest::newRow("a repeated id") << u"a a"_s << u"a"_s << QString() << 1 << 0;
    }

    void updatesKeepTheRowsOfStayingHosts()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, changed);
        QFETCH(int, removed);
        QFETCH(int, inserted);
        Model model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setHosts(hosts(before));
        QList<QPersistentModelIndex> kept;
        for (int row = 0; row < model.rowCount(); ++row)
            kept.append(model.index(row));
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy insertions(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

        model.setHosts(hosts(after));
        QCOMPARE(rows(model), after);
        QStringList changedIDs;
        for (const QList<QVariant> &change : std::as_const(changes))
            changedIDs.append(change.at(0).toModelIndex().data(Model::IdRole).toString());
        QCOMPARE(changedIDs.join(u' '), changed);
        QCOMPARE(removals.size(), removed);
        QCOMPARE(insertions.size(), inserted);
        QCOMPARE(resets.size(), 0);
        // A view's selection stays on the same Host for as long as it is listed.
        for (int row = 0; row < kept.size(); ++row) {
            if (kept.at(row).isValid())
                QCOMPARE(kept.at(row).data(Model::IdRole).toString(),
                    QString(before.split(u' ').at(row)).remove(u'*'));
        }
    }
};

QTEST_GUILESS_MAIN(DiscoveredHostListModelTest)
#include "tst_discoveredhostlistmodel.moc"
