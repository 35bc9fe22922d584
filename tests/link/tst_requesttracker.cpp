// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostLaneCodec.h"
#include "link/PlayerRequestTracker.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"

#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

AssetChunk chunk(const QByteArray &header, const QByteArray &body)
{
    auto object = json::parseObject(header).value_or(QJsonObject());
    object.insert("requestId"_L1, "a1"_L1);
    return *AssetChunk::parse(hostsim::assetPayload(object, body));
}

QJsonObject descriptorMessage(const QByteArray &json)
{
    return json::parseObject(json).value_or(QJsonObject());
}

} // namespace

class RequestTrackerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deadlineCompletesWithTheFailureValueThenRunsTheTimeoutAction()
    {
        ManualScheduler queue;
        PlayerRequestDeadlineStore<int> store(queue);
        QStringList events;
        store.insert(
            u"a1"_s, 12.0, -1, [&] { events << u"timeout"_s; }, [&](int v) { events << QString::number(v); });
        queue.advance(11.9);
        QVERIFY(events.isEmpty());
        queue.advance(0.1);
        QCOMPARE(events, (QStringList {u"-1"_s, u"timeout"_s}));
        QVERIFY(!store.resolve(u"a1"_s, 5)); // a late answer finds nothing
        QCOMPARE(events.size(), 2);
    }

    void answersAndFailuresCompleteOnceWithoutTheTimeoutAction()
    {
        ManualScheduler queue;
        PlayerRequestDeadlineStore<int> store(queue);
        QList<int> values;
        int timeouts = 0;
        auto add = [&](const QString &id) {
            store.insert(
                id, 12.0, 0, [&] { ++timeouts; }, [&](int v) { values << v; });
        };
        add(u"a"_s);
        add(u"b"_s);
        add(u"c"_s);
        QVERIFY(store.resolve(u"a"_s, 7));
        QVERIFY(store.fail(u"b"_s));
        QVERIFY(!store.fail(u"b"_s));
        add(u"c"_s); // the same id again fails the outstanding one first
        QCOMPARE(values, (QList<int> {7, 0, 0}));
        store.failAll();
        QCOMPARE(values, (QList<int> {7, 0, 0, 0}));
        queue.advance(20);
        QCOMPARE(values.size(), 4);
        QCOMPARE(timeouts, 0);
    }

    void chunkReassembly_data()
    {
        QTest::addColumn<QList<QByteArray>>("headers");
        QTest::addColumn<QList<QByteArray>>("bodies");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QByteArray>("data");
        using L = QList<QByteArray>;
        QTest::newRow("one chunk of exactly its bytes")
            << L {R"({"of":1,"bytes":3})"} << L {"abc"} << u"resolved"_s << QByteArray("abc");
        QTest::newRow("three in order") << L {R"({"of":3,"bytes":6})", R"({"seq":1})", R"({"seq":2})"}
                                        << L {"ab", "cd", "ef"} << u"resolved"_s << QByteArray("abcdef");
        QTest::newRow("repeated seq") << L {R"({"of":3,"bytes":6})", R"({"seq":1})", R"({"seq":1})"}
                                      << L {"ab", "cd", "cd"} << u"failed"_s << QByteArray();
        QTest::newRow("skipped seq") << L {R"({"of":3,"bytes":6})", R"({"seq":2})"} << L {"ab", "ef"}
                                     << u"failed"_s << QByteArray();
        QTest::newRow("first body longer than bytes")
            << L {R"({"of":1,"bytes":10})"} << L {"abcdefghijkl"} << u"failed"_s << QByteArray();
        QTest::newRow("later body overflows")
            << L {R"({"of":2,"bytes":4})", R"({"seq":1})"} << L {"abc", "de"} << u"failed"_s << QByteArray();
        QTest::newRow("bytes above the asset limit")
            << L {R"({"of":1,"bytes":16777217})"} << L {"a"} << u"failed"_s << QByteArray();
        QTest::newRow("zero bytes") << L {R"({"of":1,"bytes":0})"} << L {""} << u"failed"_s << QByteArray();
        QTest::newRow("zero chunks") << L {R"({"of":0,"bytes":3})"} << L {"abc"} << u"failed"_s
                                     << QByteArray();
        QTest::newRow("continuation without a start")
            << L {R"({"seq":1})"} << L {"ab"} << u"failed"_s << QByteArray();
        QTest::newRow("every chunk counted but short")
            << L {R"({"of":2,"bytes":6})", R"({"seq":1})"} << L {"ab", "cd"} << u"pending"_s << QByteArray();
        QTest::newRow("short, then filled by one more chunk")
            << L {R"({"of":2,"bytes":6})", R"({"seq":1})", R"({"seq":2})"} << L {"ab", "cd", "ef"}
            << u"resolved"_s << QByteArray("abcdef");
        QTest::newRow("a new start replaces the old one")
            << L {R"({"of":2,"bytes":4})", R"({"of":1,"bytes":2})"} << L {"ab", "xy"} << u"resolved"_s
            << QByteArray("xy");
    }

    void chunkReassembly()
    {
        QFETCH(QList<QByteArray>, headers);
        QFETCH(QList<QByteArray>, bodies);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, data);
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        std::optional<AssetReply> reply;
        tracker.addAsset(u"a1"_s, 1, [&](AssetReply r) { reply = r; }, {});
        for (qsizetype i = 0; i < headers.size(); ++i)
            tracker.assetChunk(chunk(headers[i], bodies[i]));
        if (outcome == "pending"_L1) {
            QVERIFY(!reply);
            queue.advance(12.0);
            QVERIFY(reply);
            QCOMPARE(*reply, AssetReply {});
        } else if (outcome == "failed"_L1) {
            QVERIFY(reply);
            QCOMPARE(*reply, AssetReply {});
        } else {
            QVERIFY(reply);
            QCOMPARE(reply->data, data);
        }
    }

    void reassembledAssetKeepsStatusAndFingerprintOfTheFirstChunk()
    {
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        std::optional<AssetReply> reply;
        tracker.addAsset(u"a1"_s, 1, [&](AssetReply r) { reply = r; }, {});
        tracker.assetChunk(chunk(R"({"of":2,"bytes":4,"status":200,"fingerprint":"v3"})", "ab"));
        tracker.assetChunk(chunk(R"({"seq":1,"status":500,"fingerprint":"other"})", "cd"));
        QCOMPARE(*reply, (AssetReply {200, u"v3"_s, QByteArray("abcd")}));
    }

    void chunksOfUnknownRequestsAreIgnored()
    {
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        tracker.assetChunk(chunk(R"({"of":1,"bytes":3})", "abc"));
        int completions = 0;
        tracker.addAsset(u"a1"_s, 1, [&](AssetReply) { ++completions; }, {});
        tracker.assetChunk(chunk(R"({"seq":1})", "d")); // no reassembly was kept for it
        QCOMPARE(completions, 1);
    }

    void wholeResponsePassesAnEmptyBodyAsNoData()
    {
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        std::optional<AssetReply> reply;
        tracker.addAsset(u"a1"_s, 1, [&](AssetReply r) { reply = r; }, {});
        tracker.assetResponse(AssetResponse {u"a1"_s, 404, u"f"_s, {}});
        QCOMPARE(*reply, (AssetReply {404, u"f"_s, std::nullopt}));
    }

    void failingALaneFailsOnlyItsAssetRequests()
    {
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        QStringList failed;
        bool manifestDone = false;
        for (const auto &[id, lane] : {std::pair(u"a1"_s, 1), std::pair(u"a2"_s, 2), std::pair(u"a3"_s, 1)})
            tracker.addAsset(id, quint64(lane),
                [&failed, id = id](AssetReply r) {
                    if (r == AssetReply {})
                        failed << id;
                },
                {});
        tracker.addManifest(u"m4"_s, [&](std::optional<QJsonObject>) { manifestDone = true; });
        tracker.failLane(1);
        failed.sort();
        QCOMPARE(failed, (QStringList {u"a1"_s, u"a3"_s}));
        QVERIFY(!manifestDone);
        QCOMPARE(tracker.stalledCount(), 0);
        tracker.failAll();
        QVERIFY(manifestDone);
        QCOMPARE(failed.size(), 3);
    }

    void stalledCountIncludesRequestsSentExactlyEightSecondsAgo()
    {
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        tracker.addManifest(u"m1"_s, [](std::optional<QJsonObject>) {});
        queue.advance(1.0);
        tracker.addAsset(u"a2"_s, 1, [](AssetReply) {}, {});
        queue.advance(6.999);
        QCOMPARE(tracker.stalledCount(), 0);
        queue.advance(0.001);
        QCOMPARE(tracker.stalledCount(), 1);
        queue.advance(1.0);
        QCOMPARE(tracker.stalledCount(), 2);
        tracker.resolveManifest(u"m1"_s, QJsonObject {});
        QCOMPARE(tracker.stalledCount(), 1);
    }

    void renditionDescriptor_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("valid");
        const QByteArray page = R"({"index":0,"baseVersion":"b0"})";
        QTest::newRow("under manifest")
            << R"({"type":"renditionManifest","manifest":{"scoreToken":112,"scoreKey":"k","pageCount":1,"pages":[)"
                + page + "]}}"
            << true;
        QTest::newRow("inline")
            << R"({"type":"renditionManifest","scoreToken":112,"scoreKey":"k","pageCount":1,"pages":[)" + page
                + "]}"
            << true;
        QTest::newRow("other type")
            << R"({"type":"manifest","scoreToken":112,"scoreKey":"k","pageCount":1,"pages":[)" + page + "]}"
            << false;
        QTest::newRow("empty score key")
            << R"({"type":"renditionManifest","scoreToken":112,"scoreKey":"","pageCount":1,"pages":[)" + page
                + "]}"
            << false;
        QTest::newRow("token not a number")
            << R"({"type":"renditionManifest","scoreToken":"112","scoreKey":"k","pageCount":1,"pages":[)"
                + page + "]}"
            << false;
        QTest::newRow("no pages counted")
            << R"({"type":"renditionManifest","scoreToken":112,"scoreKey":"k","pageCount":0,"pages":[)" + page
                + "]}"
            << false;
        QTest::newRow("empty pages") << QByteArray(
            R"({"type":"renditionManifest","scoreToken":112,"scoreKey":"k","pageCount":1,"pages":[]})")
                                     << false;
        QTest::newRow("page without version") << QByteArray(
            R"({"type":"renditionManifest","scoreToken":112,"scoreKey":"k","pageCount":1,"pages":[{"index":0}]})")
                                              << false;
        QTest::newRow("page not an object") << QByteArray(
            R"({"type":"renditionManifest","scoreToken":112,"scoreKey":"k","pageCount":1,"pages":[3]})")
                                            << false;
    }

    void renditionDescriptor()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, valid);
        const auto descriptor = RenditionManifestRequestStore::descriptor(descriptorMessage(message));
        QCOMPARE(descriptor.has_value(), valid);
        if (valid)
            QCOMPARE(descriptor->value("scoreToken"_L1).toInt(), 112);
    }

    void renditionAnswerMustNameTheRequestedRef_data()
    {
        QTest::addColumn<QString>("ref");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("same ref") << u"harbour-reel.violin"_s << true;
        QTest::newRow("no ref") << QString() << true;
        QTest::newRow("other ref") << u"harbour-reel.clarinet"_s << false;
    }

    void renditionAnswerMustNameTheRequestedRef()
    {
        QFETCH(QString, ref);
        QFETCH(bool, delivered);
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        std::optional<std::optional<QJsonObject>> result;
        tracker.addRenditionManifest(u"r1"_s, u"harbour-reel.violin"_s, [&](auto d) { result = d; });
        QJsonObject answer = descriptorMessage(
            R"({"type":"renditionManifest","requestId":"r1","scoreToken":112,"scoreKey":"k","pageCount":1,"pages":[{"index":0,"baseVersion":"b"}]})");
        if (!ref.isEmpty())
            answer.insert("ref"_L1, ref);
        QVERIFY(tracker.resolveRenditionManifest(u"r1"_s, answer));
        QVERIFY(result);
        QCOMPARE(result->has_value(), delivered);
        QCOMPARE(tracker.stalledCount(), 0);
        QVERIFY(!tracker.resolveRenditionManifest(u"r1"_s, answer));
    }
};

QTEST_GUILESS_MAIN(RequestTrackerTest)
#include "tst_requesttracker.moc"
