// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeDnsSd.h"
#include "MemoryStream.h"
#include "link/PlayerConnection.h"
#include "link/PlayerCrypto.h"
#include "support/ManualScheduler.h"

#include <QJsonObject>
#include <QStringList>

namespace pgw::testing {

using namespace Qt::StringLiterals;

using Auth = PlayerConnection::AuthenticationEvent;
using State = PlayerConnection::State;

inline QJsonObject typed(const char *type, QJsonObject fields = {})
{
    fields.insert("type"_L1, QLatin1StringView(type));
    return fields;
}

inline QJsonObject hello()
{
    return typed("hello", {{"protocolVersion"_L1, 1}});
}

inline QJsonObject auth(const char *status)
{
    return typed("auth", {{"status"_L1, QLatin1StringView(status)}});
}

// One connection on a manual scheduler that serves as both its queue and the main thread, with
// every main-thread delivery logged in order.
struct Harness
{
    ManualScheduler scheduler;
    MemoryNetwork network {scheduler};
    FakeDnsSd dnssd {scheduler};
    double jitter = 1.0;
    std::shared_ptr<PlayerConnection> connection;
    QStringList log;
    QList<State> states;
    QList<QJsonObject> messages;
    QList<QList<DiscoveredHost>> hostLists;

    Harness()
    {
        connection = PlayerConnection::create({&scheduler, &scheduler, network.factory(),
            [this](double, double) { return jitter; }, dnssd.browsers(), dnssd.resolvers()});
        connection->onStateChange = [this](const State &state) {
            states << state;
            log << u"state:"_s + QString::number(int(state.kind)) + state.reason;
        };
        connection->onMessage = [this](const QJsonObject &message) {
            messages << message;
            log << u"message:"_s + message.value("type"_L1).toString();
        };
        connection->onAuthenticationChange
            = [this](Auth event) { log << u"auth:"_s + QString::number(int(event)); };
        connection->onEncryptionChange = [this](bool on) { log << (on ? u"encrypted"_s : u"plain"_s); };
        connection->onHostsChange = [this](const QList<DiscoveredHost> &hosts) {
            hostLists << hosts;
            log << u"hosts:"_s + QString::number(hosts.size());
        };
    }

    void run() { scheduler.runPending(); }

    std::shared_ptr<MemoryStream> join(
        std::optional<QString> pin = {}, std::optional<QByteArray> key = {}, bool supportsEncryption = false)
    {
        return joinAt(
            NetworkEndpoint::hostPort(u"127.0.0.1"_s, 7000), std::nullopt, pin, key, supportsEncryption);
    }

    std::shared_ptr<MemoryStream> joinAt(const NetworkEndpoint &endpoint,
        const std::optional<QString> &recoveryServiceName, std::optional<QString> pin = {},
        std::optional<QByteArray> key = {}, bool supportsEncryption = false)
    {
        connection->join(endpoint, u"Ann"_s, recoveryServiceName, pin, key, supportsEncryption);
        run();
        return network.last();
    }

    // Joins with the link's secret, or else the PIN, to a Host that holds the same key.
    std::shared_ptr<MemoryStream> joinSealed(
        const std::optional<QString> &pin, const std::optional<QByteArray> &key = {}, bool advertised = true)
    {
        auto control = join(pin, key, advertised);
        control->hostKeyMaterial = key ? key : PlayerCrypto::ikmForJoinPIN(*pin);
        return control;
    }

    // Accepts a control dial and its assets dial; returns the assets stream.
    std::shared_ptr<MemoryStream> accept(const std::shared_ptr<MemoryStream> &control)
    {
        control->accept();
        run();
        auto assets = network.last();
        assets->hostKeyMaterial = control->hostKeyMaterial;
        assets->accept();
        run();
        return assets;
    }

    // Accepts both dials and reads what the Player sent on them; returns the assets stream.
    std::shared_ptr<MemoryStream> open(const std::shared_ptr<MemoryStream> &control)
    {
        auto assets = accept(control);
        control->received();
        assets->received();
        return assets;
    }

    void tell(const std::shared_ptr<MemoryStream> &stream, const QJsonObject &message, bool plain = false)
    {
        stream->reply(message, plain);
        run();
    }

    std::shared_ptr<MemoryStream> greet(const std::shared_ptr<MemoryStream> &control)
    {
        open(control);
        tell(control, hello());
        return control;
    }

    std::shared_ptr<MemoryStream> connectPlain() { return greet(join()); }

    // Moves time on until the connection dials again; the dial runs exactly at its deadline. The Host
    // keeps its key.
    std::shared_ptr<MemoryStream> nextDial()
    {
        const qsizetype dials = network.streams.size();
        for (int i = 0; i < 100'000 && network.streams.size() == dials; ++i)
            scheduler.advance(0.001);
        if (dials > 0)
            network.last()->hostKeyMaterial = network.streams[dials - 1]->hostKeyMaterial;
        return network.last();
    }

    std::shared_ptr<MemoryStream> assets() const
    {
        return network.streams.size() >= 2 ? network.streams[1] : nullptr;
    }
    State lastState() const { return states.isEmpty() ? State::idle() : states.last(); }
};

} // namespace pgw::testing
