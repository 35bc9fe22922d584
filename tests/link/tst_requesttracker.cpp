// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostLaneCodec.h"
#include "link/PlayerRequestTracker.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"

#include <QJsonArray>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

AssetChunk chunk(QJsonObject header, const QByteArray &body)
{
    header.insert("requestId"_L1, "a1"_L1);
    return *AssetChunk::parse(hostsim::assetPayload(header, body));
}

// The asset a1 put together from its chunks, written "of/bytes:body" for the first and "seq:body" for
// the others: its bytes, "failed", or "pending" while it waits for more.
QString reassembled(const QString &chunks)
{
    ManualScheduler queue;
    PlayerRequestTracker tracker(queue);
    std::optional<AssetReply> reply;
    tracker.addAsset(u"a1"_s, 1, [&](AssetReply r) { reply = r; }, {});
    for (const QString &item : chunks.split(u' ')) {
        const QString head = item.section(u':', 0, 0);
        const QJsonObject header = head.contains(u'/')
            ? QJsonObject {{"of"_L1, head.section(u'/', 0, 0).toLongLong()},
                {"bytes"_L1, head.section(u'/', 1).toLongLong()}}
            : QJsonObject {{"seq"_L1, head.toLongLong()}};
        tracker.assetChunk(chunk(header, item.section(u':', 1).toLatin1()));
    }
    const bool pending = !reply;
    queue.advance(12.0);
    if (reply == AssetReply {})
        return pending ? u"pending"_s : u"failed"_s;
    return reply->status == 0 && !reply->fingerprint ? QString::fromLatin1(reply->data.value_or("?"))
                                                     : u"?"_s;
}

} // namespace

class RequestTrackerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deadlineStoreCompletesEachRequestOnce()
    {
        ManualScheduler queue;
        PlayerRequestDeadlineStore<int> store(queue);
        QStringList events;
        const auto add = [&](const QString &id, double seconds) {
            store.insert(
                id, seconds, -1, [&events, id] { events << id + u":timeout"_s; },
                [&events, id](int value) { events << id + u':' + QString::number(value); });
        };
        add(u"t"_s, 12.0);
        for (const QString &id : {u"a"_s, u"b"_s, u"c"_s})
            add(id, 30.0);
        QVERIFY(store.resolve(u"a"_s, 7));
        QVERIFY(store.fail(u"b"_s));
        QVERIFY(!store.fail(u"b"_s));
        add(u"c"_s, 30.0); // the same id again fails the outstanding one first
        queue.advance(11.9);
        QCOMPARE(events.size(), 3);
        queue.advance(0.1);
        QVERIFY(!store.resolve(u"t"_s, 5)); // a late answer finds nothing
        store.failAll();
        queue.advance(30);
        QCOMPARE(
            events, (QStringList {u"a:7"_s, u"b:-1"_s, u"c:-1"_s, u"t:-1"_s, u"t:timeout"_s, u"c:-1"_s}));
    }

    void chunkReassembly()
    {
        QCOMPARE(reassembled(u"1/3:abc"_s), u"abc"_s);
        QCOMPARE(reassembled(u"3/6:ab 1:cd 2:ef"_s), u"abcdef"_s);
        QCOMPARE(reassembled(u"3/6:ab 1:cd 1:cd"_s), u"failed"_s); // a repeated seq
        QCOMPARE(reassembled(u"3/6:ab 2:ef"_s), u"failed"_s); // a skipped seq
        QCOMPARE(reassembled(u"1/10:abcdefghijkl"_s), u"failed"_s); // the first body longer than the asset
        QCOMPARE(reassembled(u"2/4:abc 1:de"_s), u"failed"_s); // a later body overflows
        QCOMPARE(reassembled(u"1/16777217:a"_s), u"failed"_s); // above the asset limit
        QCOMPARE(reassembled(u"1/0:"_s), u"failed"_s);
        QCOMPARE(reassembled(u"0/3:abc"_s), u"failed"_s);
        QCOMPARE(reassembled(u"1:ab"_s), u"failed"_s); // a continuation without a start
        QCOMPARE(reassembled(u"2/6:ab 1:cd"_s), u"pending"_s); // every chunk counted, but short
        QCOMPARE(reassembled(u"2/6:ab 1:cd 2:ef"_s), u"abcdef"_s); // short, then filled by one more
        QCOMPARE(reassembled(u"2/4:ab 1/2:xy"_s), u"xy"_s); // a new start replaces the old one
    }

    void chunksCompleteTheirRequestOnly()
    {
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        // Chunks of a request nobody waits for are dropped, not kept for a later one of the same id.
        tracker.assetChunk(chunk({{"of"_L1, 1}, {"bytes"_L1, 3}}, "abc"));
        std::optional<AssetReply> reply;
        tracker.addAsset(u"a1"_s, 1, [&](AssetReply r) { reply = r; }, {});
        tracker.assetChunk(chunk({{"seq"_L1, 1}}, "d"));
        QCOMPARE(reply, AssetReply {});
        // A reassembled asset keeps the status and fingerprint of its first chunk.
        tracker.addAsset(u"a1"_s, 1, [&](AssetReply r) { reply = r; }, {});
        tracker.assetChunk(
            chunk({{"of"_L1, 2}, {"bytes"_L1, 4}, {"status"_L1, 200}, {"fingerprint"_L1, "v3"_L1}}, "ab"));
        tracker.assetChunk(chunk({{"seq"_L1, 1}, {"status"_L1, 500}, {"fingerprint"_L1, "other"_L1}}, "cd"));
        QCOMPARE(reply, (AssetReply {200, u"v3"_s, QByteArray("abcd")}));
    }

    void lanesAndStalledRequests()
    {
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        QStringList done;
        const auto note = [&done](const QString &id) { return [&done, id](auto) { done << id; }; };
        tracker.addManifest(u"m1"_s, note(u"m1"_s));
        queue.advance(1.0);
        tracker.addAsset(u"a2"_s, 1, note(u"a2"_s), {});
        tracker.addAsset(u"a3"_s, 2, note(u"a3"_s), {});
        tracker.addRenditionManifest(u"r4"_s, u"ref"_s, note(u"r4"_s));
        // A request sent exactly eight seconds ago is stalled.
        queue.advance(6.999);
        QCOMPARE(tracker.stalledCount(), 0);
        queue.advance(0.001);
        QCOMPARE(tracker.stalledCount(), 1);
        queue.advance(1.0);
        QCOMPARE(tracker.stalledCount(), 4);
        tracker.resolveManifest(u"m1"_s, QJsonObject {});
        // Failing a lane fails its asset requests only.
        tracker.failLane(1);
        QCOMPARE(tracker.stalledCount(), 2);
        QCOMPARE(done, (QStringList {u"m1"_s, u"a2"_s}));
        tracker.failAll();
        done.sort();
        QCOMPARE(done, (QStringList {u"a2"_s, u"a3"_s, u"m1"_s, u"r4"_s}));
    }

    void renditionAnswers()
    {
        const QJsonObject descriptor {{"scoreToken"_L1, 112}, {"scoreKey"_L1, "k"_L1}, {"pageCount"_L1, 1},
            {"pages"_L1, QJsonArray {QJsonObject {{"index"_L1, 0}, {"baseVersion"_L1, "b0"_L1}}}}};
        // The descriptor inline in an answer, with one member replaced.
        const auto answer = [&](const char *key, const QJsonValue &value) {
            QJsonObject message = descriptor;
            message.insert("type"_L1, "renditionManifest"_L1);
            message.insert(QLatin1StringView(key), value);
            return message;
        };
        const auto valid = [](const QJsonObject &message) {
            const auto found = RenditionManifestRequestStore::descriptor(message);
            return found && found->value("scoreToken"_L1) == 112;
        };
        QVERIFY(valid(QJsonObject {{"type"_L1, "renditionManifest"_L1}, {"manifest"_L1, descriptor}}));
        QVERIFY(valid(answer("ref", "harbour-reel.violin"_L1)));
        for (const auto &[key, value] :
            std::initializer_list<std::pair<const char *, QJsonValue>> {{"type", "manifest"_L1},
                {"scoreKey", ""_L1}, {"scoreToken", "112"_L1}, {"pageCount", 0}, {"pages", QJsonArray {}},
                {"pages", QJsonArray {QJsonObject {{"index"_L1, 0}}}}, {"pages", QJsonArray {3}}})
            QVERIFY2(!valid(answer(key, value)), key);

        // An answer naming a part other than the one asked for completes with nothing.
        ManualScheduler queue;
        PlayerRequestTracker tracker(queue);
        QStringList results;
        for (const QString &ref : {u"harbour-reel.violin"_s, QString(), u"harbour-reel.clarinet"_s}) {
            tracker.addRenditionManifest(u"r1"_s, u"harbour-reel.violin"_s,
                [&](auto found) { results << (found ? found->value("scoreKey"_L1).toString() : u"none"_s); });
            QVERIFY(tracker.resolveRenditionManifest(
                u"r1"_s, ref.isEmpty() ? answer("type", "renditionManifest"_L1) : answer("ref", ref)));
            QVERIFY(!tracker.resolveRenditionManifest(u"r1"_s, answer("ref", ref)));
        }
        QCOMPARE(results, (QStringList {u"k"_s, u"k"_s, u"none"_s}));
        QCOMPARE(tracker.stalledCount(), 0);
    }
};

QTEST_GUILESS_MAIN(RequestTrackerTest)
#include "tst_requesttracker.moc"
