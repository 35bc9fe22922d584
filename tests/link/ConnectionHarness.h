// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeDnsSd.h"
#include "MemoryStream.h"
#include "link/PlayerConnection.h"
#include "link/PlayerCrypto.h"
#include "support/ManualScheduler.h"

#include <QJsonObject>
#include <QStringList>
#include <QTest>

namespace pgw::testing {

using namespace Qt::StringLiterals;

using Incoming = hostsim::HostLaneCodec::Incoming;
using State = PlayerConnection::State;

inline const QByteArray linkSecret = "abcdefghijklmnop";

inline QJsonObject typed(const char *type, QJsonObject fields = {})
{
    fields.insert("type"_L1, QLatin1StringView(type));
    return fields;
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
    // Everything the Player sent, stream by stream.
    QList<QList<Incoming>> sent;

    Harness()
    {
        connection = PlayerConnection::create({&scheduler, &scheduler, network.factory(),
            [this](double, double) { return jitter; }, dnssd.browsers(), dnssd.resolvers()});
        connection->onStateChange = [this](const State &state) {
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
        connection->onHostsChange = [this](const QList<DiscoveredHost> &hosts) {
            QStringList names;
            for (const DiscoveredHost &host : hosts)
                names << host.name;
            log << u"hosts:"_s + names.join(u',');
        };
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
        const auto after = [start](double at) {
            return at > start ? u'+' + QString::number(at - start, 'g', 6) : QString();
        };
        for (qsizetype i = browsersLogged; i < dnssd.browsersMadeAt.size(); i = ++browsersLogged)
            log << u"browser:"_s + QString::number(i + 1) + after(dnssd.browsersMadeAt[i]);
        if (std::exchange(browsing, dnssd.browser() != nullptr) && !browsing)
            log << u"nobrowser"_s;
        for (qsizetype i = lookupsLogged; i < dnssd.lookups.size(); i = ++lookupsLogged)
            log << u"lookup:"_s + dnssd.lookups[i].name;
        for (qsizetype i = 0; i < network.streams.size(); ++i) {
            const QString n = QString::number(i + 1);
            if (i == sent.size()) {
                sent.append(QList<Incoming>());
                const QString at = network.streams[i]->endpoint().description();
                log << u"dial:"_s + n + after(network.createdAt[i])
                        + (at == u"127.0.0.1:7000"_s ? QString() : u'@' + at);
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

    // A plain session greeted by the Host; returns its control stream.
    std::shared_ptr<MemoryStream> connectPlain()
    {
        play(u"join accept hello"_s);
        return network.streams.first();
    }

    // Plays `script`: steps apart by spaces, "|" marking the log.
    // The Player's steps:
    //   join[:PIN][:e2e]  joins 127.0.0.1:7000 as Ann, with that PIN; e2e: the Host is known to read
    //                     sealed frames
    //   join:key          joins with the link's secret
    //   service:NAME      joins the service NAME
    //   linked:HOST:PORT:SERVICE
    //                     joins HOST:PORT, which the service SERVICE may have moved from
    //   retry:PIN  reconnect  leave  shutdown  destroy  browse  stop
    //   manifest  rendition:REF  asset[:PAGE[:VERSION]]  control:TYPE  stalled
    //                     requests whose answers go to the log: "manifest:<structureVersion>",
    //                     "rendition:<scoreToken>", "asset:<status>/<fingerprint>/<bytes>" with what
    //                     came, so "manifest:none" and "asset:0" are failures
    // The Host's, on the newest control connection or, after "assets:", on its assets connection:
    //   accept            accepts the control connection and then its assets connection
    //   ready             accepts the control connection only
    //   refuse  drop
    //   key:PIN  key:link the Host holds that key, on later dials too
    //   hello  say:TYPE[:VALUE]  plain:TYPE[:VALUE]
    //                     a message, sealed when it can be; VALUE is an auth's status or an end's reason
    //   answer:ID:STATUS[:FINGERPRINT:BODY]
    //                     an asset response
    // DNS-SD's:
    //   address:NAME:HOST:PORT                 where the service NAME resolves to
    //   publish:NAMES[:KIND:NAME]              the running browser's results, with one change of NAME
    //                                          (added, removed, changed, identical)
    //   fail                                   the running browser fails
    //   browsers:off  browsers:on              whether browsers can be made
    //   hold  stale:NAMES[:KIND:NAME]          results kept from the browser running at "hold"
    // Time: wait:SECONDS, next (until the connection dials again), rebrowse (until a browser is made),
    // jitter:FACTOR.
    void play(const QString &script)
    {
        std::shared_ptr<MemoryStream> control, assets;
        for (const QString &step : script.split(u' ', Qt::SkipEmptyParts)) {
            const bool onAssets = step.startsWith(u"assets:"_s);
            const QStringList part = step.mid(onAssets ? 7 : 0).split(u':');
            const QString &verb = part[0];
            const QString arg = part.value(1);
            const auto &target = onAssets ? assets : control;
            const qsizetype streams = network.streams.size();
            if (verb == u"|") {
                log << verb;
            } else if (verb == u"join") {
                const bool key = arg == u"key";
                connection->join(NetworkEndpoint::hostPort(u"127.0.0.1"_s, 7000), u"Ann"_s, {},
                    arg.isEmpty() || key ? std::nullopt : std::optional(arg),
                    key ? std::optional(linkSecret) : std::nullopt, part.value(2) == u"e2e");
            } else if (verb == u"retry") {
                connection->retryAuthentication(arg);
            } else if (verb == u"reconnect") {
                connection->reconnectNow();
            } else if (verb == u"leave") {
                connection->leave();
            } else if (verb == u"shutdown") {
                connection->shutdownForProcessExit();
            } else if (verb == u"destroy") {
                connection.reset();
            } else if (verb == u"manifest" || verb == u"rendition") {
                const auto logged = [this, verb](std::optional<QJsonObject> m) {
                    const auto key = verb == u"manifest" ? "structureVersion"_L1 : "scoreToken"_L1;
                    log << verb + u':' + (m ? QString::number(m->value(key).toInt()) : u"none"_s);
                };
                if (verb == u"manifest")
                    connection->requestManifest(logged);
                else
                    connection->requestRenditionManifest(arg, logged);
            } else if (verb == u"asset") {
                connection->requestAsset(101, arg.toLongLong(), u"base.png"_s, part.value(2, u"v"_s), false,
                    [this](qint64 status, auto fingerprint, auto data) {
                        log << u"asset:"_s + QString::number(status)
                                + (fingerprint ? u'/' + *fingerprint : QString())
                                + (data ? u'/' + QString::fromLatin1(*data) : QString());
                    });
            } else if (verb == u"control") {
                connection->sendControl(typed(qPrintable(arg)));
            } else if (verb == u"stalled") {
                connection->readinessStalledRequestCount(
                    [this](int n) { log << u"stalled:"_s + QString::number(n); });
            } else if (verb == u"accept") {
                control->accept();
                run();
                network.last()->hostKeyMaterial = control->hostKeyMaterial;
                network.last()->accept();
            } else if (verb == u"ready") {
                control->accept();
            } else if (verb == u"refuse") {
                target->refuse();
            } else if (verb == u"drop") {
                target->drop();
            } else if (verb == u"key") {
                control->hostKeyMaterial = arg == u"link" ? linkSecret : *PlayerCrypto::ikmForJoinPIN(arg);
            } else if (verb == u"hello") {
                target->reply(typed("hello", {{"protocolVersion"_L1, 1}}));
            } else if (verb == u"say" || verb == u"plain") {
                const QString type = arg;
                QJsonObject message = typed(qPrintable(type));
                if (part.size() > 2)
                    message.insert(type == u"end" ? "reason"_L1 : "status"_L1, part[2]);
                target->reply(message, verb == u"plain");
            } else if (verb == u"answer") {
                QJsonObject header {{"requestId"_L1, arg}, {"status"_L1, part.value(2).toInt()}};
                if (part.size() > 3)
                    header.insert("fingerprint"_L1, part[3]);
                target->deliver(target->host.assetResponse(header, part.value(4).toLatin1()));
            } else if (verb == u"service") {
                connection->join(NetworkEndpoint::service(arg), u"Ann"_s, {}, {}, {}, false);
            } else if (verb == u"linked") {
                connection->join(NetworkEndpoint::hostPort(arg, part.value(2).toUShort()), u"Ann"_s,
                    part.value(3), {}, {}, false);
            } else if (verb == u"address") {
                dnssd.addresses[arg] = {part.value(2), part.value(3).toUShort()};
            } else if (verb == u"browse") {
                connection->startBrowsing();
            } else if (verb == u"stop") {
                connection->stopBrowsing();
            } else if (verb == u"browsers") {
                dnssd.browsersUnavailable = arg == u"off";
            } else if (verb == u"fail") {
                dnssd.fail();
            } else if (verb == u"publish" || verb == u"stale") {
                QList<DnsSdResult> results;
                for (const QString &name : arg.split(u',', Qt::SkipEmptyParts))
                    results << serviceResult(name);
                QList<DnsSdChange> changes;
                if (part.size() > 3) {
                    const int kind
                        = QStringList {u"added"_s, u"removed"_s, u"changed"_s, u"identical"_s}.indexOf(
                            part[2]);
                    changes << DnsSdChange {DnsSdChange::Kind(kind), serviceResult(part[3]),
                        kind == 1 ? std::nullopt : std::optional(serviceResult(part[3]))};
                }
                if (verb == u"stale")
                    held(results, changes);
                else
                    dnssd.publish(results, changes);
            } else if (verb == u"hold") {
                held = dnssd.browser()->onResultsChanged;
            } else if (verb == u"wait") {
                advance(arg.toDouble());
            } else if (verb == u"next" || verb == u"rebrowse") {
                // Time moves on until the connection dials again or a browser is made, the dial exactly
                // at its deadline. The Host keeps its key.
                const qsizetype dials = network.streams.size(), made = dnssd.browsersMade();
                const double start = scheduler.now();
                for (int i = 0; i < 100'000
                     && (verb == u"next" ? network.streams.size() == dials : dnssd.browsersMade() == made);
                     ++i)
                    scheduler.advance(0.001);
                if (verb == u"next" && dials > 0)
                    network.last()->hostKeyMaterial = network.streams[dials - 1]->hostKeyMaterial;
                collect(start);
            } else if (verb == u"jitter") {
                jitter = arg.toDouble();
            } else {
                QFAIL(qPrintable(u"No step "_s + step));
            }
            run();
            // A new dial is an assets one while the control connection it belongs to stands.
            for (qsizetype i = streams; i < network.streams.size(); ++i) {
                const auto dialled = network.streams[i];
                const bool standing = control && control->state() == ByteStream::State::Ready;
                (standing ? assets : control) = dialled;
            }
        }
    }

private:
    QList<qsizetype> cut;
    std::function<void(const QList<DnsSdResult> &, const QList<DnsSdChange> &)> held;
    qsizetype browsersLogged = 0;
    qsizetype lookupsLogged = 0;
    bool browsing = false;
};

// Plays the current row's script and compares what the Player did with the row's transcript.
inline void playScenarioRow()
{
    QFETCH(QString, script);
    QFETCH(QString, transcript);
    Harness h;
    h.play(script);
    QCOMPARE(h.take(), transcript);
}

} // namespace pgw::testing
