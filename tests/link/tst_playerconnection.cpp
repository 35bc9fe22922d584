// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"

#include <QRegularExpression>
#include <QTest>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

namespace {

const QByteArray linkSecret = "abcdefghijklmnop";
const QString pin = u"4821"_s;
const QString connected = u"connected auth:accepted plain msg:hello"_s;

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
        if (stage > 0)
            h.accept(control);
        if (stage > 1) {
            h.tell(control, hello());
            // Every frame moves the watchdog's deadline.
            for (int i = 0; i < 3; ++i) {
                h.advance(11.9);
                h.tell(control, typed("ping"));
            }
        }
        h.advance(gate - 0.001);
        QVERIFY(!control->cancelled());
        h.advance(0.001);
        QVERIFY(control->cancelled());
        const qsizetype dials = h.network.streams.size();
        h.advance(0.25 * 1.2 - 0.001);
        QCOMPARE(h.network.streams.size(), dials);
        h.advance(0.001);
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
        QCOMPARE(h.lastState, State::connected());
        const double droppedAt = h.scheduler.now();
        control->drop();
        h.nextDial();
        QVERIFY(near(h.network.createdAt.last() - droppedAt, 0.25 * jitter));
    }

    void floodIsReadInTurnsAndOnlyPingsWithTAreAnswered()
    {
        Harness h;
        auto control = h.connectPlain();
        h.take();
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
        QVERIFY(h.scheduler.queuedCount() <= queued + 1); // no task per frame
        QCOMPARE(h.take(), u"msg:ping msg:ping 1>pong"_s);
        QCOMPARE(h.sent[0].last().message, typed("pong", {{"t"_L1, ping.value("t"_L1)}}));
    }

    void hostileFrames_data()
    {
        QTest::addColumn<bool>("sealed");
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<QString>("transcript");
        const qsizetype limit = PlayerConnection::maxMessageMarks;
        const QByteArray nav = Wire::frame(Wire::JsonMessage, R"({"type":"nav"})");
        QTest::newRow("plain junk is skipped")
            << false
            << Wire::frame(Wire::JsonMessage, "[1,2]") + Wire::frame(Wire::JsonMessage, "{bad")
                + Wire::frame(7, "x") + Wire::frame(Wire::JsonMessage, "") + nav
            << u"msg:nav"_s;
        QTest::newRow("JSON marks at the limit") << false << navWithMarks(limit) << u"msg:nav"_s;
        QTest::newRow("JSON marks past the limit") << false << navWithMarks(limit + 1) << QString();
        // A channel takes plain text only for auth and end.
        QTest::newRow("plain message on a channel") << true << nav << u"connecting cut:1 cut:2"_s;
        QTest::newRow("plain asset response on a channel")
            << true
            << Wire::frame(Wire::AssetResponseFrame, hostsim::assetPayload({{"requestId"_L1, "a"_L1}}, "x"))
            << u"connecting cut:1 cut:2"_s;
    }

    void hostileFrames()
    {
        QFETCH(bool, sealed);
        QFETCH(QByteArray, frames);
        QFETCH(QString, transcript);
        Harness h;
        auto control = sealed ? h.join(std::nullopt, linkSecret) : h.connectPlain();
        if (sealed)
            h.accept(control);
        if (QByteArrayView(QTest::currentDataTag()).endsWith("past the limit"))
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(u"^Dropped a message of \\d+ JSON marks"_s));
        h.take();
        control->deliver(frames);
        h.run();
        QCOMPARE(h.take(), transcript);
    }

    void endOrLeaveStopsReconnecting_data()
    {
        QTest::addColumn<QJsonObject>("end");
        QTest::addColumn<QString>("transcript");
        QTest::newRow("end with reason")
            << typed("end", {{"reason"_L1, "version"_L1}}) << u"ended:version msg:end"_s;
        QTest::newRow("end without reason") << typed("end") << u"ended:ended msg:end"_s;
        QTest::newRow("leave while a reconnect is scheduled")
            << QJsonObject() << u"connecting cut:1 cut:2 idle"_s;
    }

    void endOrLeaveStopsReconnecting()
    {
        QFETCH(QJsonObject, end);
        QFETCH(QString, transcript);
        Harness h;
        auto control = h.connectPlain();
        h.take();
        if (end.isEmpty()) {
            control->drop();
            h.run();
            h.connection->leave();
            h.run();
        } else {
            h.tell(control, end);
        }
        QCOMPARE(h.take(), transcript);
        control->drop();
        h.advance(30);
        QVERIFY(!h.take().contains(u"connect"_s));
        QCOMPARE(h.network.streams.size(), 2);
    }

    void reconnectNowActsOnlyWhileNotConnected()
    {
        Harness h;
        auto control = h.connectPlain();
        h.log << u"|"_s;
        h.connection->reconnectNow();
        h.run();
        h.log << u"|"_s;
        control->drop();
        h.run();
        h.connection->reconnectNow(); // dials at once, not after the ladder's step
        h.run();
        QCOMPARE(h.take(),
            u"connecting dial:1 1>hi dial:2 2>attach "_s + connected
                + u" | | connecting cut:1 cut:2 connecting dial:3"_s);
    }

    void authDemandDisarmsTheGatesAndWaitsForTheUser()
    {
        Harness h;
        auto control = h.join(u"1111"_s, std::nullopt, true);
        h.accept(control);
        h.take();
        h.tell(control, auth("rejected"));
        h.advance(60);
        h.log << u"|"_s;
        // Neither reconnectNow, a drop nor a PIN that is not one dials again.
        h.connection->reconnectNow();
        control->drop();
        h.connection->retryAuthentication(u"12"_s);
        h.advance(60);
        h.log << u"|"_s;
        // The rejected PIN is forgotten: the retry is sealed with the new one.
        h.connection->retryAuthentication(u" 5678 "_s);
        h.run();
        h.network.last()->hostKeyMaterial = PlayerCrypto::ikmForJoinPIN(u"5678"_s);
        h.accept(h.network.last());
        QCOMPARE(h.take(),
            u"connecting auth:rejected | connecting cut:1 cut:2 | connecting dial:3 3>hello:pin 3>[hi] dial:4 4>hello:pin 4>[attach]"_s);
    }

    void sealedSessionTakesPlainTextOnlyForAuthAndEnd()
    {
        Harness h;
        auto control = h.joinSealed(std::nullopt, linkSecret);
        auto assets = h.accept(control);
        // Each connection has its own nonce and therefore its own key.
        QVERIFY(h.sent[0][0].message.value("nonce"_L1) != h.sent[1][0].message.value("nonce"_L1));
        h.tell(control, auth("required"), true);
        h.tell(control, hello());
        // The assets connection takes a plain end after sealed frames, and hands nothing on.
        h.tell(assets, typed("ping"));
        h.tell(assets, typed("end", {{"reason"_L1, "bye"_L1}}), true);
        // The control connection takes plain text only before its first sealed frame.
        h.tell(control, auth("required"), true);
        QCOMPARE(h.take(),
            u"connecting dial:1 1>hello:k 1>[hi] dial:2 2>hello:k 2>[attach] connecting auth:required "
            "connected auth:accepted sealed msg:hello ended:bye cut:1"_s);
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
            QCOMPARE(h.lastState, State::connected());
            control->drop();
            control = h.nextDial();
        }
        for (int dial = 0; dial < 2; ++dial) {
            if (refused) {
                control->refuse();
            } else {
                h.accept(control);
                control->drop();
            }
            control = h.nextDial();
        }
        h.accept(control);
        // Only the third dial may go plain.
        QCOMPARE(h.take().count(u"hi+pin"_s), plain ? 1 : 0);
    }

    void roomOpenTurnsSealingOffUntilAPINIsDemanded_data()
    {
        QTest::addColumn<bool>("pinAtJoin");
        QTest::addColumn<QString>("transcript");
        QTest::newRow("PIN given at join")
            << true
            << u"connecting dial:1 1>hello:pin 1>? dial:2 2>hello:pin 2>? 1>hi 2>attach "_s + connected
                + u" 1>manifest:m1 connecting connecting cut:1 cut:2 dial:3 3>hi dial:4 4>attach"
                  u" connecting cut:3 cut:4 connecting dial:5 5>hello:pin 5>? dial:6 6>hello:pin 6>?"_s;
        QTest::newRow("PIN typed after the demand")
            << false
            << u"connecting dial:1 1>hi dial:2 2>attach 1>hi 2>attach "_s + connected
                + u" 1>manifest:m1 connecting connecting cut:1 cut:2 dial:3 3>hi dial:4 4>attach"
                  u" connecting auth:required connecting cut:3 cut:4 dial:5 5>hello:pin 5>? dial:6 6>hello:pin 6>?"_s;
    }

    void roomOpenTurnsSealingOffUntilAPINIsDemanded()
    {
        QFETCH(bool, pinAtJoin);
        QFETCH(QString, transcript);
        Harness h;
        auto control = h.join(pinAtJoin ? std::optional(pin) : std::nullopt, std::nullopt, true);
        auto assets = h.accept(control);
        // The openings go again in plain, and no plain frame carries the PIN from now on.
        control->reply(auth("open"));
        h.tell(assets, auth("open"));
        h.tell(control, hello());
        h.connection->requestManifest([](auto) {});
        h.run();
        control->drop();
        control = h.nextDial();
        h.accept(control);
        // A demand for the PIN closes the room again.
        h.tell(control, auth("required"));
        if (pinAtJoin) {
            h.nextDial();
        } else {
            h.connection->retryAuthentication(pin);
            h.run();
        }
        h.accept(h.network.last());
        QCOMPARE(h.take(), transcript);
    }

    void plainRoomOpenIsRefusedFromAHostThatHoldsTheKey_data()
    {
        QTest::addColumn<bool>("withLinkSecret");
        QTest::addColumn<bool>("laterDial");
        QTest::addColumn<bool>("onAssets");
        QTest::addColumn<QString>("transcript");
        // The Host that made the link can always answer sealed.
        QTest::newRow("link secret, control") << true << false << false << u"connecting cut:1 cut:2"_s;
        QTest::newRow("link secret, assets") << true << false << true << u"cut:2"_s;
        // A Host that has sealed on this join holds the PIN's key.
        QTest::newRow("PIN, assets after a sealed hello") << false << false << true << u"cut:2"_s;
        QTest::newRow("PIN, a later control connection")
            << false << true << false << u"connecting cut:3 cut:4"_s;
    }

    void plainRoomOpenIsRefusedFromAHostThatHoldsTheKey()
    {
        QFETCH(bool, withLinkSecret);
        QFETCH(bool, laterDial);
        QFETCH(bool, onAssets);
        QFETCH(QString, transcript);
        Harness h;
        auto control = withLinkSecret ? h.joinSealed(std::nullopt, linkSecret) : h.joinSealed(pin);
        if (withLinkSecret)
            h.accept(control);
        else
            h.greet(control);
        if (laterDial) {
            control->drop();
            control = h.nextDial();
            h.accept(control);
        }
        h.take();
        h.tell(onAssets ? h.network.last() : control, auth("open"), true);
        QCOMPARE(h.take(), transcript);
        // Every later connection of the join is still sealed.
        control->drop();
        h.accept(h.nextDial());
        QVERIFY(h.take().contains(u">hello:"_s));
    }

    void requestsShareOneCounterAndAnswersKeepTheirOrder()
    {
        Harness h;
        auto control = h.connectPlain();
        h.take();
        h.requestManifest();
        h.connection->requestAsset(101, 0, u"base.png"_s, u"v1"_s, true, [](auto, auto, auto) {});
        h.requestRendition(u"ref"_s);
        h.requestManifest();
        h.run();
        QVERIFY(h.assets()->started());
        QCOMPARE(h.sent[1].last().message,
            typed("asset",
                {{"requestId"_L1, "a2"_L1}, {"scoreToken"_L1, 101}, {"pageIndex"_L1, 0},
                    {"kind"_L1, "base.png"_L1}, {"version"_L1, "v1"_L1}, {"urgent"_L1, true}}));
        QCOMPARE(h.sent[0][2].message.value("ref"_L1).toString(), u"ref"_s);
        h.log << u"|"_s;
        const QJsonObject manifest {{"structureVersion"_L1, 4}};
        // An answer without an object completes with nothing; without a requestId it is a message.
        for (const QJsonObject &message : {typed("nav"),
                 typed("manifest", {{"requestId"_L1, "m1"_L1}, {"manifest"_L1, manifest}}), typed("blackout"),
                 typed("manifest", {{"requestId"_L1, "m4"_L1}, {"manifest"_L1, 3}}), typed("manifest")})
            control->deliver(control->host.message(message));
        h.run();
        QCOMPARE(h.take(),
            u"1>manifest:m1 1>renditionManifest:r3 1>manifest:m4 2>asset:a2 | msg:nav manifest:4 "
            u"msg:blackout "
            "manifest:none msg:manifest"_s);
    }

    void requestsBeforeTheConnectionsAreReady()
    {
        Harness h;
        // Without a connection requests fail at once.
        h.requestManifest();
        h.requestRendition(u"ref"_s);
        h.requestAsset();
        auto control = h.join();
        h.connection->sendControl(typed("standStatus")); // nowhere to go yet
        control->accept();
        h.run();
        // The control connection carries everything until the assets one is ready.
        h.connection->sendControl(typed("standStatus"));
        h.requestAsset();
        h.requestRendition(QString()); // without a ref, a rendition request fails at once
        h.run();
        control->deliver(control->host.assetResponse(
            {{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}, {"fingerprint"_L1, "f7"_L1}}, "PNG"));
        h.run();
        QCOMPARE(h.take(),
            u"manifest:none rendition:none asset:0 connecting dial:1 1>hi dial:2 rendition:none "
            u"1>standStatus "
            "1>asset:a1 asset:200/f7/PNG"_s);
    }

    void losingAConnectionFailsItsRequests_data()
    {
        QTest::addColumn<int>("loss");
        QTest::addColumn<QString>("transcript");
        // Only the control connection's drop is news, and only it dials again.
        QTest::newRow("assets connection drops") << 0 << u"asset:0"_s;
        QTest::newRow("control connection drops")
            << 1 << u"asset:0 manifest:none rendition:none connecting connecting cut:1 cut:2 dial:3"_s;
        QTest::newRow("shutdown for exit") << 2 << u"asset:0 manifest:none rendition:none cut:1 cut:2"_s;
    }

    void losingAConnectionFailsItsRequests()
    {
        QFETCH(int, loss);
        QFETCH(QString, transcript);
        Harness h;
        auto control = h.connectPlain();
        h.requestAsset();
        h.requestManifest();
        h.requestRendition(u"x"_s);
        h.run();
        h.take();
        if (loss == 0)
            h.assets()->drop();
        else if (loss == 1)
            control->drop();
        else
            h.connection->shutdownForProcessExit();
        h.advance(5);
        QCOMPARE(h.take(), transcript);
    }

    void assetTimeoutRecyclesTheAssetsConnection()
    {
        Harness h;
        auto control = h.connectPlain();
        auto assets = h.assets();
        h.take();
        h.requestAsset(0);
        h.advance(1.0);
        h.requestAsset(1);
        h.advance(6.0);
        control->reply(typed("ping")); // keeps the watchdog quiet
        h.advance(4.9);
        std::optional<int> stalled;
        h.connection->readinessStalledRequestCount([&](int n) { stalled = n; });
        h.run();
        QCOMPARE(stalled, 2); // both older than eight seconds
        h.log << u"|"_s;
        h.advance(0.1);
        // The late answer finds nothing.
        assets->deliver(assets->host.assetResponse({{"requestId"_L1, "a1"_L1}, {"status"_L1, 200}}, "x"));
        h.run();
        QCOMPARE(h.take(), u"2>asset:a1 2>asset:a2 msg:ping | asset:0 asset:0 cut:2 dial:3"_s);
    }

    void hostThatStopsReadingIsCutOff_data()
    {
        QTest::addColumn<bool>("onAssets");
        QTest::addColumn<QString>("transcript");
        QTest::newRow("pongs pile up on control") << false
                                                  << u"msg:ping msg:ping msg:ping msg:ping manifest:none "
                                                     u"connecting connecting 1>manifest:m1 1>pong 1>pong "
                                                     "1>pong 1>pong cut:1 cut:2 dial:3"_s;
        // The assets connection is replaced; only its own requests fail.
        QTest::newRow("asset requests pile up")
            << true
            << u"asset:0 asset:0 asset:0 asset:0 1>manifest:m1 1>asset:a6 2>asset:a2 2>asset:a3 2>asset:a4 "
               "2>asset:a5 cut:2 dial:3"_s;
    }

    void hostThatStopsReadingIsCutOff()
    {
        QFETCH(bool, onAssets);
        QFETCH(QString, transcript);
        Harness h;
        auto control = h.connectPlain();
        h.requestManifest();
        h.take();
        // The Host reads nothing: what the Player sends waits in its queue, four mebibytes at most.
        const QString mebibyte(1 << 20, u'x');
        for (int i = 0; i < 5; ++i) {
            if (onAssets)
                h.requestAsset(i, mebibyte);
            else
                control->reply(typed("ping", {{"t"_L1, mebibyte}}));
            h.scheduler.runPending();
        }
        h.advance(1.0);
        QCOMPARE(h.take(), transcript);
    }

    void callbacksStopWhenTheConnectionIsGone()
    {
        Harness h;
        auto control = h.join();
        control->accept();
        h.connection.reset();
        h.run();
        QCOMPARE(h.take(), u"connecting dial:1 cut:1"_s);
    }
};

QTEST_GUILESS_MAIN(PlayerConnectionTest)
#include "tst_playerconnection.moc"
