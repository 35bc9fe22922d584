// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ControllerFixture.h"
#include "SampleShow.h"
#include "link/TcpByteStream.h"

namespace pgw::test {

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

inline DiscoveredHost hostFor(const hostsim::HostSimulator &host, const std::optional<QString> &pin = {})
{
    DiscoveredHost discovered;
    discovered.id = QStringLiteral("link:127.0.0.1:") + QString::number(host.port());
    discovered.name = QStringLiteral("Rehearsal Room");
    discovered.endpoint = NetworkEndpoint::hostPort(QStringLiteral("127.0.0.1"), host.port());
    discovered.pin = pin;
    discovered.supportsEncryption = true;
    return discovered;
}

// The Player as the application puts it together, with its real threads and sockets, over a data
// directory of its own or one shared with a Player before it.
struct LivePlayer
{
    QTemporaryDir ownDirectory;
    MemoryDefaultsStore ownDefaults;
    EventLoopScheduler main {qApp};
    SerialQueue connectionQueue {QStringLiteral("player.connection")};
    SerialQueue assetQueue {QStringLiteral("player.assets")};
    std::unique_ptr<AppController> controller;

    explicit LivePlayer(
        QTemporaryDir *directory = nullptr, DefaultsStore *defaults = nullptr, double healthInterval = 1000)
    {
        // Real sockets; browsing stays away from the machine's own DNS-SD.
        PlayerConnection::Environment connection;
        connection.queue = &connectionQueue.scheduler();
        connection.streams = TcpByteStream::factory(connectionQueue.scheduler());
        AppController::Environment env = environment((directory ? directory : &ownDirectory)->path(),
            defaults ? *defaults : ownDefaults, main, assetQueue.scheduler(), std::move(connection));
        env.healthInterval = healthInterval;
        controller = std::make_unique<AppController>(std::move(env));
    }
    ~LivePlayer()
    {
        controller->prepareForTermination();
        controller.reset();
    }
    AppController *operator->() { return controller.get(); }
    ShowModel &model() { return controller->model(); }

    void join(const hostsim::HostSimulator &host, const std::optional<QString> &pin = {})
    {
        controller->join(hostFor(host, pin), QStringLiteral("Ann"), false);
    }

    // Whether every page the model wants is in the cache.
    bool cacheComplete()
    {
        const auto wants = controller->model().currentWants();
        const auto coverage = controller->assets().cachedPageCoverage(wants);
        return !wants.isEmpty() && coverage.ready == coverage.total;
    }
};

} // namespace pgw::test
