// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"
#include "link/PlayerCrypto.h"
#include "support/Json.h"

#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

using Kind = hostsim::HostLaneCodec::Incoming::Kind;

namespace {

const QByteArray linkSecret = "abcdefghijklmnop";

QString typeOf(const hostsim::HostLaneCodec::Incoming &item)
{
    return item.message.value("type"_L1).toString();
}

QByteArray oversizedHeader()
{
    QByteArray header(4, '\0');
    qToBigEndian(quint32(Wire::maxFrameLength + 1), header.data());
    return header;
}

// Frames of one byte: a type and no payload, the cheapest a Host can send.
QByteArray tinyFrames(qsizetype count)
{
    return Wire::frame(Wire::JsonMessage, QByteArrayView()).repeated(count);
}

} // namespace

class PlayerConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialGateCutsADialThatNeverBecomesReady()
    {
        Harness h;
        h.jitter = 1.2;
        auto control = h.join();
        QVERIFY(control->started());
        QCOMPARE(h.lastState(), State::connecting());
        h.scheduler.advance(5.999);
        QVERIFY(!control->cancelled());
        h.scheduler.advance(0.001);
        QVERIFY(control->cancelled());
        QCOMPARE(h.network.streams.size(), 1);
        h.scheduler.advance(0.25 * 1.2 - 0.001);
        QCOMPARE(h.network.streams.size(), 1);
        h.scheduler.advance(0.001);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void refusedDialsFollowTheLadderUntilTheHostListensAgain()
    {
        Harness h;
        auto control = h.connectPlain();
        double endedAt = h.scheduler.now();
        const double backAt = endedAt + 2.0;
        control->drop();
        // The Host restarts: for two seconds it refuses every dial at once.
        QList<double> delays;
        std::shared_ptr<MemoryStream> dial;
        for (;;) {
            dial = h.nextDial();
            delays << h.network.createdAt.last() - endedAt;
            if (h.scheduler.now() >= backAt)
                break;
            dial->refuse();
            h.run();
            endedAt = h.scheduler.now();
        }
        const QList<double> ladder {0.25, 0.5, 1.0, 2.0};
        QCOMPARE(delays.size(), ladder.size());
        for (int i = 0; i < ladder.size(); ++i)
            QVERIFY2(qAbs(delays[i] - ladder[i]) < 1e-9, qPrintable(QString::number(delays[i])));
        h.greet(dial);
        QCOMPARE(h.lastState(), State::connected());
    }

    void helloGateCutsAHostThatDoesNotGreet()
    {
        Harness h;
        auto control = h.join();
        h.accept(control);
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].message, (QJsonObject {{"type"_L1, "hi"_L1}, {"name"_L1, "Ann"_L1}}));
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
            control->reply({{"type"_L1, "ping"_L1}});
            h.run();
        }
        QVERIFY(!control->cancelled());
        h.scheduler.advance(11.999);
        QVERIFY(!control->cancelled());
        h.scheduler.advance(0.001);
        QVERIFY(control->cancelled());
        QCOMPARE(h.lastState(), State::connecting());
    }

    void tinyFrameFloodHoldsNoTaskPerFrame()
    {
        Harness h;
        auto control = h.connectPlain();
        const int queued = h.scheduler.queuedCount();
        control->deliver(tinyFrames(200'000));
        h.run();
        QVERIFY(!control->cancelled());
        QVERIFY2(
            h.scheduler.queuedCount() <= queued + 1, qPrintable(QString::number(h.scheduler.queuedCount())));
    }

    void floodOnControlLetsOtherWorkRunBeforeThePingBehindIt()
    {
        Harness h;
        auto control = h.connectPlain();
        control->received();
        control->deliver(tinyFrames(200'000) + control->host.message({{"type"_L1, "ping"_L1}, {"t"_L1, 7}}));
        qint64 sentBeforeOtherWork = -1;
        h.scheduler.post([&] { sentBeforeOtherWork = control->bytesToWrite(); });
        h.run();
        QCOMPARE(sentBeforeOtherWork, qint64(0));
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].message, (QJsonObject {{"type"_L1, "pong"_L1}, {"t"_L1, 7}}));
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
        control->reply(hello());
        h.run();
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
        control->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "required"_L1}});
        h.run();
        QCOMPARE(h.log.mid(h.log.size() - 2), (QStringList {u"state:1"_s, u"auth:0"_s}));
        h.scheduler.advance(60);
        QVERIFY(!control->cancelled());
        QCOMPARE(h.network.streams.size(), 2);
        QVERIFY(h.messages.isEmpty());

        // Waiting for the user's PIN: neither a drop nor reconnectNow dials again.
        h.connection->reconnectNow();
        control->drop();
        h.scheduler.advance(60);
        QCOMPARE(h.network.streams.size(), 2);
        QCOMPARE(h.lastState(), State::connecting());
    }

    void endStopsReconnecting_data()
    {
        QTest::addColumn<QJsonObject>("end");
        QTest::addColumn<QString>("reason");
        QTest::newRow("with reason") << QJsonObject {{"type"_L1, "end"_L1}, {"reason"_L1, "version"_L1}}
                                     << u"version"_s;
        QTest::newRow("without reason") << QJsonObject {{"type"_L1, "end"_L1}} << u"ended"_s;
    }

    void endStopsReconnecting()
    {
        QFETCH(QJsonObject, end);
        QFETCH(QString, reason);
        Harness h;
        auto control = h.connectPlain();
        control->reply(end);
        h.run();
        QCOMPARE(h.lastState(), State::ended(reason));
        QCOMPARE(h.messages.last(), end);
        const int reports = h.states.size();
        control->drop();
        h.scheduler.advance(30);
        QCOMPARE(h.states.size(), reports);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void leaveDuringAScheduledReconnectReportsIdle()
    {
        Harness h;
        auto control = h.connectPlain();
        control->drop();
        h.run();
        QCOMPARE(h.lastState(), State::connecting());
        h.connection->leave();
        h.run();
        QCOMPARE(h.lastState(), State::idle());
        h.scheduler.advance(30);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void reconnectNowOnlyActsWhileNotConnected()
    {
        Harness h;
        auto control = h.connectPlain();
        const QStringList before = h.log;
        h.connection->reconnectNow();
        h.run();
        QCOMPARE(h.log, before);
        QCOMPARE(h.network.streams.size(), 2);

        control->drop();
        h.run();
        h.connection->reconnectNow();
        h.run();
        QCOMPARE(h.network.streams.size(), 3); // at once, not after the ladder's step
    }

    void helloReportsConnectedThenAcceptedThenEncryption()
    {
        Harness h;
        h.connectPlain();
        QCOMPARE(
            h.log, (QStringList {u"state:1"_s, u"state:2"_s, u"auth:2"_s, u"plain"_s, u"message:hello"_s}));
    }

    void linkSecretSessionIsSealedBothWays()
    {
        Harness h;
        auto control = h.join(std::nullopt, linkSecret);
        control->hostKeyMaterial = linkSecret;
        auto assets = h.accept(control);
        const auto sent = control->received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0].kind, Kind::SecureHello);
        QCOMPARE(sent[0].message.value("kid"_L1).toString(), u"k"_s);
        QCOMPARE(sent[0].message.value("v"_L1).toInt(), 2);
        QVERIFY(sent[1].sealed);
        QCOMPARE(sent[1].message, (QJsonObject {{"type"_L1, "hi"_L1}, {"name"_L1, "Ann"_L1}}));

        const auto attach = assets->received();
        QCOMPARE(attach.size(), 2);
        QVERIFY(attach[1].sealed);
        QCOMPARE(typeOf(attach[1]), u"attach"_s);
        // Each connection has its own nonce and therefore its own key.
        QVERIFY(attach[0].message.value("nonce"_L1) != sent[0].message.value("nonce"_L1));

        control->reply(hello());
        h.run();
        QCOMPARE(
            h.log.mid(h.log.size() - 3), (QStringList {u"auth:2"_s, u"encrypted"_s, u"message:hello"_s}));
    }

    void plainAuthIsAcceptedOnlyBeforeTheFirstSealedFrame()
    {
        Harness h;
        auto control = h.join(std::nullopt, linkSecret);
        control->hostKeyMaterial = linkSecret;
        h.accept(control);
        control->received();
        control->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "required"_L1}}, true);
        h.run();
        QVERIFY(!control->cancelled());
        QCOMPARE(h.log.last(), u"auth:0"_s);

        control->reply(hello());
        h.run();
        control->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "required"_L1}}, true);
        h.run();
        QVERIFY(control->cancelled());
    }

    void plainTextOtherThanAuthOrEndCancelsAChannel_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("hello") << Wire::frame(Wire::JsonMessage, R"({"type":"hello","protocolVersion":1})");
        QTest::newRow("not json") << Wire::frame(Wire::JsonMessage, "{nope");
        QTest::newRow("asset response")
            << Wire::frame(Wire::AssetResponseFrame, hostsim::assetPayload({{"requestId"_L1, "a1"_L1}}, "x"));
        QTest::newRow("unknown type") << Wire::frame(9, "");
    }

    void plainTextOtherThanAuthOrEndCancelsAChannel()
    {
        QFETCH(QByteArray, frame);
        Harness h;
        auto control = h.join(std::nullopt, linkSecret);
        h.accept(control);
        control->deliver(frame);
        h.run();
        QVERIFY(control->cancelled());
        QVERIFY(h.messages.isEmpty());
    }

    void assetsConnectionTakesPlainAuthAndEndAtAnyTime()
    {
        Harness h;
        auto control = h.join(std::nullopt, linkSecret);
        control->hostKeyMaterial = linkSecret;
        auto assets = h.accept(control);
        assets->received();
        assets->deliver(assets->host.message({{"type"_L1, "ping"_L1}}));
        h.run();
        assets->reply({{"type"_L1, "end"_L1}, {"reason"_L1, "bye"_L1}}, true);
        h.run();
        QVERIFY(!assets->cancelled());
        QCOMPARE(h.lastState(), State::ended(u"bye"_s));
        QVERIFY(h.messages.isEmpty()); // nothing from the assets connection is handed on
    }

    void boxesMustArriveInSequence()
    {
        Harness h;
        auto control = h.join(std::nullopt, linkSecret);
        control->hostKeyMaterial = linkSecret;
        h.accept(control);
        control->received();
        control->host.message(hello()); // sealed with sequence 0 and never delivered
        control->reply(hello());
        h.run();
        QVERIFY(control->cancelled());
        QCOMPARE(h.lastState(), State::connecting());
    }

    void sealedFrameWithoutAChannelCancels()
    {
        Harness h;
        auto control = h.connectPlain();
        control->deliver(Wire::frame(Wire::SealedFrame, QByteArray(40, 'x')));
        h.run();
        QVERIFY(control->cancelled());
    }

    void oversizedLengthCancels()
    {
        Harness h;
        auto control = h.connectPlain();
        control->deliver(oversizedHeader());
        h.run();
        QVERIFY(control->cancelled());
    }

    void plainJunkIsDroppedWithoutAChannel()
    {
        Harness h;
        auto control = h.connectPlain();
        control->deliver(Wire::frame(Wire::JsonMessage, "[1,2]") + Wire::frame(Wire::JsonMessage, "{bad")
            + Wire::frame(7, "x") + Wire::frame(Wire::JsonMessage, "")
            + Wire::frame(Wire::JsonMessage, R"({"type":"nav"})"));
        h.run();
        QVERIFY(!control->cancelled());
        QCOMPARE(h.messages.last().value("type"_L1).toString(), u"nav"_s);
    }

    void messageWithTooManyJsonMarksIsDroppedUnparsed_data()
    {
        QTest::addColumn<qsizetype>("marks");
        QTest::addColumn<bool>("handedOn");
        QTest::newRow("at the limit") << PlayerConnection::maxMessageMarks << true;
        QTest::newRow("past the limit") << PlayerConnection::maxMessageMarks + 1 << false;
    }

    void messageWithTooManyJsonMarksIsDroppedUnparsed()
    {
        QFETCH(qsizetype, marks);
        QFETCH(bool, handedOn);
        Harness h;
        auto control = h.connectPlain();
        // '{', two ':', ',' and '[' are the marks besides the commas between the padding's elements.
        const qsizetype padding = marks - 4;
        control->deliver(Wire::frame(
            Wire::JsonMessage, R"({"type":"nav","pad":[)" + QByteArray("0,").repeated(padding - 1) + "0]}"));
        if (!handedOn)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(u"^Dropped a message of \\d+ JSON marks"_s));
        h.run();
        QVERIFY(!control->cancelled());
        QCOMPARE(h.messages.last().value("type"_L1).toString(), handedOn ? u"nav"_s : u"hello"_s);
    }

    void pingIsAnsweredOnlyWithT()
    {
        Harness h;
        auto control = h.connectPlain();
        control->received();
        control->reply({{"type"_L1, "ping"_L1}});
        control->reply({{"type"_L1, "ping"_L1}, {"t"_L1, QJsonObject {{"n"_L1, 5}}}});
        h.run();
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(
            sent[0].message, (QJsonObject {{"type"_L1, "pong"_L1}, {"t"_L1, QJsonObject {{"n"_L1, 5}}}}));
        QCOMPARE(h.messages.size(), 3);
    }

    void secureDialsThatDropUnansweredFallBackToPlainWithPIN_data()
    {
        QTest::addColumn<bool>("hostAdvertisesEncryption");
        QTest::addColumn<bool>("sealedBefore");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("thirdDialPlain");
        QTest::newRow("host without encryption") << false << false << false << true;
        QTest::newRow("host advertising encryption") << true << false << false << false;
        // A Host that has sealed on this join reads sealed frames: its drops are something else.
        QTest::newRow("host that sealed earlier on the join") << false << true << false << false;
        // A refused dial says nothing of whether the Host reads sealed frames.
        QTest::newRow("refused dials") << false << false << true << false;
    }

    void secureDialsThatDropUnansweredFallBackToPlainWithPIN()
    {
        QFETCH(bool, hostAdvertisesEncryption);
        QFETCH(bool, sealedBefore);
        QFETCH(bool, refused);
        QFETCH(bool, thirdDialPlain);
        Harness h;
        h.join(u"4821"_s, std::nullopt, hostAdvertisesEncryption);
        if (sealedBefore) {
            auto first = h.network.last();
            first->hostKeyMaterial = *PlayerCrypto::ikmForJoinPIN(u"4821"_s);
            h.accept(first);
            first->received();
            first->reply(hello());
            h.run();
            QCOMPARE(h.lastState(), State::connected());
            first->drop();
            h.nextDial();
        }
        for (int dial = 0; dial < 2; ++dial) {
            auto control = h.network.last();
            if (refused) {
                control->refuse();
            } else {
                h.accept(control);
                QCOMPARE(control->received().first().kind, Kind::SecureHello);
                control->drop();
            }
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
        const QJsonObject open {{"type"_L1, "auth"_L1}, {"status"_L1, "open"_L1}};
        control->reply(open);
        assets->reply(open);
        h.run();
        QCOMPARE(
            control->received().first().message, (QJsonObject {{"type"_L1, "hi"_L1}, {"name"_L1, "Ann"_L1}}));
        QCOMPARE(assets->received().first().message,
            (QJsonObject {{"type"_L1, "attach"_L1}, {"role"_L1, "assets"_L1}}));
        control->reply(hello());
        h.run();
        QCOMPARE(h.log.mid(h.log.size() - 3), (QStringList {u"auth:2"_s, u"plain"_s, u"message:hello"_s}));

        // An open room needs no PIN: nothing plain carries it from now on.
        control->received();
        h.connection->requestManifest([](std::optional<QJsonObject>) {});
        h.run();
        const QJsonObject request = control->received().first().message;
        QCOMPARE(request.value("type"_L1).toString(), u"manifest"_s);
        QVERIFY(!request.contains("pin"_L1));

        // Later dials of this join stay plain.
        control->drop();
        auto next = h.nextDial();
        h.accept(next);
        const auto sent = next->received();
        QCOMPARE(sent.first().kind, Kind::Message);
        QVERIFY(!sent.first().message.contains("pin"_L1));
    }

    void plainRoomOpenIsRefusedFromAHostThatHoldsTheKey_data()
    {
        QTest::addColumn<bool>("withLinkSecret");
        QTest::addColumn<bool>("onAssets");
        QTest::addColumn<bool>("afterSealedHello");
        // The Host that made the link can always answer sealed.
        QTest::newRow("link secret, control") << true << false << false;
        QTest::newRow("link secret, assets") << true << true << false;
        // A Host that has sealed on this join holds the PIN's key.
        QTest::newRow("PIN, assets after a sealed hello") << false << true << true;
    }

    void plainRoomOpenIsRefusedFromAHostThatHoldsTheKey()
    {
        QFETCH(bool, withLinkSecret);
        QFETCH(bool, onAssets);
        QFETCH(bool, afterSealedHello);
        Harness h;
        auto control
            = withLinkSecret ? h.join(std::nullopt, linkSecret) : h.join(u"4821"_s, std::nullopt, true);
        control->hostKeyMaterial = withLinkSecret ? linkSecret : *PlayerCrypto::ikmForJoinPIN(u"4821"_s);
        auto assets = h.accept(control);
        control->received();
        assets->received();
        if (afterSealedHello) {
            control->reply(hello());
            h.run();
        }
        auto target = onAssets ? assets : control;
        target->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "open"_L1}}, true);
        h.run();
        QVERIFY(target->cancelled());
        QVERIFY(target->received().isEmpty());

        // Every later connection of the join is still sealed.
        control->drop();
        auto next = h.nextDial();
        next->hostKeyMaterial = control->hostKeyMaterial;
        h.accept(next);
        QCOMPARE(next->received().first().kind, Kind::SecureHello);
    }

    void plainRoomOpenIsRefusedOnALaterControlConnectionOnceTheJoinSawASealedFrame()
    {
        Harness h;
        auto control = h.join(u"4821"_s, std::nullopt, true);
        control->hostKeyMaterial = *PlayerCrypto::ikmForJoinPIN(u"4821"_s);
        h.accept(control);
        control->received();
        control->reply(hello());
        h.run();
        control->drop();
        auto next = h.nextDial();
        next->hostKeyMaterial = control->hostKeyMaterial;
        h.accept(next);
        next->received();
        next->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "open"_L1}}, true);
        h.run();
        QVERIFY(next->cancelled());
        QVERIFY(next->received().isEmpty());
    }

    void requiredAfterRoomOpenDialsSealedAgain_data()
    {
        QTest::addColumn<bool>("pinAtJoin");
        QTest::newRow("PIN given at join") << true;
        QTest::newRow("PIN typed after the demand") << false;
    }

    void requiredAfterRoomOpenDialsSealedAgain()
    {
        QFETCH(bool, pinAtJoin);
        Harness h;
        auto control = h.join(pinAtJoin ? std::optional(u"4821"_s) : std::nullopt, std::nullopt, true);
        h.accept(control);
        control->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "open"_L1}});
        control->reply(hello());
        h.run();
        control->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "required"_L1}});
        h.run();
        const qsizetype dials = h.network.streams.size();
        if (pinAtJoin) {
            h.nextDial();
        } else {
            QCOMPARE(h.log.last(), u"auth:0"_s);
            h.connection->retryAuthentication(u"4821"_s);
            h.run();
        }
        QCOMPARE(h.network.streams.size(), dials + 1);
        auto next = h.network.last();
        h.accept(next);
        const auto sent = next->received();
        QCOMPARE(sent.first().kind, Kind::SecureHello);
        QCOMPARE(sent.first().message.value("kid"_L1).toString(), u"pin"_s);
    }

    void rejectedPINIsForgottenUntilTheUserRetries()
    {
        Harness h;
        auto control = h.join(u"1111"_s, std::nullopt, true);
        h.accept(control);
        control->reply({{"type"_L1, "auth"_L1}, {"status"_L1, "rejected"_L1}});
        h.run();
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

    void requestIdsShareOneCounter()
    {
        Harness h;
        auto control = h.connectPlain();
        auto assets = h.assets();
        control->received();
        assets->received();
        h.connection->requestManifest([](auto) {});
        h.connection->requestAsset(101, 0, u"base.png"_s, u"v1"_s, true, [](auto, auto, auto) {});
        h.connection->requestRenditionManifest(u"ref"_s, [](auto) {});
        h.run();
        const auto control_sent = control->received();
        QCOMPARE(control_sent[0].message.value("requestId"_L1).toString(), u"m1"_s);
        QCOMPARE(control_sent[1].message,
            (QJsonObject {
                {"type"_L1, "renditionManifest"_L1}, {"requestId"_L1, "r3"_L1}, {"ref"_L1, "ref"_L1}}));
        QCOMPARE(assets->received().first().message,
            (QJsonObject {{"type"_L1, "asset"_L1}, {"requestId"_L1, "a2"_L1}, {"scoreToken"_L1, 101},
                {"pageIndex"_L1, 0}, {"kind"_L1, "base.png"_L1}, {"version"_L1, "v1"_L1},
                {"urgent"_L1, true}}));
    }

    void completionsAndMessagesArriveInTheOrderIssued()
    {
        Harness h;
        auto control = h.connectPlain();
        h.connection->requestManifest([&](std::optional<QJsonObject> manifest) {
            h.log << u"manifest:"_s + QString::number(manifest->value("structureVersion"_L1).toInt());
        });
        h.run();
        h.log.clear();
        control->deliver(control->host.message({{"type"_L1, "nav"_L1}})
            + control->host.message({{"type"_L1, "manifest"_L1}, {"requestId"_L1, "m1"_L1},
                {"manifest"_L1, QJsonObject {{"structureVersion"_L1, 4}}}})
            + control->host.message({{"type"_L1, "blackout"_L1}}));
        h.run();
        QCOMPARE(h.log, (QStringList {u"message:nav"_s, u"manifest:4"_s, u"message:blackout"_s}));
    }

    void manifestAnswerWithoutAnObjectCompletesWithNothing()
    {
        Harness h;
        auto control = h.connectPlain();
        std::optional<std::optional<QJsonObject>> result;
        h.connection->requestManifest([&](auto manifest) { result = manifest; });
        h.run();
        control->reply({{"type"_L1, "manifest"_L1}, {"requestId"_L1, "m1"_L1}, {"manifest"_L1, 3}});
        h.run();
        QVERIFY(result && !result->has_value());
        // Without a string requestId it is an ordinary message.
        control->reply({{"type"_L1, "manifest"_L1}});
        h.run();
        QCOMPARE(h.messages.last().value("type"_L1).toString(), u"manifest"_s);
    }

    void requestsWithoutAConnectionFailAtOnce()
    {
        Harness h;
        QStringList results;
        h.connection->requestManifest([&](auto m) { results << (m ? u"manifest"_s : u"none"_s); });
        h.connection->requestAsset(1, 0, u"base.png"_s, u"v"_s, false, [&](qint64 status, auto, auto data) {
            results << QString::number(status) + (data ? u"data"_s : u""_s);
        });
        h.run();
        QCOMPARE(results, (QStringList {u"none"_s, u"0"_s}));
    }

    void assetRequestsUseTheControlConnectionUntilTheAssetsOneIsReady()
    {
        Harness h;
        auto control = h.join();
        control->accept();
        h.run();
        control->received();
        std::optional<qint64> status;
        std::optional<QByteArray> data;
        h.connection->requestAsset(101, 2, u"base.png"_s, u"v"_s, true, [&](qint64 s, auto, auto d) {
            status = s;
            data = d;
        });
        h.run();
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(typeOf(sent[0]), u"asset"_s);
        control->deliver(control->host.assetResponse({{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}}, "PNG"));
        h.run();
        QCOMPARE(*status, 200);
        QCOMPARE(*data, QByteArray("PNG"));
    }

    void emptyAssetBodyResolvesWithoutData()
    {
        Harness h;
        h.connectPlain();
        auto assets = h.assets();
        QString result;
        h.connection->requestAsset(101, 0, u"marks.png"_s, u"v"_s, false,
            [&](qint64 status, const std::optional<QString> &fingerprint,
                const std::optional<QByteArray> &data) {
                result = QString::number(status) + u'/' + fingerprint.value_or(u"-"_s) + u'/'
                    + (data ? u"data"_s : u"none"_s);
            });
        h.run();
        assets->deliver(assets->host.assetResponse(
            {{"requestId"_L1, "a1"_L1}, {"status"_L1, 204}, {"fingerprint"_L1, "m7"_L1}}, {}));
        h.run();
        QCOMPARE(result, u"204/m7/none"_s);
    }

    void chunkedAssetOverTheAssetsConnection()
    {
        Harness h;
        h.connectPlain();
        auto assets = h.assets();
        std::optional<QByteArray> data;
        h.connection->requestAsset(
            101, 0, u"base.png"_s, u"v"_s, false, [&](auto, auto, auto d) { data = d; });
        h.run();
        assets->deliver(assets->host.assetChunk(
            {{"requestId"_L1, "a1"_L1}, {"of"_L1, 2}, {"bytes"_L1, 4}, {"status"_L1, 200}}, "ab"));
        h.run();
        QVERIFY(!data);
        assets->deliver(assets->host.assetChunk({{"requestId"_L1, "a1"_L1}, {"seq"_L1, 1}}, "cd"));
        h.run();
        QCOMPARE(*data, QByteArray("abcd"));
    }

    void failingTheAssetsConnectionFailsOnlyItsRequests()
    {
        Harness h;
        auto control = h.connectPlain();
        std::optional<qint64> status;
        bool manifestDone = false;
        h.connection->requestAsset(
            101, 0, u"base.png"_s, u"v"_s, false, [&](qint64 s, auto, auto) { status = s; });
        h.connection->requestManifest([&](auto) { manifestDone = true; });
        h.run();
        const int reports = h.states.size();
        h.assets()->drop();
        h.run();
        QCOMPARE(status, 0);
        QVERIFY(!manifestDone);
        QCOMPARE(h.states.size(), reports);
        QVERIFY(!control->cancelled());
    }

    void assetTimeoutRecyclesTheAssetsConnection()
    {
        Harness h;
        auto control = h.connectPlain();
        auto assets = h.assets();
        std::optional<qint64> first;
        std::optional<qint64> second;
        h.connection->requestAsset(
            101, 0, u"base.png"_s, u"v"_s, false, [&](qint64 s, auto, auto) { first = s; });
        h.scheduler.advance(1.0);
        h.connection->requestAsset(
            101, 1, u"base.png"_s, u"v"_s, false, [&](qint64 s, auto, auto) { second = s; });
        h.run();
        h.scheduler.advance(6.0);
        control->reply({{"type"_L1, "ping"_L1}}); // keep the watchdog quiet
        h.scheduler.advance(4.9);
        QVERIFY(!first && !second);
        h.scheduler.advance(0.1);
        QCOMPARE(first, 0);
        QCOMPARE(second, 0); // sent on the recycled lane
        QVERIFY(assets->cancelled());
        QCOMPARE(h.network.streams.size(), 3);
        QVERIFY(h.network.last() != assets);
        QVERIFY(!control->cancelled());

        // The answer that comes too late finds nothing.
        assets->deliver(assets->host.assetResponse({{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}}, "x"));
        h.run();
        QCOMPARE(first, 0);
    }

    void manifestAnswerAfterTheDeadlineIsDropped()
    {
        Harness h;
        auto control = h.connectPlain();
        int completions = 0;
        std::optional<QJsonObject> result {QJsonObject {}};
        h.connection->requestManifest([&](auto manifest) {
            ++completions;
            result = manifest;
        });
        h.run();
        h.scheduler.advance(12.0);
        QCOMPARE(completions, 1);
        QVERIFY(!result);
    }

    void stalledCountAtExactlyEightSeconds()
    {
        Harness h;
        auto control = h.connectPlain();
        h.connection->requestManifest([](auto) {});
        h.run();
        std::optional<int> count;
        h.scheduler.advance(7.999);
        h.connection->readinessStalledRequestCount([&](int n) { count = n; });
        h.run();
        QCOMPARE(count, 0);
        h.scheduler.advance(0.001);
        h.connection->readinessStalledRequestCount([&](int n) { count = n; });
        h.run();
        QCOMPARE(count, 1);
    }

    void hostThatStopsReadingIsCutOff_data()
    {
        QTest::addColumn<bool>("onAssets");
        QTest::newRow("pongs pile up on control") << false;
        QTest::newRow("asset requests pile up") << true;
    }

    void hostThatStopsReadingIsCutOff()
    {
        QFETCH(bool, onAssets);
        Harness h;
        auto control = h.connectPlain();
        auto assets = h.assets();
        int failed = 0;
        h.connection->requestManifest([&failed](auto manifest) { failed += !manifest; });
        const QString mebibyte(1 << 20, u'x');
        int sent = 0;
        auto stalled = onAssets ? assets : control;
        // The Host never reads: every message waits in the Player's send queue.
        while (!stalled->cancelled() && sent < 8) {
            if (onAssets)
                h.connection->requestAsset(1, sent, u"base.png"_s, mebibyte, false,
                    [&failed](qint64 status, auto, auto) { failed += status == 0; });
            else
                control->reply({{"type"_L1, "ping"_L1}, {"t"_L1, mebibyte}});
            h.run();
            ++sent;
        }
        QVERIFY(stalled->cancelled());
        QVERIFY(sent > 1);
        if (onAssets) {
            // Recycled: only its own requests fail, and a fresh assets connection is dialled.
            QCOMPARE(failed, sent);
            QVERIFY(!control->cancelled());
            QCOMPARE(h.network.streams.size(), 3);
        } else {
            QCOMPARE(failed, 1);
            const qsizetype dials = h.network.streams.size();
            h.nextDial();
            QCOMPARE(h.network.streams.size(), dials + 1);
        }
    }

    void controlDropFailsEveryRequest()
    {
        Harness h;
        auto control = h.connectPlain();
        QStringList results;
        h.connection->requestManifest([&](auto m) { results << (m ? u"manifest"_s : u"none"_s); });
        h.connection->requestRenditionManifest(
            u"x"_s, [&](auto m) { results << (m ? u"rendition"_s : u"none"_s); });
        h.connection->requestAsset(
            1, 0, u"base.png"_s, u"v"_s, false, [&](qint64 s, auto, auto) { results << QString::number(s); });
        h.run();
        control->drop();
        h.run();
        results.sort();
        QCOMPARE(results, (QStringList {u"0"_s, u"none"_s, u"none"_s}));
        QVERIFY(h.assets()->cancelled());
    }

    void sendControlNeedsAReadyControlConnection()
    {
        Harness h;
        auto control = h.join();
        h.connection->sendControl({{"type"_L1, "standStatus"_L1}});
        h.run();
        h.accept(control);
        h.connection->sendControl({{"type"_L1, "standStatus"_L1}});
        h.run();
        const auto sent = control->received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(typeOf(sent[0]), u"hi"_s);
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
