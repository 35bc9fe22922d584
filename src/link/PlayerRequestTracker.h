// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/PlayerRequestDeadlineStore.h"
#include "link/RenditionManifestRequestStore.h"
#include "link/Wire.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>

#include <optional>

namespace pgw {

// What an asset request ends with; status 0 and nothing else when it failed.
struct AssetReply
{
    qint64 status = 0;
    std::optional<QString> fingerprint;
    std::optional<QByteArray> data;
    bool operator==(const AssetReply &) const = default;
};

// A chunked asset being put together.
struct PartialAsset
{
    qint64 status = 0;
    std::optional<QString> fingerprint;
    qint64 totalBytes = 0;
    qint64 totalChunks = 0;
    qint64 nextSeq = 1;
    QByteArray buffer;
};

// The requests a connection has sent and not yet seen answered: deadlines, the lane each asset
// request went out on, chunk reassembly and the stalled count. Lives on the connection queue.
class PlayerRequestTracker
{
public:
    static constexpr double deadline = 12.0;
    static constexpr double stallThreshold = 8.0;

    using ManifestCompletion = std::function<void(std::optional<QJsonObject>)>;
    using AssetCompletion = std::function<void(AssetReply)>;

    explicit PlayerRequestTracker(Scheduler &queue);

    void addManifest(const QString &requestId, ManifestCompletion completion);
    void addRenditionManifest(const QString &requestId, const QString &ref, ManifestCompletion completion);
    // `onTimeout` runs after the completion when the deadline, not an answer or a failure, ends it.
    void addAsset(
        const QString &requestId, quint64 lane, AssetCompletion completion, std::function<void()> onTimeout);

    bool resolveManifest(const QString &requestId, const std::optional<QJsonObject> &manifest);
    bool resolveRenditionManifest(const QString &requestId, const QJsonObject &message);
    void assetResponse(const AssetResponse &response);
    void assetChunk(const AssetChunk &chunk);

    // Fails the asset requests that went out on one lane.
    void failLane(quint64 lane);
    void failAll();
    // Requests outstanding for at least the stall threshold.
    int stalledCount() const;

private:
    void failAsset(const QString &requestId);
    void completeIfWhole(const QString &requestId);

    Scheduler &m_queue;
    PlayerRequestDeadlineStore<AssetReply> m_assets;
    PlayerRequestDeadlineStore<std::optional<QJsonObject>> m_manifests;
    RenditionManifestRequestStore m_renditionManifests;
    QHash<QString, double> m_startedAt;
    QHash<QString, quint64> m_assetLanes;
    QHash<QString, PartialAsset> m_partialAssets;
};

} // namespace pgw
