#pragma once

#include "HostSimulator.h"
#include "assets/AssetStore.h"
#include "link/PlayerConnection.h"
#include "link/TcpByteStream.h"
#include "show/ShowModel.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

namespace pgw::test {

inline hostsim::SimShow sampleShow()
{
    return *hostsim::SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
}

// The bytes of a sample-show image, e.g. "101/0/base.png".
inline QByteArray samplePage(const QString &relative)
{
    QFile file(QStringLiteral(PGW_SHARED_DIR "/sample-show/pages/") + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The asset requests a Host received, as "token/page/kind", in arrival order; one lane only.
inline QStringList assetRequests(const hostsim::HostSimulator &host, bool urgent)
{
    QStringList requests;
    for (const QJsonObject &request : host.recorded(QStringLiteral("asset"))) {
        if (request.value(QLatin1StringView("urgent")).toBool() != urgent)
            continue;
        requests.append(QStringLiteral("%1/%2/%3")
                            .arg(request.value(QLatin1StringView("scoreToken")).toInteger())
                            .arg(request.value(QLatin1StringView("pageIndex")).toInteger())
                            .arg(request.value(QLatin1StringView("kind")).toString()));
    }
    return requests;
}

// A Player put together as the application does: the connection and the asset store on their own
// queues, the show model on this thread, a real cache directory, and the callbacks between them.
class LivePlayer
{
public:
    LivePlayer()
    {
        connection = PlayerConnection::create({&connectionQueue.scheduler(), &main,
            TcpByteStream::factory(connectionQueue.scheduler()), [](double, double) { return 1.0; }});
        assets
            = AssetStore::create(cache.filePath(QStringLiteral("Assets")), {assetsQueue.scheduler(), main});
        model.setAssets(assets);

        std::weak_ptr<PlayerConnection> link = connection;
        model.requestManifest = [link](ShowModel::ManifestAnswer answer) {
            if (const auto connection = link.lock())
                connection->requestManifest(std::move(answer));
            else
                answer(std::nullopt);
        };
        model.requestRenditionManifest = [link](const QString &ref, ShowModel::ManifestAnswer answer) {
            if (const auto connection = link.lock())
                connection->requestRenditionManifest(ref, std::move(answer));
            else
                answer(std::nullopt);
        };
        assets->setNetwork([link](qint64 token, qint64 page, const QString &kind, const QString &version,
                               bool urgent, AssetFetchCompletion completion) {
            if (const auto connection = link.lock())
                connection->requestAsset(token, page, kind, version, urgent, std::move(completion));
            else
                completion(0, std::nullopt, std::nullopt);
        });
        QPointer<ShowModel> show = &model;
        connection->onMessage = [show](const QJsonObject &message) {
            if (show)
                show->handle(message);
        };
        connection->onStateChange = [show](const PlayerConnection::State &state) {
            using Kind = PlayerConnection::State::Kind;
            if (!show)
                return;
            if (state.kind == Kind::Ended)
                show->connectionState(false, state.reason);
            else
                show->connectionState(state.kind == Kind::Connected, std::nullopt);
        };
    }

    void join(const hostsim::HostSimulator &host, const std::optional<QString> &pin = std::nullopt)
    {
        model.didJoin();
        connection->join(NetworkEndpoint::hostPort(QStringLiteral("127.0.0.1"), host.port()),
            QStringLiteral("Ann"), std::nullopt, pin, std::nullopt, false);
    }

    // Whether every asset the model asked the pump for is in the cache.
    bool wantsCached()
    {
        const QList<AssetStore::Want> wants = model.currentWants();
        return !wants.isEmpty() && assets->cachedCount(wants) == wants.size();
    }

    // Declared first, destroyed last: the connection tears down on its queue when it goes.
    SerialQueue connectionQueue {QStringLiteral("player.connection")};
    SerialQueue assetsQueue {QStringLiteral("player.assets")};
    QObject mainContext;
    EventLoopScheduler main {&mainContext};
    QTemporaryDir cache;
    std::shared_ptr<PlayerConnection> connection;
    std::shared_ptr<AssetStore> assets;
    ShowModel model {main};
};

} // namespace pgw::test
