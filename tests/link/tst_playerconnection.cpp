// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"

#include <QRegularExpression>
#include <QTest>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

using Kind = hostsim::HostLaneCodec::Incoming::Kind;

namespace {

const QByteArray linkSecret = "abcdefghijklmnop";
const QString pin = u"4821"_s;
const QJsonObject hi = typed("hi", {{"name"_L1, "Ann"_L1}});

QString typeOf(const hostsim::HostLaneCodec::Incoming &item)
{
    return item.message.value("type"_L1).toString();
}

constexpr int HandedOn = 0, Dropped = 1, Cut = 2;

bool near(double a, double b)
{
    return qAbs(a - b) < 1e-9;
}

// '{', two ':', ',' and '[' are the marks besides the commas between the padding's elements.
QByteArray navWithMarks(qsizetype marks)
{
    return Wire::frame(
        Wire::JsonMessage, R"({"type":"nav","pad":[)" + QByteArray("0,").repeated(marks - 5) + "0]}");
}

} // namespace

class PlayerConnectionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void gatesCutAConnectionThatStaysSilent_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<double>("gate");
        QTest::newRow("dial never ready") << 0 << 6.0;
        QTest::newRow("no hello") << 1 << 3.0;
        QTest::newRow("watchdog") << 2 << 12.0;
    }

    void gatesCutAConnectionThatStaysSilent()
    {
        QFETCH(int, stage);
        QFETCH(double, gate);
        Harness h;
        h.jitter = 1.2;
        auto control = h.join();
        QVERIFY(control->started());
        QCOMPARE(h.lastState(), State::connecting());
        if (stage > 0)
            h.accept(control);
        if (stage > 1) {
            h.tell(control, hello());
            // Every frame moves the watchdog's deadline.
            for (int i = 0; i < 3; ++i) {
                h.scheduler.advance(11.9);
                h.tell(control, typed("ping"));
            }
        }
        h.scheduler.advance(gate - 0.001);
        QVERIFY(!control->cancelled());
        h.scheduler.advance(0.001);
        QVERIFY(control->cancelled());
        QCOMPARE(h.lastState(), State::connecting());
        const qsizetype dials = h.network.streams.size();
        h.scheduler.advance(0.25 * 1.2 - 0.001);
        QCOMPARE(h.network.streams.size(), dials);
        h.scheduler.advance(0.001);
        QCOMPARE(h.network.streams.size(), dials + 1);
    }

    void reconnectLadder_data()
    {
        QTest::addColumn<double>("jitter");
        QTest::newRow("low end") << 0.8;
        QTest::newRow("high end") << 1.2;
    }

    void reconnectLadder()
    {
        QFETCH(double, jitter);
        Harness h;
        h.jitter = jitter;
        h.join();
        // Dials that drop and dials refused by a restarting Host climb the same ladder.
        for (const double step : {0.25, 0.5, 1.0, 2.0, 3.5, 5.0, 5.0}) {
            const double endedAt = h.scheduler.now();
            if (h.network.streams.size() % 2)
                h.network.last()->drop();
            else
                h.network.last()->refuse();
            h.nextDial();
            QVERIFY2(
                near(h.network.createdAt.last() - endedAt, step * jitter), qPrintable(QString::number(step)));
        }
        // A hello starts it over.
        auto control = h.greet(h.network.last());
        QCOMPARE(h.lastState(), State::connected());
        const double droppedAt = h.scheduler.now();
        control->drop();
        h.nextDial();
        QVERIFY(near(h.network.createdAt.last() - droppedAt, 0.25 * jitter));
    }

    void floodIsReadInTurnsAndOnlyPingsWithTAreAnswered()
    {
        Harness h;
        auto control = h.connectPlain();
        const int queued = h.scheduler.queuedCount();
        const QJsonObject ping = typed("ping", {{"t"_L1, QJsonObject {{"n"_L1, 5}}}});
        // Frames of one byte, a type and no payload, are the cheapest a Host can send.
        control->deliver(control->host.message(typed("ping"))
            + Wire::frame(Wire::JsonMessage, QByteArrayView()).repeated(200'000)
            + control->host.message(ping));
        qint64 sentBeforeOtherWork = -1;
        h.scheduler.post([&] { sentBeforeOtherWork = control->bytesToWrite(); });
        h.run();
        QCOMPARE(sentBeforeOtherWork, qint64(0));
        QVERIFY(!control->cancelled());
        QVERIFY(h.scheduler.queuedCount() <= queued + 1); // no task per frame
        const auto sent = control->received();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].message, typed("pong", {{"t"_L1, ping.value("t"_L1)}}));
        QCOMPARE(h.messages.size(), 3);
    }

    void hostileFrames_data()
    {
        QTest::addColumn<bool>("sealed");
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<int>("outcome");
        const qsizetype limit = PlayerConnection::maxMessageMarks;
        const QByteArray nav = Wire::frame(Wire::JsonMessage, R"({"type":"nav"})");
        QTest::newRow("plain junk is skipped")
            << false
            << Wire::frame(Wire::JsonMessage, "[1,2]") + Wire::frame(Wire::JsonMessage, "{bad")
                + Wire::frame(7, "x") + Wire::frame(Wire::JsonMessage, "") + nav
            << HandedOn;
        QTest::newRow("JSON marks at the limit") << false << navWithMarks(limit) << HandedOn;
        QTest::newRow("JSON marks past the limit") << false << navWithMarks(limit + 1) << Dropped;
        // A channel takes plain text only for auth and end.
        QTest::newRow("plain message on a channel") << true << nav << Cut;
        QTest::newRow("plain asset response on a channel")
            << true
            << Wire::frame(Wire::AssetResponseFrame, hostsim::assetPayload({{"requestId"_L1, "a"_L1}}, "x"))
            << Cut;
    }

    void hostileFrames()
    {
        QFETCH(bool, sealed);
        QFETCH(QByteArray, frames);
        QFETCH(int, outcome);
        Harness h;
        auto control = sealed ? h.join(std::nullopt, linkSecret) : h.connectPlain();
        if (sealed)
            h.accept(control);
        if (outcome == Dropped)
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(u"^Dropped a message of \\d+ JSON marks"_s));
        control->deliver(frames);
        h.run();
        QCOMPARE(control->cancelled(), outcome == Cut);
        QCOMPARE(h.messages.size(), int(!sealed) + int(outcome == HandedOn));
    }

    void endOrLeaveStopsReconnecting_data()
    {
        QTest::addColumn<QJsonObject>("end");
        QTest::addColumn<QString>("reason");
        QTest::newRow("end with reason") << typed("end", {{"reason"_L1, "version"_L1}}) << u"version"_s;
        QTest::newRow("end without reason") << typed("end") << u"ended"_s;
        QTest::newRow("leave while a reconnect is scheduled") << QJsonObject() << QString();
    }

    void endOrLeaveStopsReconnecting()
    {
        QFETCH(QJsonObject, end);
        QFETCH(QString, reason);
        Harness h;
        auto control = h.connectPlain();
        if (end.isEmpty()) {
            control->drop();
            h.run();
            QCOMPARE(h.lastState(), State::connecting());
            h.connection->leave();
            h.run();
        } else {
            h.tell(control, end);
            QCOMPARE(h.messages.last(), end);
        }
        QCOMPARE(h.lastState(), end.isEmpty() ? State::idle() : State::ended(reason));
        const qsizetype reports = h.states.size();
        control->drop();
        h.scheduler.advance(30);
        QCOMPARE(h.states.size(), reports);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void reconnectNowActsOnlyWhileNotConnected()
    {
        Harness h;
        auto control = h.connectPlain();
        QCOMPARE(
            h.log, (QStringList {u"state:1"_s, u"state:2"_s, u"auth:2"_s, u"plain"_s, u"message:hello"_s}));
        h.connection->reconnectNow();
        h.run();
        QCOMPARE(h.log.size(), 5);
        control->drop();
        h.run();
        h.connection->reconnectNow();
        h.run();
        QCOMPARE(h.network.streams.size(), 3); // at once, not after the ladder's step
    }

    void sealedSessionTakesPlainTextOnlyForAuthAndEnd()
    {
        Harness h;
        auto control = h.joinSealed(std::nullopt, linkSecret);
        auto assets = h.accept(control);
        const auto sent = control->received();
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0].kind, Kind::SecureHello);
        QCOMPARE(sent[0].message.value("kid"_L1).toString(), u"k"_s);
        QVERIFY(sent[1].sealed);
        QCOMPARE(sent[1].message, hi);
        const auto attach = assets->received();
        QCOMPARE(attach.size(), 2);
        QVERIFY(attach[1].sealed);
        QCOMPARE(typeOf(attach[1]), u"attach"_s);
        // Each connection has its own nonce and therefore its own key.
        QVERIFY(attach[0].message.value("nonce"_L1) != sent[0].message.value("nonce"_L1));

        h.tell(control, auth("required"), true);
        QCOMPARE(h.log.last(), u"auth:0"_s);
        h.tell(control, hello());
        QCOMPARE(
            h.log.mid(h.log.size() - 3), (QStringList {u"auth:2"_s, u"encrypted"_s, u"message:hello"_s}));
        // The assets connection takes a plain end after sealed frames, and hands nothing on.
        h.tell(assets, typed("ping"));
        h.tell(assets, typed("end", {{"reason"_L1, "bye"_L1}}), true);
        QVERIFY(!assets->cancelled());
        QCOMPARE(h.lastState(), State::ended(u"bye"_s));
        QCOMPARE(h.messages.size(), 1);
        // The control connection takes plain text only before its first sealed frame.
        QVERIFY(!control->cancelled());
        h.tell(control, auth("required"), true);
        QVERIFY(control->cancelled());
    }

    void sealedDialsDroppedUnansweredFallBackToPlainWithPIN_data()
    {
        QTest::addColumn<bool>("advertised");
        QTest::addColumn<bool>("sealedBefore");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("plain");
        QTest::newRow("host without encryption") << false << false << false << true;
        QTest::newRow("host advertising encryption") << true << false << false << false;
        // A Host that has sealed on this join reads sealed frames: its drops are something else.
        QTest::newRow("host that sealed earlier on the join") << false << true << false << false;
        // A refused dial says nothing of whether the Host reads sealed frames.
        QTest::newRow("refused dials") << false << false << true << false;
    }

    void sealedDialsDroppedUnansweredFallBackToPlainWithPIN()
    {
        QFETCH(bool, advertised);
        QFETCH(bool, sealedBefore);
        QFETCH(bool, refused);
        QFETCH(bool, plain);
        Harness h;
        auto control = h.joinSealed(pin, std::nullopt, advertised);
        if (sealedBefore) {
            h.greet(control);
            QCOMPARE(h.lastState(), State::connected());
            control->drop();
            control = h.nextDial();
        }
        for (int dial = 0; dial < 2; ++dial) {
            if (refused) {
                control->refuse();
            } else {
                h.accept(control);
                QCOMPARE(control->received().first().kind, Kind::SecureHello);
                control->drop();
            }
            control = h.nextDial();
        }
        h.accept(control);
        const auto sent = control->received().first();
        QCOMPARE(sent.kind == Kind::Message, plain);
        if (plain)
            QCOMPARE(sent.message.value("pin"_L1).toString(), pin);
    }

    void plainRoomOpenIsRefusedFromAHostThatHoldsTheKey_data()
    {
        QTest::addColumn<bool>("withLinkSecret");
        QTest::addColumn<bool>("afterSealedHello");
        QTest::addColumn<bool>("laterDial");
        QTest::addColumn<bool>("onAssets");
        // The Host that made the link can always answer sealed.
        QTest::newRow("link secret, control") << true << false << false << false;
        QTest::newRow("link secret, assets") << true << false << false << true;
        // A Host that has sealed on this join holds the PIN's key.
        QTest::newRow("PIN, assets after a sealed hello") << false << true << false << true;
        QTest::newRow("PIN, a later control connection") << false << true << true << false;
    }

    void plainRoomOpenIsRefusedFromAHostThatHoldsTheKey()
    {
        QFETCH(bool, withLinkSecret);
        QFETCH(bool, afterSealedHello);
        QFETCH(bool, laterDial);
        QFETCH(bool, onAssets);
        Harness h;
        auto control = withLinkSecret ? h.joinSealed(std::nullopt, linkSecret) : h.joinSealed(pin);
        if (afterSealedHello)
            h.greet(control);
        else
            h.open(control);
        if (laterDial) {
            control->drop();
            control = h.nextDial();
            h.open(control);
        }
        auto target = onAssets ? h.network.last() : control;
        h.tell(target, auth("open"), true);
        QVERIFY(target->cancelled());
        QVERIFY(target->received().isEmpty());

        // Every later connection of the join is still sealed.
        control->drop();
        auto next = h.nextDial();
        h.accept(next);
        QCOMPARE(next->received().first().kind, Kind::SecureHello);
    }

    void roomOpenTurnsSealingOffUntilAPINIsDemanded_data()
    {
        QTest::addColumn<bool>("pinAtJoin");
        QTest::newRow("PIN given at join") << true;
        QTest::newRow("PIN typed after the demand") << false;
    }

    void roomOpenTurnsSealingOffUntilAPINIsDemanded()
    {
        QFETCH(bool, pinAtJoin);
        Harness h;
        auto control = h.join(pinAtJoin ? std::optional(pin) : std::nullopt, std::nullopt, true);
        auto assets = h.accept(control);
        QCOMPARE(control->received().first().kind == Kind::SecureHello, pinAtJoin);
        assets->received();
        control->reply(auth("open"));
        h.tell(assets, auth("open"));
        // The openings go again in plain, and no plain frame carries the PIN from now on.
        QCOMPARE(control->received().last().message, hi);
        QCOMPARE(assets->received().last().message, typed("attach", {{"role"_L1, "assets"_L1}}));
        h.tell(control, hello());
        QCOMPARE(h.log.mid(h.log.size() - 3), (QStringList {u"auth:2"_s, u"plain"_s, u"message:hello"_s}));
        h.connection->requestManifest([](auto) {});
        h.run();
        QCOMPARE(control->received().first().message, typed("manifest", {{"requestId"_L1, "m1"_L1}}));
        control->drop();
        control = h.nextDial();
        h.accept(control);
        QCOMPARE(control->received().first().message, hi);

        // A demand for the PIN closes the room again.
        h.tell(control, auth("required"));
        const qsizetype dials = h.network.streams.size();
        if (pinAtJoin) {
            h.nextDial();
        } else {
            QCOMPARE(h.log.last(), u"auth:0"_s);
            h.connection->retryAuthentication(pin);
            h.run();
        }
        QCOMPARE(h.network.streams.size(), dials + 1);
        control = h.network.last();
        h.accept(control);
        QCOMPARE(control->received().first().message.value("kid"_L1).toString(), u"pin"_s);
    }

    void authDemandDisarmsTheGatesAndWaitsForTheUser()
    {
        Harness h;
        auto control = h.join(u"1111"_s, std::nullopt, true);
        h.accept(control);
        h.tell(control, auth("rejected"));
        QCOMPARE(h.log.mid(h.log.size() - 2), (QStringList {u"state:1"_s, u"auth:1"_s}));
        h.scheduler.advance(60);
        QVERIFY(!control->cancelled());
        QVERIFY(h.messages.isEmpty());
        // Neither reconnectNow, a drop nor a PIN that is not one dials again.
        h.connection->reconnectNow();
        control->drop();
        h.connection->retryAuthentication(u"12"_s);
        h.scheduler.advance(60);
        QCOMPARE(h.network.streams.size(), 2);
        QCOMPARE(h.lastState(), State::connecting());

        // The rejected PIN is forgotten: the retry is sealed with the new one.
        h.connection->retryAuthentication(u" 5678 "_s);
        h.run();
        auto retry = h.network.last();
        retry->hostKeyMaterial = PlayerCrypto::ikmForJoinPIN(u"5678"_s);
        h.accept(retry);
        const auto sent = retry->received();
        QCOMPARE(sent[0].message.value("kid"_L1).toString(), u"pin"_s);
        QVERIFY(sent[1].sealed);
        QCOMPARE(sent[1].message, hi);
    }

    void requestsShareOneCounterAndAnswersKeepTheirOrder()
    {
        Harness h;
        auto control = h.connectPlain();
        const auto record = [&](std::optional<QJsonObject> manifest) {
            h.log << u"manifest:"_s
                    + (manifest ? QString::number(manifest->value("structureVersion"_L1).toInt())
                                : u"none"_s);
        };
        h.connection->requestManifest(record);
        h.connection->requestAsset(101, 0, u"base.png"_s, u"v1"_s, true, [](auto, auto, auto) {});
        h.connection->requestRenditionManifest(u"ref"_s, [](auto) {});
        h.connection->requestManifest(record);
        h.run();
        const auto sent = control->received();
        QCOMPARE(sent[0].message, typed("manifest", {{"requestId"_L1, "m1"_L1}}));
        QCOMPARE(
            sent[1].message, typed("renditionManifest", {{"requestId"_L1, "r3"_L1}, {"ref"_L1, "ref"_L1}}));
        QVERIFY(h.assets()->started());
        QCOMPARE(h.assets()->received().first().message,
            typed("asset",
                {{"requestId"_L1, "a2"_L1}, {"scoreToken"_L1, 101}, {"pageIndex"_L1, 0},
                    {"kind"_L1, "base.png"_L1}, {"version"_L1, "v1"_L1}, {"urgent"_L1, true}}));

        h.log.clear();
        const QJsonObject manifest {{"structureVersion"_L1, 4}};
        // An answer without an object completes with nothing; without a requestId it is a message.
        for (const QJsonObject &message : {typed("nav"),
                 typed("manifest", {{"requestId"_L1, "m1"_L1}, {"manifest"_L1, manifest}}), typed("blackout"),
                 typed("manifest", {{"requestId"_L1, "m4"_L1}, {"manifest"_L1, 3}}), typed("manifest")})
            control->deliver(control->host.message(message));
        h.run();
        QCOMPARE(h.log,
            (QStringList {u"message:nav"_s, u"manifest:4"_s, u"message:blackout"_s, u"manifest:none"_s,
                u"message:manifest"_s}));
    }

    void requestsWithoutAReadyConnectionFailAtOnce()
    {
        Harness h;
        QStringList results;
        const auto record = [&](auto answer) { results << (answer ? u"answer"_s : u"none"_s); };
        h.connection->requestManifest(record);
        h.connection->requestRenditionManifest(u"ref"_s, record);
        h.connection->requestAsset(1, 0, u"base.png"_s, u"v"_s, false, [&](qint64 status, auto, auto data) {
            results << QString::number(status) + (data ? u"data"_s : u""_s);
        });
        h.run();
        h.connectPlain();
        h.connection->requestRenditionManifest(QString(), record);
        h.run();
        QCOMPARE(results, (QStringList {u"none"_s, u"none"_s, u"0"_s, u"none"_s}));
    }

    void controlConnectionCarriesEverythingUntilTheAssetsOneIsReady()
    {
        Harness h;
        auto control = h.join();
        h.connection->sendControl(typed("standStatus")); // nowhere to go yet
        h.run();
        control->accept();
        h.run();
        h.connection->sendControl(typed("standStatus"));
        QString result;
        h.connection->requestAsset(
            101, 2, u"base.png"_s, u"v"_s, true, [&](qint64 status, auto fingerprint, auto data) {
                result = QString::number(status) + u'/' + fingerprint.value_or(u"-"_s) + u'/'
                    + QString::fromLatin1(data.value_or("none"));
            });
        h.run();
        const auto sent = control->received();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0].message, hi);
        QCOMPARE(typeOf(sent[1]), u"standStatus"_s);
        QCOMPARE(typeOf(sent[2]), u"asset"_s);
        control->deliver(control->host.assetResponse(
            {{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}, {"fingerprint"_L1, "f7"_L1}}, "PNG"));
        h.run();
        QCOMPARE(result, u"200/f7/PNG"_s);
    }

    void assetTimeoutRecyclesTheAssetsConnection()
    {
        Harness h;
        auto control = h.connectPlain();
        auto assets = h.assets();
        std::optional<qint64> first, second;
        std::optional<int> stalled;
        h.connection->requestAsset(
            101, 0, u"base.png"_s, u"v"_s, false, [&](qint64 s, auto, auto) { first = s; });
        h.scheduler.advance(1.0);
        h.connection->requestAsset(
            101, 1, u"base.png"_s, u"v"_s, false, [&](qint64 s, auto, auto) { second = s; });
        h.run();
        h.scheduler.advance(6.0);
        control->reply(typed("ping")); // keeps the watchdog quiet
        h.scheduler.advance(4.9);
        h.connection->readinessStalledRequestCount([&](int n) { stalled = n; });
        h.run();
        QCOMPARE(stalled, 2); // both older than eight seconds
        QVERIFY(!first && !second);
        h.scheduler.advance(0.1);
        QCOMPARE(first, 0);
        QCOMPARE(second, 0); // sent on the recycled lane
        QVERIFY(assets->cancelled());
        QCOMPARE(h.network.streams.size(), 3);
        QVERIFY(!control->cancelled());

        // The answer that comes too late finds nothing.
        assets->deliver(assets->host.assetResponse({{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}}, "x"));
        h.run();
        QCOMPARE(first, 0);
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
        auto stalled = onAssets ? h.assets() : control;
        int failed = 0;
        h.connection->requestManifest([&failed](auto manifest) { failed += !manifest; });
        const QString mebibyte(1 << 20, u'x');
        int sent = 0;
        // The Host never reads: every message waits in the Player's send queue.
        for (; !stalled->cancelled() && sent < 8; ++sent) {
            if (onAssets)
                h.connection->requestAsset(1, sent, u"base.png"_s, mebibyte, false,
                    [&failed](qint64 status, auto, auto) { failed += status == 0; });
            else
                control->reply(typed("ping", {{"t"_L1, mebibyte}}));
            h.run();
        }
        QVERIFY(stalled->cancelled());
        QVERIFY(sent > 1);
        const qsizetype dials = h.network.streams.size();
        if (onAssets) {
            // Recycled: only its own requests fail, and a fresh assets connection is dialled.
            QCOMPARE(failed, sent);
            QVERIFY(!control->cancelled());
            QCOMPARE(dials, 3);
        } else {
            QCOMPARE(failed, 1);
            h.nextDial();
            QCOMPARE(h.network.streams.size(), dials + 1);
        }
    }

    void losingAConnectionFailsItsRequests_data()
    {
        QTest::addColumn<int>("loss");
        QTest::addColumn<QStringList>("failed");
        const QStringList all {u"0"_s, u"none"_s, u"none"_s};
        QTest::newRow("assets connection drops") << 0 << QStringList {u"0"_s};
        QTest::newRow("control connection drops") << 1 << all;
        QTest::newRow("shutdown for exit") << 2 << all;
    }

    void losingAConnectionFailsItsRequests()
    {
        QFETCH(int, loss);
        QFETCH(QStringList, failed);
        Harness h;
        auto control = h.connectPlain();
        QStringList results;
        const auto record = [&](auto answer) { results << (answer ? u"answer"_s : u"none"_s); };
        h.connection->requestManifest(record);
        h.connection->requestRenditionManifest(u"x"_s, record);
        h.connection->requestAsset(
            1, 0, u"base.png"_s, u"v"_s, false, [&](qint64 s, auto, auto) { results << QString::number(s); });
        h.run();
        const qsizetype reports = h.states.size();
        if (loss == 0)
            h.assets()->drop();
        else if (loss == 1)
            control->drop();
        else
            h.connection->shutdownForProcessExit();
        h.run();
        results.sort();
        QCOMPARE(results, failed);
        QCOMPARE(control->cancelled(), loss > 0);
        QCOMPARE(h.assets()->cancelled(), loss > 0);
        // Only the control connection's drop is news, and only it dials again.
        QCOMPARE(h.states.size() > reports, loss == 1);
        h.scheduler.advance(5);
        QCOMPARE(h.network.streams.size() > 2, loss == 1);
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
