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
        // The ids of the changed rows, then how many were removed and inserted; never a reset.
        QTest::addColumn<QString>("emitted");
        QTest::newRow("a Host starts asking for a PIN") << u"a b"_s << u"a b*"_s << u"b|0|0"_s;
        QTest::newRow("nothing new") << u"a b*"_s << u"a b*"_s << u"|0|0"_s;
        QTest::newRow("one leaves, one arrives") << u"a b c"_s << u"a c d"_s << u"|1|1"_s;
        QTest::newRow("reordered") << u"a b c"_s << u"c a b"_s << u"|0|0"_s;
        QTest::newRow("reordered and changed") << u"a b c"_s << u"d c* a"_s << u"c|1|1"_s;
        QTest::newRow("all gone") << u"a b"_s << QString() << u"|2|0"_s;
        QTest::newRow("a repeated id") << u"a a"_s << u"a"_s << u"|1|0"_s;
    }

    void updatesKeepTheRowsOfStayingHosts()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, emitted);
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
        QCOMPARE(
            u"%1|%2|%3"_s.arg(changedIDs.join(u' ')).arg(removals.size()).arg(insertions.size()), emitted);
        QVERIFY(resets.isEmpty());
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
