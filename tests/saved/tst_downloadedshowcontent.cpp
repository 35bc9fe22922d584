// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowLibrary.h"
#include "saved/DownloadedShowSummary.h"

#include <QJsonArray>
#include <QRegularExpression>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;
using DownloadedShowContent::PageRange;

namespace {

// Score `key` with token 7 and pages at `indices`, page i at base version "b<i>".
QJsonObject score(const QString &key, const QList<int> &indices, const QJsonValue &token = 7)
{
    QJsonArray list;
    for (int index : indices)
        list.append(QJsonObject {{"index"_L1, index}, {"baseVersion"_L1, u"b%1"_s.arg(index)}});
    return {{"scoreKey"_L1, key}, {"scoreToken"_L1, token}, {"pages"_L1, list}};
}

QList<qint64> wantedPages(const QList<AssetStore::Want> &wants)
{
    QList<qint64> indices;
    for (const AssetStore::Want &want : wants)
        indices.append(want.pageIndex);
    return indices;
}

QJsonObject setlist(const QString &name, const QJsonArray &items)
{
    return {{"show"_L1, QJsonObject {{"setlistName"_L1, name}, {"items"_L1, items}}}};
}

} // namespace

class DownloadedShowContentTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identityNamesEveryItem()
    {
        for (const QJsonValue &vector : vectors("show_identity"_L1).toArray())
            QCOMPARE(DownloadedShowContent::showIdentity(vector["manifest"_L1].toObject()),
                vector["id"_L1].toString());

        const QJsonObject manifest = setlist(u" Gala\n"_s,
            {QJsonObject {{"occurrenceKey"_L1, u" enc-1 "_s}, {"scoreKey"_L1, u"ignored"_s}},
                QJsonObject {{"songKey"_L1, u"s"_s}, {"scoreKey"_L1, u" k "_s}, {"title"_L1, u" T "_s}}});
        QCOMPARE(
            DownloadedShowContent::identityText(manifest), u"setlist|Gala\nitems|occ|enc-1\n1|s|k|0|-1|T"_s);
        QVERIFY(QRegularExpression(u"^[0-9a-f]{32}$"_s)
                    .match(DownloadedShowContent::showIdentity(manifest).value_or(QString()))
                    .hasMatch());
        // Items differing only in their title are different shows.
        const auto titled = [](const char *title) {
            return DownloadedShowContent::showIdentity(setlist(u"Gala"_s,
                {QJsonObject {{"scoreKey"_L1, "ode"_L1}, {"title"_L1, QLatin1StringView(title)}}}));
        };
        QVERIFY(titled("Ode") != titled("Ode (encore)"));

        // Without items or a score key there is nothing to name the show by.
        QCOMPARE(DownloadedShowContent::identityText({{"score"_L1, QJsonObject {{"scoreKey"_L1, u"k"_s}}}}),
            u"setlist|\nscore|k"_s);
        QVERIFY(!DownloadedShowContent::showIdentity({{"score"_L1, QJsonObject {{"scoreKey"_L1, u"  "_s}}}}));
        QVERIFY(!DownloadedShowContent::showIdentity(setlist(u"Gala"_s, {})));
    }

    void ownerWants_data()
    {
        QTest::addColumn<QJsonObject>("owner");
        QTest::addColumn<int>("range");
        QTest::addColumn<QList<int>>("expected");
        const int all = int(PageRange::all);
        const int playable = int(PageRange::playable);

        QTest::newRow("sorted by index") << score(u"k"_s, {2, 0, 1}) << all << QList<int> {0, 1, 2};
        QTest::newRow("5,000 pages") << score(u"k"_s, range(0, 4999)) << all << range(0, 4999);
        QTest::newRow("5,001 pages") << score(u"k"_s, range(0, 5000)) << all << QList<int> {};
        QTest::newRow("256-character key") << score(QString(256, u'k'), {0}) << all << QList<int> {0};
        QTest::newRow("257-character key") << score(QString(257, u'k'), {0}) << all << QList<int> {};
        QTest::newRow("blank key") << score(u" "_s, {0}) << all << QList<int> {};
        QTest::newRow("negative token") << score(u"k"_s, {0}, -1) << all << QList<int> {};
        QTest::newRow("fractional token") << score(u"k"_s, {0}, 1.5) << all << QList<int> {};

        QJsonObject mixed = score(u"k"_s, {0});
        mixed.insert("pages"_L1, QJsonArray {mixed["pages"_L1][0], 3});
        QTest::newRow("a page that is not an object") << mixed << all << QList<int> {};

        QJsonObject versions = score(u"k"_s, {-1, 0, 1, 2, 3});
        QJsonArray list = versions["pages"_L1].toArray();
        list[2] = QJsonObject {{"index"_L1, 1}, {"baseVersion"_L1, u"  "_s}};
        list[3] = QJsonObject {{"index"_L1, 2}, {"baseVersion"_L1, QString(257, u'v')}};
        list[4] = QJsonObject {{"index"_L1, 3}, {"baseVersion"_L1, QString(256, u'v')}};
        versions.insert("pages"_L1, list);
        QTest::newRow("negative index and unusable versions skipped") << versions << all << QList<int> {0, 3};

        // The playable range itself follows the show model's rules.
        QJsonObject item = score(u"k"_s, range(0, 5));
        item.insert("startPage"_L1, 2);
        item.insert("endPage"_L1, 3);
        QTest::newRow("item range") << item << playable << QList<int> {2, 3};
        QTest::newRow("score ignores the range") << item << all << range(0, 5);
        QTest::newRow("only negative indices") << score(u"k"_s, {-2, -1}) << playable << QList<int> {};
    }

    void ownerWants()
    {
        QFETCH(QJsonObject, owner);
        QFETCH(int, range);
        QFETCH(QList<int>, expected);
        const QList<AssetStore::Want> wants = DownloadedShowContent::ownerWants(owner, PageRange(range));
        QCOMPARE(wantedPages(wants), QList<qint64>(expected.cbegin(), expected.cend()));
        for (const AssetStore::Want &want : wants) {
            QCOMPARE(want.kind, u"base.png"_s);
            QCOMPARE(want.scoreToken, 7);
        }
    }

    // Unresolved items count; a page shared by items is wanted once.
    void masterCoverage()
    {
        const auto coverage = DownloadedShowContent::masterCoverage(setlist(
            u"Gala"_s, {score(u"ode"_s, {0, 1}), score(u"big"_s, range(0, 5000)), score(u"ode"_s, {1, 2})}));
        QVERIFY(coverage);
        QCOMPARE(coverage->chartCount, 3);
        QCOMPARE(coverage->unresolvedChartCount, 1);
        QCOMPARE(wantedPages(coverage->wants), (QList<qint64> {0, 1, 2}));

        QCOMPARE(DownloadedShowContent::masterCoverage({{"score"_L1, score(u"ode"_s, {0, 1, 1})}}),
            (DownloadedShowCoverage {{AssetStore::Want::make(u"ode"_s, 7, 0, u"base.png"_s, u"b0"_s),
                                         AssetStore::Want::make(u"ode"_s, 7, 1, u"base.png"_s, u"b1"_s)},
                1, 0}));
        QCOMPARE(DownloadedShowContent::masterCoverage({{"score"_L1, score(u"ode"_s, {})}}),
            (DownloadedShowCoverage {{}, 0, 0}));
        QVERIFY(!DownloadedShowContent::masterCoverage({{"structureVersion"_L1, 1}}));
    }

    void recordWantsStopAtTheLimit()
    {
        QJsonArray items;
        for (int i = 0; i < 5; ++i)
            items.append(score(u"s%1"_s.arg(i), range(0, 4999)));
        DownloadedShowLibrary::Record record;
        record.manifest = setlist(u"Marathon"_s, items);
        record.renditionsByRef.insert(u"part"_s, score(u"part"_s, {0}));
        const QList<AssetStore::Want> wants = record.wants();
        QCOMPARE(wants.size(), DownloadedShowLibrary::maxRecordWants);
        QCOMPARE(wants.last().scoreKey, u"s4"_s);
    }

    void renditionRefs_data()
    {
        QTest::addColumn<QString>("ref");
        QTest::addColumn<std::optional<QString>>("valid");
        QTest::newRow("plain") << u"reel.violin"_s << std::optional(u"reel.violin"_s);
        QTest::newRow("trimmed") << u" reel \n"_s << std::optional(u"reel"_s);
        QTest::newRow("512 characters") << QString(512, u'r') << std::optional(QString(512, u'r'));
        QTest::newRow("513 characters") << QString(513, u'r') << std::optional<QString>();
        QTest::newRow("blank") << u"  "_s << std::optional<QString>();
        QTest::newRow("slash") << u"a/b"_s << std::optional<QString>();
        QTest::newRow("backslash") << u"a\\b"_s << std::optional<QString>();
    }

    void renditionRefs()
    {
        QFETCH(QString, ref);
        QTEST(DownloadedShowContent::validRenditionRef(ref), "valid");
    }

    void advertisedRefsComeFromItemsAndTheOpenScore()
    {
        const QJsonObject manifest
            = object(R"({"score": {"partOptions": [{"ref": "b.vln"}]}, "show": {"items":
            [{"partOptions": [{"ref": "a.vln"}, {"ref": " a.cl "}, {"ref": "x/y"}]}]}})");
        QCOMPARE(DownloadedShowContent::advertisedRenditionRefs(manifest),
            (QSet<QString> {u"a.vln"_s, u"a.cl"_s, u"b.vln"_s}));
    }

    void displayTitle()
    {
        QCOMPARE(DownloadedShowContent::displayTitle(
                     object(R"({"show": {"setlistName": " Gala "}, "score": {"title": " Ode "}})")),
            u"Gala"_s);
        QCOMPARE(DownloadedShowContent::displayTitle(
                     object(R"({"show": {"setlistName": " "}, "score": {"title": " Ode "}})")),
            u"Ode"_s);
        QCOMPARE(DownloadedShowContent::displayTitle({}), u"Saved Show"_s);
    }

    void statusText_data()
    {
        QTest::addColumn<DownloadedShowSummary>("summary");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("openable");
        const auto summary = [](int cached, int total, int readyParts, int parts, int unresolved) {
            DownloadedShowSummary summary;
            summary.cachedPages = cached;
            summary.totalPages = total;
            summary.readyPartCount = readyParts;
            summary.totalPartCount = parts;
            summary.unresolvedChartCount = unresolved;
            return summary;
        };
        QTest::newRow("one unresolved chart")
            << summary(4, 4, 0, 0, 1) << u"SAVED · PREPARING 1 CHART"_s << false;
        QTest::newRow("two unresolved charts")
            << summary(0, 4, 0, 2, 2) << u"SAVED · PREPARING 2 CHARTS"_s << false;
        QTest::newRow("parts missing") << summary(5, 5, 3, 5, 0) << u"SAVED · PREPARING 3/5 PARTS"_s << false;
        QTest::newRow("pages missing") << summary(2, 5, 0, 1, 0) << u"SAVED · DOWNLOADING 2/5"_s << false;
        QTest::newRow("complete") << summary(5, 5, 2, 2, 0) << u"READY OFFLINE · 5/5"_s << true;
        QTest::newRow("no pages") << summary(0, 0, 0, 0, 0) << u"SAVED · DOWNLOADING 0/0"_s << false;
    }

    void statusText()
    {
        QFETCH(DownloadedShowSummary, summary);
        QTEST(summary.statusText(), "text");
        QTEST(summary.isOpenable(), "openable");
    }
};

QTEST_GUILESS_MAIN(DownloadedShowContentTest)
#include "tst_downloadedshowcontent.moc"
