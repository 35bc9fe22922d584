// SPDX-License-Identifier: GPL-3.0-or-later
// Asset payloads and chunk reassembly: the input is a stream of frames on the assets connection, answering
// the outstanding requests fuzz::assetRequestIds. Whole assets (type 2) and chunks (type 3) are parsed and
// handed to the request tracker; every other frame is skipped. An asset the tracker completes must be exactly
// the body of its whole frame, or the bodies of its chunks since the chunk that started it.
#include "FuzzSupport.h"

#include "link/PlayerRequestTracker.h"
#include "support/ManualScheduler.h"

#include <QHash>

using namespace pgw;

namespace {

// The body after the 4-byte header length and the header, when the payload is long enough to hold them.
QByteArray bodyOf(const QByteArray &payload)
{
    const qint64 headerLength = Wire::bigEndianLength(payload);
    return payload.size() < 4 || headerLength > payload.size() - 4 ? QByteArray()
                                                                   : payload.sliced(4 + headerLength);
}

// Parsing must not depend on whether the payload's buffer is shared: an unshared one becomes the body.
template<typename Parsed>
std::optional<Parsed> parsed(const QByteArray &payload)
{
    auto fromShared = Parsed::parse(payload);
    auto fromOwn = Parsed::parse(QByteArray(payload.constData(), payload.size()));
    fuzz::require(fromShared == fromOwn, "an asset payload parses alike from a shared or an own buffer");
    return fromShared;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ManualScheduler queue;
    QHash<QString, QByteArray> expected;
    QHash<QString, int> completions;
    {
        PlayerRequestTracker tracker(queue);
        quint64 lane = 0;
        for (const QString &id : fuzz::assetRequestIds) {
            tracker.addAsset(id, lane++ % 2,
                [&, id](AssetReply reply) {
                    ++completions[id];
                    if (reply.data)
                        fuzz::require(
                            *reply.data == expected.value(id), "a completed asset is what was sent");
                },
                {});
        }

        FrameReader reader;
        reader.append(QByteArrayView(data, qsizetype(size)));
        while (auto frame = reader.next()) {
            if (frame->type == Wire::AssetResponseFrame) {
                if (auto response = parsed<AssetResponse>(frame->payload)) {
                    fuzz::require(
                        response->png == bodyOf(frame->payload), "a whole asset's body is the rest");
                    expected[response->requestId] = response->png;
                    tracker.assetResponse(*response);
                }
            } else if (frame->type == Wire::AssetChunkFrame) {
                if (auto chunk = parsed<AssetChunk>(frame->payload)) {
                    fuzz::require(chunk->body == bodyOf(frame->payload), "a chunk's body is the rest");
                    if (chunk->startsReassembly())
                        expected[chunk->requestId] = chunk->body;
                    else
                        expected[chunk->requestId] += chunk->body;
                    tracker.assetChunk(*chunk);
                }
            }
        }
        tracker.failLane(0);
        queue.advance(PlayerRequestTracker::deadline);
        fuzz::require(tracker.stalledCount() == 0, "nothing is outstanding after the deadline");
    }
    for (const QString &id : fuzz::assetRequestIds)
        fuzz::require(completions.value(id) == 1, "every request completes exactly once");
    return 0;
}
