// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetStore.h"
#include "link/PlayerConnection.h"
#include "link/TcpByteStream.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QTemporaryDir>

namespace pgw::test {

// The Player's connection on its "player.connection" queue and its asset store over a real cache
// directory on "player.assets", delivering to this thread, with the store's network routed to the
// connection as the application routes it.
class PlayerLink
{
public:
    PlayerLink()
    {
        connection = PlayerConnection::create({&connectionQueue.scheduler(), &main,
            TcpByteStream::factory(connectionQueue.scheduler()), [](double, double) { return 1.0; }});
        assets
            = AssetStore::create(cache.filePath(QStringLiteral("Assets")), {assetsQueue.scheduler(), main});
        std::weak_ptr<PlayerConnection> link = connection;
        assets->setNetwork([link](qint64 token, qint64 page, const QString &kind, const QString &version,
                               bool urgent, AssetFetchCompletion completion) {
            if (const auto connection = link.lock())
                connection->requestAsset(token, page, kind, version, urgent, std::move(completion));
            else
                completion(0, std::nullopt, std::nullopt);
        });
    }

    void join(quint16 port, const std::optional<QString> &pin = std::nullopt,
        const std::optional<QByteArray> &linkSecret = std::nullopt)
    {
        connection->join(NetworkEndpoint::hostPort(QStringLiteral("127.0.0.1"), port), QStringLiteral("Ann"),
            std::nullopt, pin, linkSecret, linkSecret.has_value());
    }

    // Declared first, destroyed last: the connection tears down on its queue when it goes.
    SerialQueue connectionQueue {QStringLiteral("player.connection")};
    SerialQueue assetsQueue {QStringLiteral("player.assets")};
    QObject mainContext;
    EventLoopScheduler main {&mainContext};
    QTemporaryDir cache;
    std::shared_ptr<PlayerConnection> connection;
    std::shared_ptr<AssetStore> assets;
};

} // namespace pgw::test
