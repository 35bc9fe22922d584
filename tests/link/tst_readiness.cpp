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
    void copyKeepsItsCountsInRange()
    {
        namespace Copy = PlayerReadinessCopy;
        QCOMPARE(Copy::live(3, 3), u"ALL PAGES RECEIVED · 3/3"_s);
        QCOMPARE(Copy::live(5, 3), u"ALL PAGES RECEIVED · 3/3"_s);
        QCOMPARE(Copy::live(1, 3), u"RECEIVING MUSIC · 1/3 PAGES"_s);
        QCOMPARE(Copy::live(0, 0), u"RECEIVING MUSIC · 0/0 PAGES"_s);
        QCOMPARE(Copy::live(2, -1), u"RECEIVING MUSIC · 0/0 PAGES"_s);
        QCOMPARE(Copy::offline(-2, 4), u"OFFLINE · 0/4 PAGES AVAILABLE · TURN LOCALLY · RETRYING"_s);
        QCOMPARE(Copy::offline(9, 4), u"OFFLINE · 4/4 PAGES AVAILABLE · TURN LOCALLY · RETRYING"_s);
        QCOMPARE(Copy::saved(4, 4, false), u"SAVED · DOWNLOADING 4/4"_s);
        QCOMPARE(Copy::saved(4, 4, true), u"READY OFFLINE · 4/4"_s);
        // Only a saved copy with every page is ready, whatever its flag says.
        QCOMPARE(Copy::saved(2, 4, true), u"SAVED · DOWNLOADING 2/4"_s);
        QCOMPARE(Copy::saved(0, 0, true), u"SAVED · DOWNLOADING 0/0"_s);
    }

    void scopeFingerprintIsSortedAndLengthPrefixed()
    {
        namespace Policy = PlayerReadinessRailPolicy;
        QCOMPARE(Policy::scopeFingerprint({u"b.png"_s, u"a"_s}), u"1:a|5:b.png"_s);
        QCOMPARE(Policy::scopeFingerprint({}), QString());
        QCOMPARE(Policy::scopeFingerprint({u"é"_s}), u"2:é"_s); // UTF-8 bytes
        QCOMPARE(Policy::scopeFingerprint({u"b"_s, u"B"_s, u"a"_s}), u"1:B|1:a|1:b"_s);
    }
};

QTEST_GUILESS_MAIN(ReadinessTest)
#include "tst_readiness.moc"
