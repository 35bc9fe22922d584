#include "MemoryStream.h"
#include "link/PlayerConnection.h"
#include "link/PlayerCrypto.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"

#include <QTest>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

using Kind = hostsim::HostLaneCodec::Incoming::Kind;
using Auth = PlayerConnection::AuthenticationEvent;
using State = PlayerConnection::State;

namespace {

const QByteArray linkSecret = "abcdefghijklmnop";

QJsonObject message(QLatin1StringView type, QJsonObject fields = {})
{
    fields.insert("type"_L1, type);
    return fields;
}

const QJsonObject hello = message("hello"_L1, {{"protocolVersion"_L1, 1}});
const QJsonObject hi = message("hi"_L1, {{"name"_L1, "Ann"_L1}});
const QJsonObject ping = message("ping"_L1);

QJsonObject auth(QLatin1StringView status)
{
    return message("auth"_L1, {{"status"_L1, status}});
}

QString typeOf(const hostsim::HostLaneCodec::Incoming &item)
{
    return item.message.value("type"_L1).toString();
}

// One connection on a manual scheduler that serves as both its queue and the main thread, with
// every main-thread delivery logged in order.
struct Harness
{
    ManualScheduler scheduler;
    MemoryNetwork network {scheduler};
    double jitter = 1.0;
    std::shared_ptr<PlayerConnection> connection;
    QStringList log;
    QList<State> states;
    QList<QJsonObject> messages;

    Harness()
    {
        connection = PlayerConnection::create(
            {&scheduler, &scheduler, network.factory(), [this](double, double) { return jitter; }});
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
    }

    void run() { scheduler.runPending(); }

    std::shared_ptr<MemoryStream> join(
        std::optional<QString> pin = {}, std::optional<QByteArray> key = {}, bool supportsEncryption = false)
    {
        connection->join(NetworkEndpoint::hostPort(u"127.0.0.1"_s, 7000), u"Ann"_s, std::nullopt, pin, key,
            supportsEncryption);
        run();
        return network.last();
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

    std::shared_ptr<MemoryStream> connectPlain()
    {
        auto control = join();
        accept(control);
        reply(control, hello);
        return control;
    }

    void reply(const std::shared_ptr<MemoryStream> &stream, const QJsonObject &message, bool plain = false)
    {
        stream->reply(message, plain);
        run();
    }

    void deliver(const std::shared_ptr<MemoryStream> &stream, const QByteArray &bytes)
    {
        stream->deliver(bytes);
        run();
    }

    void drop(const std::shared_ptr<MemoryStream> &stream)
    {
        stream->drop();
        run();
    }

    // Both dials accepted with the link secret's channel; the Host has not greeted yet.
    std::shared_ptr<MemoryStream> acceptSecure()
    {
        auto control = join(std::nullopt, linkSecret);
        control->hostKeyMaterial = linkSecret;
        accept(control);
        return control;
    }

    // Moves time on until the connection dials again; the dial runs exactly at its deadline.
    std::shared_ptr<MemoryStream> nextDial()
    {
        const qsizetype dials = network.streams.size();
        for (int i = 0; i < 100'000 && network.streams.size() == dials; ++i)
            scheduler.advance(0.001);
        return network.last();
    }

    void requestAsset(qint64 page, std::optional<qint64> &status)
    {
        connection->requestAsset(
            101, page, u"base.png"_s, u"v"_s, false, [&status](qint64 s, auto, auto) { status = s; });
        run();
    }

    std::optional<int> stalledCount()
    {
        std::optional<int> count;
        connection->readinessStalledRequestCount([&count](int n) { count = n; });
        run();
        return count;
    }

    std::shared_ptr<MemoryStream> assets() const
    {
        return network.streams.size() >= 2 ? network.streams[1] : nullptr;
    }
    State lastState() const { return states.isEmpty() ? State::idle() : states.last(); }
};

} // namespace

class PlayerConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialGateCutsADialThatNeverBecomesReady_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::newRow("silent") << false;
        QTest::newRow("refused") << true;
    }

