// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HostSimulator.h"
#include "PlayerLink.h"
#include "show/ShowModel.h"

#include <QFile>
#include <QPointer>

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

// The asset requests of the urgent or of the background lane, as "token/page/kind", in arrival order.
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

// A whole Player as the application puts it together: the link and cache, and the show model on this
// thread fed by the connection and asking it for manifests and renditions.
class LivePlayer : public PlayerLink
{
public:
    LivePlayer()
    {
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
        PlayerLink::join(host.port(), pin);
    }

    // Whether every asset the model asked the pump for is in the cache.
    bool wantsCached()
    {
        const QList<AssetStore::Want> wants = model.currentWants();
        return !wants.isEmpty() && assets->cachedCount(wants) == wants.size();
    }

    // Destroyed before the link it uses.
    ShowModel model {main};
};

} // namespace pgw::test
