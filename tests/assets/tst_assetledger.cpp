// SPDX-License-Identifier: GPL-3.0-or-later
#include "AssetStoreHarness.h"

#include <sys/stat.h>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 MiB = 1'048'576;

// Entries "f000000", "f000001", … of `size` bytes each, used at times 0, 1, …
AssetLedger uniformLedger(int count, qint64 size)
{
    AssetLedger ledger;
    for (int i = 0; i < count; ++i)
        ledger.setEntry(u"f%1"_s.arg(i, 6, 10, QLatin1Char('0')), {size, i});
    return ledger;
}

} // namespace

class AssetLedgerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namesMatchTheIndependentVectors()
    {
        const QJsonObject names = vectors("cache_names"_L1).toObject();
        QCOMPARE(AssetCacheName::digest(QString()), names["digest_of_empty"_L1].toString());
        QCOMPARE(AssetCacheName::scorePrefix(u"abc"_s), names["score_prefix(abc)"_L1].toString());
        QCOMPARE(AssetCacheName::familyPrefix(u"abc"_s, 3, u"base.png"_s),
            names["family_prefix(abc,3,base.png)"_L1].toString());
        QCOMPARE(AssetCacheName::fileName(u"abc"_s, 3, u"base.png"_s, u"v7"_s),
            names["file_name(abc,3,base.png,v7)"_L1].toString());
        QCOMPARE(AssetCacheName::legacyFileName(u"abc"_s, 3, u"base.png"_s, u"7"_s),
            names["legacy_file_name(abc,3,base.png,7)"_L1].toString());
    }

    // A legacy name is only made of safe atoms, and belongs to its own score only.
    void legacyNamesNeedSafeAtoms()
    {
        const QString key128(128, u'k');
        // Score key, page, kind, version; the legacy name, if there is one.
        const QList<std::tuple<QString, qint64, QString, QString, QString>> cases {
            {u"A_b-9"_s, 0, u"marks.png"_s, u"v-2_x"_s, u"A_b-9-0-marks.png@v-2_x"_s},
            {key128, 1, u"base.png"_s, u"7"_s, key128 + u"-1-base.png@7"_s},
            {key128 + u'k', 1, u"base.png"_s, u"7"_s, {}}, {u"a/b"_s, 1, u"base.png"_s, u"7"_s, {}},
            {u"café"_s, 1, u"base.png"_s, u"7"_s, {}}, {{}, 1, u"base.png"_s, u"7"_s, {}},
            {u"abc"_s, -1, u"base.png"_s, u"7"_s, {}}, {u"abc"_s, 1, u"thumb.png"_s, u"7"_s, {}},
            {u"abc"_s, 1, u"base.png"_s, u"7.1"_s, {}}};
        for (const auto &[scoreKey, pageIndex, kind, version, expected] : cases) {
            const auto name = AssetCacheName::legacyFileName(scoreKey, pageIndex, kind, version);
            QCOMPARE(name.value_or(QString()), expected);
            QVERIFY(!name || AssetCacheName::isLegacyFileNameOf(*name, scoreKey));
        }

        QVERIFY(AssetCacheName::isLegacyFileNameOf(u"ab-3-4-marks.png@v"_s, u"ab-3"_s));
        for (const QString &name : {u"ab-c-3-base.png@7"_s, u"ab-3-4-marks.png@v"_s, u"ab-notes.txt"_s,
                 u"ab-03-base.png@7"_s, u"ab-3-thumb.png@7"_s, u"ab-3-base.png@"_s, u"ab-3-base.png@7.1"_s})
            QVERIFY2(!AssetCacheName::isLegacyFileNameOf(name, u"ab"_s), qPrintable(name));
    }

    void evictionDrainsTo280MiBOnlyPastTheCap()
    {
        QVERIFY(AssetLedger().evictionCandidates(u"abc"_s, {}).isEmpty());
        AssetLedger ledger = uniformLedger(300, MiB);
        QVERIFY(ledger.evictionCandidates(std::nullopt, {}).isEmpty());

        // One byte past 300 MiB: the oldest 21 files leave 279 MiB and a byte; an empty file older
        // than the rest is listed too.
        ledger.setEntry(u"newest"_s, {1, 1000});
        ledger.setEntry(u"empty"_s, {0, -1});
        QCOMPARE(ledger.evictionCandidates(std::nullopt, {}),
            QStringList {u"empty"_s} + uniformLedger(21, MiB).entries().keys());
    }

    void protectionsHoldForBothRules()
    {
        AssetLedger ledger;
        const auto current
            = [](const QString &key) { return AssetCacheName::fileName(key, 0, u"base.png"_s, u"v1"_s); };
        const QString protectedFile = current(u"abc"_s);
        const QString legacyOfProtected = u"abc-1-base.png@7"_s;
        const QString pinned = current(u"saved"_s);
        const QString other = current(u"other"_s);
        ledger.setEntry(protectedFile, {200 * MiB, 1});
        ledger.setEntry(pinned, {100 * MiB, 2});
        ledger.setEntry(legacyOfProtected, {10 * MiB, 3});
        ledger.setEntry(other, {10 * MiB, 4});

        QCOMPARE(ledger.evictionCandidates(u"abc"_s, {pinned}), (QStringList {legacyOfProtected, other}));
        QCOMPARE(ledger.forcedEvictionCandidates(1, u"abc"_s, {pinned}), QStringList {legacyOfProtected});
        QCOMPARE(ledger.forcedEvictionCandidates(1000 * MiB, u"abc"_s, {pinned}),
            (QStringList {legacyOfProtected, other}));
        QCOMPARE(ledger.forcedEvictionCandidates(1000 * MiB, std::nullopt, {}),
            (QStringList {protectedFile, pinned, legacyOfProtected, other}));
    }

    // The oldest files first, names breaking ties in time.
    void forcedEvictionFreesAtLeastTheBytes()
    {
        const AssetLedger ledger = uniformLedger(10, MiB);
        const QList<std::pair<qint64, int>> cases {{-5, 0}, {2 * MiB, 2}, {2 * MiB + 1, 3}, {100 * MiB, 10}};
        for (const auto &[bytes, count] : cases) {
            QCOMPARE(ledger.forcedEvictionCandidates(bytes, std::nullopt, {}),
                uniformLedger(count, MiB).entries().keys());
            QVERIFY(AssetLedger().forcedEvictionCandidates(bytes, std::nullopt, {}).isEmpty());
        }
        AssetLedger ties;
        ties.setEntry(u"c"_s, {MiB, 5});
        ties.setEntry(u"a"_s, {MiB, 5});
        ties.setEntry(u"b"_s, {MiB, AssetLedger::distantPast});
        QCOMPARE(
            ties.forcedEvictionCandidates(3 * MiB, std::nullopt, {}), (QStringList {u"b"_s, u"a"_s, u"c"_s}));
    }

    void listingFollowsModificationDates()
    {
        AssetStoreHarness h;
        h.place(u"old"_s, "abcd", 1'600'000'000'000);
        h.place(u".hidden"_s, "abcd", 1'650'000'000'500);
        h.place(u"new"_s, "abcd", 1'700'000'000'000);
        QVERIFY(QFile::link(h.filePath(u"old"_s), h.filePath(u"link"_s)));
        QCOMPARE(::mkfifo(QFile::encodeName(h.filePath(u"fifo"_s)).constData(), 0600), 0);

        const AssetLedger ledger = AssetDirectory(h.path).listing();
        QCOMPARE(ledger.entry(u".hidden"_s), (AssetLedger::Entry {4, 1'650'000'000'500}));
        QCOMPARE(ledger.entry(u"link"_s)->size, 0);
        QCOMPARE(ledger.entry(u"fifo"_s)->size, 0);
        QCOMPARE(ledger.forcedEvictionCandidates(12, std::nullopt, {u"link"_s, u"fifo"_s}),
            (QStringList {u"old"_s, u".hidden"_s, u"new"_s}));
    }
};

QTEST_GUILESS_MAIN(AssetLedgerTest)
#include "tst_assetledger.moc"