    void dialGateCutsADialThatNeverBecomesReady()
    {
        QFETCH(bool, refused);
        Harness h;
        h.jitter = 1.2;
        auto control = h.join();
        QVERIFY(control->started());
        QCOMPARE(h.lastState(), State::connecting());
        if (refused)
            control->refuse();
        h.scheduler.advance(5.999);
        QVERIFY(!control->cancelled());
        h.scheduler.advance(0.001);
        QVERIFY(control->cancelled());
        h.scheduler.advance(0.25 * 1.2 - 0.001);
        QCOMPARE(h.network.streams.size(), 1);
        h.scheduler.advance(0.001);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void helloGateCutsAHostThatDoesNotGreet()
    {
        Harness h;
        auto control = h.join();
        h.accept(control);
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].message, hi);
        h.scheduler.advance(2.999);
        QVERIFY(!control->cancelled());
        h.scheduler.advance(0.001);
        QVERIFY(control->cancelled());
        QVERIFY(h.assets()->cancelled());
    }

    void watchdogIsKeptAliveByFramesAndCutsAfterTwelveSecondsOfSilence()
    {
        Harness h;
        auto control = h.connectPlain();
        for (int i = 0; i < 3; ++i) {
            h.scheduler.advance(11.9);
            h.reply(control, ping);
        }
        h.scheduler.advance(11.999);
        QVERIFY(!control->cancelled());
        h.scheduler.advance(0.001);
        QVERIFY(control->cancelled());
        QCOMPARE(h.lastState(), State::connecting());
    }

    void reconnectLadder_data()
    {
        QTest::addColumn<double>("jitter");
        QTest::newRow("low end") << 0.8;
        QTest::newRow("middle") << 1.0;
        QTest::newRow("high end") << 1.2;
    }

    void reconnectLadder()
    {
        QFETCH(double, jitter);
        Harness h;
        h.jitter = jitter;
        h.join();
        QList<double> delays;
        for (int i = 0; i < 7; ++i) {
            const double droppedAt = h.scheduler.now();
            h.network.last()->drop();
            h.nextDial();
            delays << h.network.createdAt.last() - droppedAt;
        }
        const QList<double> ladder {0.25, 0.5, 1.0, 2.0, 3.5, 5.0, 5.0};
        for (int i = 0; i < ladder.size(); ++i)
            QVERIFY2(qAbs(delays[i] - ladder[i] * jitter) < 1e-9, qPrintable(QString::number(delays[i])));

        // A hello starts the ladder over.
        auto control = h.network.last();
        h.accept(control);
        h.reply(control, hello);
        const double droppedAt = h.scheduler.now();
        control->drop();
        h.nextDial();
        QVERIFY(qAbs(h.network.createdAt.last() - droppedAt - 0.25 * jitter) < 1e-9);
    }

    void authRequiredDisarmsTheWatchdogAndHoldsTheConnection()
    {
        Harness h;
        auto control = h.join();
        h.accept(control);
        h.reply(control, auth("required"_L1));
        QCOMPARE(h.log.mid(h.log.size() - 2), (QStringList {u"state:1"_s, u"auth:0"_s}));
        h.scheduler.advance(60);
        QVERIFY(!control->cancelled());
        QVERIFY(h.messages.isEmpty());

        // Waiting for the user's PIN: neither a drop nor reconnectNow dials again.
        h.connection->reconnectNow();
        control->drop();
        h.scheduler.advance(60);
        QCOMPARE(h.network.streams.size(), 2);
        QCOMPARE(h.lastState(), State::connecting());
    }

    void endOrLeaveStopsReconnecting_data()
    {
        QTest::addColumn<QJsonObject>("end");
        QTest::addColumn<State>("state");
        QTest::newRow("end with reason")
            << message("end"_L1, {{"reason"_L1, "version"_L1}}) << State::ended(u"version"_s);
        QTest::newRow("end without reason") << message("end"_L1) << State::ended(u"ended"_s);
        QTest::newRow("leave while a reconnect is scheduled") << QJsonObject {} << State::idle();
    }

    void endOrLeaveStopsReconnecting()
    {
        QFETCH(QJsonObject, end);
        QFETCH(State, state);
        Harness h;
        auto control = h.connectPlain();
        if (end.isEmpty()) {
            h.drop(control);
            QCOMPARE(h.lastState(), State::connecting());
            h.connection->leave();
            h.run();
        } else {
            h.reply(control, end);
            QCOMPARE(h.messages.last(), end);
            control->drop();
        }
        QCOMPARE(h.lastState(), state);
        const int reports = h.states.size();
        h.scheduler.advance(30);
        QCOMPARE(h.states.size(), reports);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void helloReportsInOrderAndReconnectNowWaitsForADrop()
    {
        Harness h;
        auto control = h.connectPlain();
        const QStringList connected {u"state:1"_s, u"state:2"_s, u"auth:2"_s, u"plain"_s, u"message:hello"_s};
        QCOMPARE(h.log, connected);
        h.connection->reconnectNow();
        h.run();
        QCOMPARE(h.log, connected);
        QCOMPARE(h.network.streams.size(), 2);

        h.drop(control);
        h.connection->reconnectNow();
        h.run();
        QCOMPARE(h.network.streams.size(), 3); // at once, not after the ladder's step
    }

    void linkSecretSessionIsSealedBothWays()
    {
        Harness h;
        auto control = h.acceptSecure();
        const auto sent = control->received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0].kind, Kind::SecureHello);
        QCOMPARE(sent[0].message.value("kid"_L1).toString(), u"k"_s);
        QVERIFY(sent[1].sealed);
        QCOMPARE(sent[1].message, hi);
        const auto attach = h.assets()->received();
        QVERIFY(attach[1].sealed);
        QCOMPARE(typeOf(attach[1]), u"attach"_s);
        // Each connection has its own nonce and therefore its own key.
        QVERIFY(attach[0].message.value("nonce"_L1) != sent[0].message.value("nonce"_L1));

        h.reply(control, hello);
        QCOMPARE(
            h.log.mid(h.log.size() - 3), (QStringList {u"auth:2"_s, u"encrypted"_s, u"message:hello"_s}));
    }

    void plainAuthIsAcceptedOnlyBeforeTheFirstSealedFrame()
    {
        Harness h;
        auto control = h.acceptSecure();
        h.reply(control, auth("required"_L1), true);
        QVERIFY(!control->cancelled());
        QCOMPARE(h.log.last(), u"auth:0"_s);
        h.reply(control, hello);
        h.reply(control, auth("required"_L1), true);
        QVERIFY(control->cancelled());
    }

    void framesThatCancelAChannel_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("plain hello") << true
                                     << Wire::frame(
                                            Wire::JsonMessage, R"({"type":"hello","protocolVersion":1})");
        QTest::newRow("plain, not json") << true << Wire::frame(Wire::JsonMessage, "{nope");
        QTest::newRow("plain asset response")
            << true
            << Wire::frame(Wire::AssetResponseFrame, hostsim::assetPayload({{"requestId"_L1, "a1"_L1}}, "x"));
        QTest::newRow("unknown type") << true << Wire::frame(9, "");
        QTest::newRow("sealed without a channel")
            << false << Wire::frame(Wire::SealedFrame, QByteArray(40, 'x'));
    }

    void framesThatCancelAChannel()
    {
        QFETCH(bool, secure);
        QFETCH(QByteArray, frame);
        Harness h;
        auto control = secure ? h.join(std::nullopt, linkSecret) : h.connectPlain();
        if (secure)
            h.accept(control);
        const qsizetype messages = h.messages.size();
        h.deliver(control, frame);
        QVERIFY(control->cancelled());
        QCOMPARE(h.messages.size(), messages);
    }

    void assetsConnectionTakesPlainAuthAndEndAtAnyTime()
    {
        Harness h;
        h.acceptSecure();
        auto assets = h.assets();
        assets->received();
        h.reply(assets, ping);
        h.reply(assets, message("end"_L1, {{"reason"_L1, "bye"_L1}}), true);
        QVERIFY(!assets->cancelled());
        QCOMPARE(h.lastState(), State::ended(u"bye"_s));
        QVERIFY(h.messages.isEmpty()); // nothing from the assets connection is handed on
    }

    void boxesMustArriveInSequence()
    {
        Harness h;
        auto control = h.acceptSecure();
        control->received();
        control->host.message(hello); // sealed with sequence 0 and never delivered
        h.reply(control, hello);
        QVERIFY(control->cancelled());
        QCOMPARE(h.lastState(), State::connecting());
    }

    void plainJunkIsDroppedWithoutAChannel()
    {
        Harness h;
        auto control = h.connectPlain();
        h.deliver(control,
            Wire::frame(Wire::JsonMessage, "[1,2]") + Wire::frame(Wire::JsonMessage, "{bad")
                + Wire::frame(7, "x") + Wire::frame(Wire::JsonMessage, "")
                + Wire::frame(Wire::JsonMessage, R"({"type":"nav"})"));
        QVERIFY(!control->cancelled());
        QCOMPARE(h.messages.last().value("type"_L1).toString(), u"nav"_s);
    }

    void pingIsAnsweredOnlyWithT()
    {
        Harness h;
        auto control = h.connectPlain();
        control->received();
        control->reply(ping);
        h.reply(control, message("ping"_L1, {{"t"_L1, QJsonObject {{"n"_L1, 5}}}}));
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].message, message("pong"_L1, {{"t"_L1, QJsonObject {{"n"_L1, 5}}}}));
        QCOMPARE(h.messages.size(), 3);
    }

    void secureDialsThatDropUnansweredFallBackToPlainWithPIN_data()
    {
        QTest::addColumn<bool>("hostAdvertisesEncryption");
        QTest::addColumn<bool>("thirdDialPlain");
        QTest::newRow("host without encryption") << false << true;
        QTest::newRow("host advertising encryption") << true << false;
    }

    void secureDialsThatDropUnansweredFallBackToPlainWithPIN()
    {
        QFETCH(bool, hostAdvertisesEncryption);
        QFETCH(bool, thirdDialPlain);
        Harness h;
        h.join(u"4821"_s, std::nullopt, hostAdvertisesEncryption);
        for (int dial = 0; dial < 2; ++dial) {
            auto control = h.network.last();
            h.accept(control);
            QCOMPARE(control->received().first().kind, Kind::SecureHello);
            control->drop();
            h.nextDial();
        }
        auto third = h.network.last();
        h.accept(third);
        const auto sent = third->received();
        QCOMPARE(sent.first().kind == Kind::Message, thirdDialPlain);
        if (thirdDialPlain)
            QCOMPARE(sent.first().message.value("pin"_L1).toString(), u"4821"_s);
    }

    void roomOpenDropsTheChannelAndResendsPlainWithoutPIN()
    {
        Harness h;
        auto control = h.join(u"4821"_s, std::nullopt, true);
        auto assets = h.accept(control);
        QCOMPARE(control->received().first().message.value("kid"_L1).toString(), u"pin"_s);
        assets->received();
        control->reply(auth("open"_L1));
        h.reply(assets, auth("open"_L1));
        QCOMPARE(control->received().first().message, hi);
        QCOMPARE(assets->received().first().message, message("attach"_L1, {{"role"_L1, "assets"_L1}}));
        h.reply(control, hello);
        QCOMPARE(h.log.mid(h.log.size() - 3), (QStringList {u"auth:2"_s, u"plain"_s, u"message:hello"_s}));

        // Later dials of this join stay plain.
        control->drop();
        auto next = h.nextDial();
        h.accept(next);
        const auto sent = next->received();
        QCOMPARE(sent.first().kind, Kind::Message);
        QCOMPARE(sent.first().message.value("pin"_L1).toString(), u"4821"_s);
    }

    void rejectedPINIsForgottenUntilTheUserRetries()
    {
        Harness h;
        auto control = h.join(u"1111"_s, std::nullopt, true);
        h.accept(control);
        h.reply(control, auth("rejected"_L1));
        QCOMPARE(h.log.last(), u"auth:1"_s);
        h.connection->retryAuthentication(u"12"_s);
        h.run();
        QCOMPARE(h.network.streams.size(), 2);

        h.connection->retryAuthentication(u" 5678 "_s);
        h.run();
        auto retry = h.network.last();
        retry->hostKeyMaterial = *PlayerCrypto::ikmForJoinPIN(u"5678"_s);
        h.accept(retry);
        const auto sent = retry->received();
        QCOMPARE(sent[0].message.value("kid"_L1).toString(), u"pin"_s);
        QVERIFY(sent[1].sealed);
        QCOMPARE(typeOf(sent[1]), u"hi"_s);
        QVERIFY(!sent[1].message.contains("pin"_L1));
    }

    void completionsAndMessagesArriveInTheOrderIssued()
    {
        Harness h;
        auto control = h.connectPlain();
        h.connection->requestManifest([&](std::optional<QJsonObject> manifest) {
            h.log << u"manifest:"_s + QString::number(manifest->value("structureVersion"_L1).toInt());
        });
        h.run();
        QCOMPARE(typeOf(control->received().last()), u"manifest"_s);
        h.log.clear();
        h.deliver(control,
            control->host.message(message("nav"_L1))
                + control->host.message(message("manifest"_L1,
                    {{"requestId"_L1, "m1"_L1}, {"manifest"_L1, QJsonObject {{"structureVersion"_L1, 4}}}}))
                + control->host.message(message("blackout"_L1)));
        QCOMPARE(h.log, (QStringList {u"message:nav"_s, u"manifest:4"_s, u"message:blackout"_s}));
    }

    void manifestAnswerWithoutAnObjectCompletesWithNothing()
    {
        Harness h;
        auto control = h.connectPlain();
        std::optional<std::optional<QJsonObject>> result;
        h.connection->requestManifest([&](auto manifest) { result = manifest; });
        h.run();
        h.reply(control, message("manifest"_L1, {{"requestId"_L1, "m1"_L1}, {"manifest"_L1, 3}}));
        QVERIFY(result && !result->has_value());
        // Without a string requestId it is an ordinary message.
        h.reply(control, message("manifest"_L1));
        QCOMPARE(h.messages.last().value("type"_L1).toString(), u"manifest"_s);
    }

    void requestsWithoutAConnectionFailAtOnce()
    {
        Harness h;
        std::optional<std::optional<QJsonObject>> manifest;
        std::optional<qint64> status;
        h.connection->requestManifest([&](auto m) { manifest = m; });
        h.requestAsset(0, status);
        QVERIFY(manifest && !manifest->has_value());
        QCOMPARE(status, 0);
    }

    void assetRequestsUseTheControlConnectionUntilTheAssetsOneIsReady()
    {
        Harness h;
        auto control = h.join();
        control->accept();
        h.run();
        control->received();
        std::optional<QByteArray> data;
        h.connection->requestAsset(
            101, 2, u"base.png"_s, u"v"_s, true, [&](qint64, auto, auto d) { data = d; });
        h.run();
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].message,
            message("asset"_L1,
                {{"requestId"_L1, "a1"_L1}, {"scoreToken"_L1, 101}, {"pageIndex"_L1, 2},
                    {"kind"_L1, "base.png"_L1}, {"version"_L1, "v"_L1}, {"urgent"_L1, true}}));
        h.deliver(
            control, control->host.assetResponse({{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}}, "PNG"));
        QCOMPARE(data, QByteArray("PNG"));
    }

    void droppingAConnectionFailsItsRequests_data()
    {
        QTest::addColumn<bool>("control");
        QTest::addColumn<QStringList>("failed");
        QTest::newRow("assets connection") << false << QStringList {u"asset"_s};
        QTest::newRow("control connection")
            << true << QStringList {u"asset"_s, u"manifest"_s, u"rendition"_s};
    }

    void droppingAConnectionFailsItsRequests()
    {
        QFETCH(bool, control);
        QFETCH(QStringList, failed);
        Harness h;
        h.connectPlain();
        QStringList results;
        h.connection->requestManifest([&](auto m) { results << (m ? u"-"_s : u"manifest"_s); });
        h.connection->requestRenditionManifest(
            u"x"_s, [&](auto m) { results << (m ? u"-"_s : u"rendition"_s); });
        h.connection->requestAsset(1, 0, u"base.png"_s, u"v"_s, false,
            [&](qint64 s, auto, auto) { results << (s ? u"-"_s : u"asset"_s); });
        h.run();
        const int reports = h.states.size();
        h.drop(h.network.streams[control ? 0 : 1]);
        results.sort();
        QCOMPARE(results, failed);
        // The assets connection is cancelled with the control one, but losing it alone is no disconnection.
        QCOMPARE(h.states.size() > reports, control);
        QCOMPARE(h.assets()->cancelled(), control);
        if (!control)
            QVERIFY(!h.network.streams[0]->cancelled());
    }

    void assetTimeoutRecyclesTheAssetsConnection()
    {
        Harness h;
        auto control = h.connectPlain();
        auto assets = h.assets();
        std::optional<qint64> first;
        std::optional<qint64> second;
        h.requestAsset(0, first);
        h.scheduler.advance(1.0);
        h.requestAsset(1, second);
        h.scheduler.advance(6.0);
        control->reply(ping); // keep the watchdog quiet
        h.scheduler.advance(4.9);
        QVERIFY(!first && !second);
        h.scheduler.advance(0.1);
        QCOMPARE(first, 0);
        QCOMPARE(second, 0); // sent on the recycled lane
        QVERIFY(assets->cancelled());
        QCOMPARE(h.network.streams.size(), 3);
        QVERIFY(!control->cancelled());

        // The answer that comes too late finds nothing.
        first.reset();
        h.deliver(assets, assets->host.assetResponse({{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}}, "x"));
        QVERIFY(!first);
    }

    void stalledCountAtExactlyEightSeconds()
    {
        Harness h;
        h.connectPlain();
        h.connection->requestManifest([](auto) {});
        h.run();
        h.scheduler.advance(7.999);
        QCOMPARE(h.stalledCount(), 0);
        h.scheduler.advance(0.001);
        QCOMPARE(h.stalledCount(), 1);
    }

    void sendControlNeedsAReadyControlConnection()
    {
        Harness h;
        auto control = h.join();
        h.connection->sendControl(message("standStatus"_L1));
        h.run();
        h.accept(control);
        h.connection->sendControl(message("standStatus"_L1));
        h.run();
        const auto sent = control->received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(typeOf(sent[1]), u"standStatus"_s);
    }

    void shutdownIsSilentAndFailsRequests()
    {
        Harness h;
        auto control = h.connectPlain();
        std::optional<QJsonObject> manifest {QJsonObject {}};
        h.connection->requestManifest([&](auto m) { manifest = m; });
        h.run();
        const int reports = h.states.size();
        h.connection->shutdownForProcessExit();
        h.scheduler.advance(30);
        QVERIFY(!manifest);
        QVERIFY(control->cancelled());
        QCOMPARE(h.states.size(), reports);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void callbacksStopWhenTheConnectionIsGone()
    {
        Harness h;
        auto control = h.join();
        control->accept();
        h.connection.reset();
        h.run();
        QCOMPARE(h.log, (QStringList {u"state:1"_s}));
        QVERIFY(control->cancelled());
    }
};

QTEST_GUILESS_MAIN(PlayerConnectionTest)
#include "tst_playerconnection.moc"
