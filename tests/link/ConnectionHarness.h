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

using Incoming = hostsim::HostLaneCodec::Incoming;
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

// One connection on a manual scheduler that serves as both its queue and the main thread. Its log
// holds, in order, what the Player reported ("connecting", "auth:required", "sealed", "msg:nav"),
// and after every step the streams it dialled ("dial:2", "dial:3+0.25" when that long after the step
// began), what it sent on them ("2>attach", "1>[hi]" when sealed, "1>hello:pin" for a secure hello,
// "1>hi+pin", "1>manifest:m1") and which it cut ("cut:1").
struct Harness
{
    ManualScheduler scheduler;
    MemoryNetwork network {scheduler};
    FakeDnsSd dnssd {scheduler};
    double jitter = 1.0;
    std::shared_ptr<PlayerConnection> connection;
    QStringList log;
    State lastState = State::idle();
    QList<QList<DiscoveredHost>> hostLists;
    // Everything the Player sent, stream by stream.
    QList<QList<Incoming>> sent;

    Harness()
    {
        connection = PlayerConnection::create({&scheduler, &scheduler, network.factory(),
            [this](double, double) { return jitter; }, dnssd.browsers(), dnssd.resolvers()});
        connection->onStateChange = [this](const State &state) {
            lastState = state;
            log << QStringList {u"idle"_s, u"connecting"_s, u"connected"_s, u"ended:"_s}.value(
                       int(state.kind))
                    + state.reason;
        };
        connection->onMessage
            = [this](const QJsonObject &message) { log << u"msg:"_s + message.value("type"_L1).toString(); };
        connection->onAuthenticationChange = [this](PlayerConnection::AuthenticationEvent event) {
            log << u"auth:"_s + QStringList {u"required"_s, u"rejected"_s, u"accepted"_s}.value(int(event));
        };
        connection->onEncryptionChange = [this](bool on) { log << (on ? u"sealed"_s : u"plain"_s); };
        connection->onHostsChange = [this](const QList<DiscoveredHost> &hosts) { hostLists << hosts; };
    }

    void run() { advance(0); }
    void advance(double seconds)
    {
        const double start = scheduler.now();
        scheduler.advance(seconds);
        collect(start);
    }
    // The log since the last call, one line.
    QString take() { return std::exchange(log, {}).join(u' '); }

    // Logs the streams dialled since `start` ("dial:3+0.25" when made 0.25 s after it), what the Player
    // sent and what it cut.
    void collect(double start)
    {
        for (qsizetype i = 0; i < network.streams.size(); ++i) {
            const QString n = QString::number(i + 1);
            if (i == sent.size()) {
                sent.append(QList<Incoming>());
                const double delay = network.createdAt[i] - start;
                log << u"dial:"_s + n + (delay > 0 ? u'+' + QString::number(delay, 'g', 6) : QString());
            }
            for (const Incoming &item : network.streams[i]->received()) {
                sent[i] << item;
                log << n + u'>' + describe(item);
            }
            if (network.streams[i]->cancelled() && !cut.contains(i)) {
                cut << i;
                log << u"cut:"_s + n;
            }
        }
    }

    static QString describe(const Incoming &item)
    {
        const QJsonObject &m = item.message;
        if (item.kind != Incoming::Kind::Message)
            return item.kind == Incoming::Kind::SecureHello ? u"hello:"_s + m.value("kid"_L1).toString()
                                                            : u"?"_s;
        const QString text = m.value("type"_L1).toString()
            + (m.contains("requestId"_L1) ? u':' + m.value("requestId"_L1).toString() : QString())
            + (m.contains("pin"_L1) ? u"+pin"_s : QString());
        return item.sealed ? u'[' + text + u']' : text;
    }

    std::shared_ptr<MemoryStream> join(std::optional<QString> pin = {}, std::optional<QByteArray> key = {},
        bool supportsEncryption = false,
        const NetworkEndpoint &endpoint = NetworkEndpoint::hostPort(u"127.0.0.1"_s, 7000),
        const std::optional<QString> &recoveryServiceName = {})
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

    void tell(const std::shared_ptr<MemoryStream> &stream, const QJsonObject &message, bool plain = false)
    {
        stream->reply(message, plain);
        run();
    }

    std::shared_ptr<MemoryStream> greet(const std::shared_ptr<MemoryStream> &control)
    {
        accept(control);
        tell(control, hello());
        return control;
    }

    std::shared_ptr<MemoryStream> connectPlain() { return greet(join()); }

    // Moves time on until the connection dials again; the dial runs exactly at its deadline. The Host
    // keeps its key.
    std::shared_ptr<MemoryStream> nextDial()
    {
        const double start = scheduler.now();
        const qsizetype dials = network.streams.size();
        for (int i = 0; i < 100'000 && network.streams.size() == dials; ++i)
            scheduler.advance(0.001);
        if (dials > 0)
            network.last()->hostKeyMaterial = network.streams[dials - 1]->hostKeyMaterial;
        collect(start);
        return network.last();
    }

    std::shared_ptr<MemoryStream> assets() const { return network.streams.value(1); }
    void browse()
    {
        connection->startBrowsing();
        run();
    }

    // Requests whose answers go to the log: "manifest:<structureVersion>", "rendition:<scoreToken>",
    // "asset:<status>/<fingerprint>/<bytes>", each part present only when answered, so "manifest:none"
    // and "asset:0" are failures.
    void requestManifest()
    {
        connection->requestManifest([this](std::optional<QJsonObject> m) {
            log << u"manifest:"_s
                    + (m ? QString::number(m->value("structureVersion"_L1).toInt()) : u"none"_s);
        });
    }
    void requestRendition(const QString &ref)
    {
        connection->requestRenditionManifest(ref, [this](std::optional<QJsonObject> m) {
            log << u"rendition:"_s + (m ? QString::number(m->value("scoreToken"_L1).toInt()) : u"none"_s);
        });
    }
    void requestAsset(qint64 page = 0, const QString &version = u"v"_s)
    {
        connection->requestAsset(
            101, page, u"base.png"_s, version, false, [this](qint64 status, auto fp, auto data) {
                log << u"asset:"_s + QString::number(status) + (fp ? u'/' + *fp : QString())
                        + (data ? u'/' + QString::fromLatin1(*data) : QString());
            });
    }

private:
    QList<qsizetype> cut;
};

} // namespace pgw::testing
