// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerRequestTracker.h"

#include "support/Json.h"
#include "support/Logging.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

PlayerRequestTracker::PlayerRequestTracker(Scheduler &queue)
    : m_queue(queue)
    , m_assets(queue)
    , m_manifests(queue)
    , m_renditionManifests(queue)
{ }

void PlayerRequestTracker::addManifest(const QString &requestId, ManifestCompletion completion)
{
    m_manifests.insert(requestId, deadline, std::nullopt, {},
        [this, requestId, completion = std::move(completion)](std::optional<QJsonObject> manifest) {
            m_startedAt.remove(requestId);
            completion(std::move(manifest));
        });
    m_startedAt.insert(requestId, m_queue.now());
}

void PlayerRequestTracker::addRenditionManifest(
    const QString &requestId, const QString &ref, ManifestCompletion completion)
{
    m_renditionManifests.insert(requestId, ref, deadline,
        [this, requestId, completion = std::move(completion)](std::optional<QJsonObject> descriptor) {
            m_startedAt.remove(requestId);
            completion(std::move(descriptor));
        });
    m_startedAt.insert(requestId, m_queue.now());
}

void PlayerRequestTracker::addAsset(
    const QString &requestId, quint64 lane, AssetCompletion completion, std::function<void()> onTimeout)
{
    m_assets.insert(requestId, deadline, AssetReply {}, std::move(onTimeout),
        [this, requestId, completion = std::move(completion)](AssetReply reply) {
            m_startedAt.remove(requestId);
            m_assetLanes.remove(requestId);
            m_partialAssets.remove(requestId);
            completion(std::move(reply));
        });
    m_startedAt.insert(requestId, m_queue.now());
    m_assetLanes.insert(requestId, lane);
}

bool PlayerRequestTracker::resolveManifest(
    const QString &requestId, const std::optional<QJsonObject> &manifest)
{
    return m_manifests.resolve(requestId, manifest);
}

bool PlayerRequestTracker::resolveRenditionManifest(const QString &requestId, const QJsonObject &message)
{
    return m_renditionManifests.resolve(
        requestId, json::optString(message, "ref"_L1), RenditionManifestRequestStore::descriptor(message));
}

void PlayerRequestTracker::assetResponse(const AssetResponse &response)
{
    m_partialAssets.remove(response.requestId);
    m_assets.resolve(response.requestId,
        AssetReply {response.status, response.fingerprint,
            response.png.isEmpty() ? std::nullopt : std::optional(response.png)});
}

void PlayerRequestTracker::assetChunk(const AssetChunk &chunk)
{
    const QString &id = chunk.requestId;
    if (!m_assets.contains(id)) {
        m_partialAssets.remove(id);
        return;
    }
    if (chunk.startsReassembly()) {
        const qint64 of = *chunk.of;
        const qint64 bytes = *chunk.bytes;
        if (of < 1 || bytes < 1 || bytes > Wire::maxAssetBytes || chunk.body.size() > bytes) {
            qCWarning(
                lcLink, "Refused asset %s: its first chunk announces impossible sizes", qUtf8Printable(id));
            failAsset(id);
            return;
        }
        PartialAsset partial {chunk.status, chunk.fingerprint, bytes, of, 1, {}};
        partial.buffer.reserve(qsizetype(bytes));
        partial.buffer.append(chunk.body);
        m_partialAssets.insert(id, std::move(partial));
    } else {
        auto partial = m_partialAssets.find(id);
        if (partial == m_partialAssets.end() || chunk.seq != partial->nextSeq
            || partial->buffer.size() + chunk.body.size() > partial->totalBytes) {
            qCWarning(
                lcLink, "Refused asset %s: a chunk out of sequence or past its size", qUtf8Printable(id));
            failAsset(id);
            return;
        }
        partial->buffer.append(chunk.body);
        ++partial->nextSeq;
    }
    completeIfWhole(id);
}

void PlayerRequestTracker::completeIfWhole(const QString &requestId)
{
    const auto partial = m_partialAssets.constFind(requestId);
    // With every chunk counted but bytes missing, only more chunks or the deadline can end it.
    if (partial->nextSeq < partial->totalChunks || partial->buffer.size() < partial->totalBytes)
        return;
    PartialAsset whole = m_partialAssets.take(requestId);
    m_assets.resolve(requestId, AssetReply {whole.status, whole.fingerprint, std::move(whole.buffer)});
}

void PlayerRequestTracker::failAsset(const QString &requestId)
{
    m_partialAssets.remove(requestId);
    m_assets.fail(requestId);
}

void PlayerRequestTracker::failLane(quint64 lane)
{
    const auto lanes = m_assetLanes;
    for (auto it = lanes.begin(); it != lanes.end(); ++it) {
        if (it.value() == lane)
            failAsset(it.key());
    }
}

void PlayerRequestTracker::failAll()
{
    m_assets.failAll();
    m_manifests.failAll();
    m_renditionManifests.failAll();
    m_startedAt.clear();
    m_assetLanes.clear();
    m_partialAssets.clear();
}

int PlayerRequestTracker::stalledCount() const
{
    const double cutoff = m_queue.now() - stallThreshold;
    return int(
        std::count_if(m_startedAt.begin(), m_startedAt.end(), [cutoff](double at) { return at <= cutoff; }));
}

} // namespace pgw
