// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerReadinessCopy.h"
#include "link/PlayerReadinessRailPolicy.h"

#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

class ReadinessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void live_data()
    {
        QTest::addColumn<int>("ready");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("complete") << 3 << 3 << u"ALL PAGES RECEIVED · 3/3"_s;
        QTest::newRow("ready clamped") << 5 << 3 << u"ALL PAGES RECEIVED · 3/3"_s;
        QTest::newRow("partial") << 1 << 3 << u"RECEIVING MUSIC · 1/3 PAGES"_s;
        QTest::newRow("nothing wanted") << 0 << 0 << u"RECEIVING MUSIC · 0/0 PAGES"_s;
        QTest::newRow("negative total") << 2 << -1 << u"RECEIVING MUSIC · 0/0 PAGES"_s;
    }

    void live()
    {
        QFETCH(int, ready);
        QFETCH(int, total);
        QFETCH(QString, text);
        QCOMPARE(PlayerReadinessCopy::live(ready, total), text);
    }

    void offline()
    {
        QCOMPARE(PlayerReadinessCopy::offline(-2, 4),
            u"OFFLINE · 0/4 PAGES AVAILABLE · TURN LOCALLY · RETRYING"_s);
        QCOMPARE(
            PlayerReadinessCopy::offline(9, 4), u"OFFLINE · 4/4 PAGES AVAILABLE · TURN LOCALLY · RETRYING"_s);
    }

    void saved_data()
    {
        QTest::addColumn<int>("ready");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QString>("text");
        QTest::newRow("all here but not complete") << 4 << 4 << false << u"SAVED · DOWNLOADING 4/4"_s;
        QTest::newRow("complete") << 4 << 4 << true << u"READY OFFLINE · 4/4"_s;
        QTest::newRow("complete flag but short") << 2 << 4 << true << u"SAVED · DOWNLOADING 2/4"_s;
        QTest::newRow("complete flag, empty") << 0 << 0 << true << u"SAVED · DOWNLOADING 0/0"_s;
    }

    void saved()
    {
        QFETCH(int, ready);
        QFETCH(int, total);
        QFETCH(bool, complete);
        QFETCH(QString, text);
        QCOMPARE(PlayerReadinessCopy::saved(ready, total, complete), text);
    }

    void scopeFingerprint_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("fingerprint");
        QTest::newRow("sorted and length-prefixed") << QStringList {u"b.png"_s, u"a"_s} << u"1:a|5:b.png"_s;
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("utf-8 length") << QStringList {u"é"_s} << u"2:é"_s;
        QTest::newRow("capitals first") << QStringList {u"b"_s, u"B"_s, u"a"_s} << u"1:B|1:a|1:b"_s;
    }

    void scopeFingerprint()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, fingerprint);
        QCOMPARE(PlayerReadinessRailPolicy::scopeFingerprint(names), fingerprint);
    }
};

QTEST_GUILESS_MAIN(ReadinessTest)
#include "tst_readiness.moc"
