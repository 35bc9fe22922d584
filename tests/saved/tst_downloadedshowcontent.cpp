// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowLibrary.h"
#include "saved/DownloadedShowSummary.h"

#include <QJsonArray>

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

QList<int> wantedPages(const QList<AssetStore::Want> &wants)
{
    QList<int> indices;
    for (const AssetStore::Want &want : wants)
        indices.append(int(want.pageIndex));
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
        // Without items or a score key there is nothing to name the show by.
        QVERIFY(!DownloadedShowContent::showIdentity({{"score"_L1, QJsonObject {{"scoreKey"_L1, u"  "_s}}}}));
        QVERIFY(!DownloadedShowContent::showIdentity(setlist(u"Gala"_s, {})));
    }

    void ownerWants()
    {
        QJsonObject mixed = score(u"k"_s, {0});
        mixed.insert("pages"_L1, QJsonArray {mixed["pages"_L1][0], 3});
        QJsonObject versions = score(u"k"_s, {-1, 0, 1, 2, 3});
        QJsonArray list = versions["pages"_L1].toArray();
        list[2] = QJsonObject {{"index"_L1, 1}, {"baseVersion"_L1, u"  "_s}};
        list[3] = QJsonObject {{"index"_L1, 2}, {"baseVersion"_L1, QString(257, u'v')}};
        list[4] = QJsonObject {{"index"_L1, 3}, {"baseVersion"_L1, QString(256, u'v')}};
        versions.insert("pages"_L1, list);
        // The playable range itself follows the show model's rules.
        QJsonObject item = score(u"k"_s, range(0, 5));
        item.insert("startPage"_L1, 2);
        item.insert("endPage"_L1, 3);
        const PageRange all = PageRange::all;
        // The owner, the range, the pages wanted in order.
        const QList<std::tuple<QJsonObject, PageRange, QList<int>>> cases {
            {score(u"k"_s, {2, 0, 1}), all, {0, 1, 2}}, {score(u"k"_s, range(0, 4999)), all, range(0, 4999)},
            {score(u"k"_s, range(0, 5000)), all, {}}, {score(QString(256, u'k'), {0}), all, {0}},
            {score(QString(257, u'k'), {0}), all, {}}, {score(u" "_s, {0}), all, {}},
            {score(u"k"_s, {0}, -1), all, {}}, {score(u"k"_s, {0}, 1.5), all, {}}, {mixed, all, {}},
            {versions, all, {0, 3}}, {item, PageRange::playable, {2, 3}}, {item, all, range(0, 5)},
            {score(u"k"_s, {-2, -1}), PageRange::playable, {}}};
        for (const auto &[owner, pageRange, expected] : cases)
            QCOMPARE(wantedPages(DownloadedShowContent::ownerWants(owner, pageRange)), expected);
    }

    // Unresolved items count; a page shared by items is wanted once.
    void masterCoverage()
    {
        const auto coverage = DownloadedShowContent::masterCoverage(setlist(
            u"Gala"_s, {score(u"ode"_s, {0, 1}), score(u"big"_s, range(0, 5000)), score(u"ode"_s, {1, 2})}));
        QCOMPARE(
            std::tuple(coverage->chartCount, coverage->unresolvedChartCount, wantedPages(coverage->wants)),
            std::tuple(3, 1, QList<int> {0, 1, 2}));
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

    void renditionRefsAndTitles()
    {
        const QList<std::pair<QString, std::optional<QString>>> refs {{u"reel.violin"_s, u"reel.violin"_s},
            {u" reel \n"_s, u"reel"_s}, {QString(512, u'r'), QString(512, u'r')}, {QString(513, u'r'), {}},
            {u"  "_s, {}}, {u"a/b"_s, {}}, {u"a\\b"_s, {}}};
        for (const auto &[ref, valid] : refs)
            QCOMPARE(DownloadedShowContent::validRenditionRef(ref), valid);

        const QJsonObject manifest
            = object(R"({"score": {"partOptions": [{"ref": "b.vln"}]}, "show": {"items":
            [{"partOptions": [{"ref": "a.vln"}, {"ref": " a.cl "}, {"ref": "x/y"}]}]}})");
        QCOMPARE(DownloadedShowContent::advertisedRenditionRefs(manifest),
            (QSet<QString> {u"a.vln"_s, u"a.cl"_s, u"b.vln"_s}));

        for (const auto &[text, title] :
            {std::pair(R"({"show": {"setlistName": " Gala "}, "score": {"title": " Ode "}})", u"Gala"_s),
                std::pair(R"({"show": {"setlistName": " "}, "score": {"title": " Ode "}})", u"Ode"_s),
                std::pair("{}", u"Saved Show"_s)})
            QCOMPARE(DownloadedShowContent::displayTitle(object(text)), title);
    }

    void statusText()
    {
        // Cached and all pages, ready and all parts, unresolved charts; the text; whether it opens.
        const QList<std::tuple<QList<int>, QString, bool>> cases {
            {{4, 4, 0, 0, 1}, u"SAVED · PREPARING 1 CHART"_s, false},
            {{0, 4, 0, 2, 2}, u"SAVED · PREPARING 2 CHARTS"_s, false},
            {{5, 5, 3, 5, 0}, u"SAVED · PREPARING 3/5 PARTS"_s, false},
            {{2, 5, 0, 1, 0}, u"SAVED · DOWNLOADING 2/5"_s, false},
            {{5, 5, 2, 2, 0}, u"READY OFFLINE · 5/5"_s, true},
            {{0, 0, 0, 0, 0}, u"SAVED · DOWNLOADING 0/0"_s, false}};
        for (const auto &[counts, text, openable] : cases) {
            const DownloadedShowSummary summary {.cachedPages = counts[0],
                .totalPages = counts[1],
                .readyPartCount = counts[2],
                .totalPartCount = counts[3],
                .unresolvedChartCount = counts[4]};
            QCOMPARE(std::pair(summary.statusText(), summary.isOpenable()), std::pair(text, openable));
        }
    }
};

QTEST_GUILESS_MAIN(DownloadedShowContentTest)
#include "tst_downloadedshowcontent.moc"
