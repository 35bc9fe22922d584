// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"

#include <QRegularExpression>
#include <QTest>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

namespace {

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
    void scenarios_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("transcript");
        const QString greeted
            = u"connecting dial:1 1>hi dial:2 2>attach connected auth:accepted plain msg:hello "_s;
        // Silent connections are cut, and the ladder's first step (0.25 s, jittered) dials again.
        QTest::newRow("dial gate") << u"jitter:1.2 join wait:5.999 | wait:0.001 | next"_s
                                   << u"connecting dial:1 | connecting cut:1 | connecting dial:2+0.3"_s;
        QTest::newRow("hello gate")
            << u"jitter:1.2 join accept wait:2.999 | wait:0.001 | next"_s
            << u"connecting dial:1 1>hi dial:2 2>attach | connecting cut:1 cut:2 | connecting "
               u"dial:3+0.3"_s;
        QTest::newRow("watchdog")
            << u"jitter:1.2 join accept hello wait:11.9 say:ping wait:11.9 say:ping wait:11.9 say:ping "
               u"wait:11.999 | wait:0.001 | next"_s
            << greeted + u"msg:ping msg:ping msg:ping | connecting cut:1 cut:2 | connecting dial:3+0.3"_s;
        // Drops and refusals climb the same ladder, each step jittered; a hello starts it over.
        QTest::newRow("reconnect ladder, high end")
            << u"jitter:1.2 join drop next refuse next drop next refuse next drop next refuse next drop "
               u"next | accept hello drop next"_s
            << u"connecting dial:1 connecting cut:1 connecting dial:2+0.3 connecting browser:1 cut:2 "
               u"connecting dial:3+0.6 connecting cut:3 connecting dial:4+1.2 connecting cut:4 "
               u"connecting dial:5+2.4 connecting cut:5 connecting dial:6+4.2 connecting cut:6 "
               u"connecting dial:7+6 connecting cut:7 connecting dial:8+6 | 8>hi dial:9 9>attach "
               u"connected auth:accepted plain msg:hello nobrowser connecting cut:8 cut:9 connecting "
               u"dial:10+0.3"_s;
        // An end or a leave is final.
        QTest::newRow("end with reason") << u"join accept hello | say:end:version | drop wait:30"_s
                                         << greeted + u"| ended:version msg:end | cut:1"_s;
        QTest::newRow("end without reason") << u"join accept hello | say:end | drop wait:30"_s
                                            << greeted + u"| ended:ended msg:end | cut:1"_s;
        QTest::newRow("leave while a reconnect is scheduled")
            << u"join accept hello | drop leave | drop wait:30"_s
            << greeted + u"| connecting cut:1 cut:2 idle |"_s;
        QTest::newRow("reconnectNow only while not connected")
            << u"join accept hello | reconnect | drop reconnect"_s
            << greeted + u"| | connecting cut:1 cut:2 connecting dial:3"_s;
        // A PIN demand holds the connection for the user: the rejected PIN is forgotten, a new one is used.
        QTest::newRow("an auth demand waits for the user")
            << u"join:1111:e2e accept | say:auth:rejected wait:60 | reconnect drop retry:12 wait:60 | "
               u"retry:5678 key:5678 accept"_s
            << u"connecting dial:1 1>hello:pin 1>? dial:2 2>hello:pin 2>? | connecting auth:rejected | "
               u"connecting cut:1 cut:2 | connecting dial:3 3>hello:pin 3>[hi] dial:4 4>hello:pin "
               u"4>[attach]"_s;
        QTest::newRow("a PIN typed after a demand replaces the one in use")
            << u"join:1111:e2e key:5678 accept | plain:auth:required retry:5678 key:5678 accept"_s
            << u"connecting dial:1 1>hello:pin 1>? dial:2 2>hello:pin 2>? | connecting auth:required "
               u"connecting cut:1 cut:2 dial:3 3>hello:pin 3>[hi] dial:4 4>hello:pin 4>[attach]"_s;
        // With a channel the Host speaks plainly only for auth and end, and on the control connection only
        // before its first sealed frame.
        QTest::newRow("plain text on a sealed session")
            << u"join:key key:link accept plain:auth:required hello assets:say:ping "
               u"assets:plain:end:bye | plain:auth:required"_s
            << u"connecting dial:1 1>hello:k 1>[hi] dial:2 2>hello:k 2>[attach] connecting "
               u"auth:required connected auth:accepted sealed msg:hello ended:bye | cut:1"_s;
        // Two sealed dials dropped unanswered fall back to plain with the PIN, unless the Host is known to
        // read sealed frames.
        QTest::newRow("sealed dials to a Host without encryption")
            << u"join:4821 key:4821 accept drop next accept drop next accept"_s
            << u"connecting dial:1 1>hello:pin 1>[hi] dial:2 2>hello:pin 2>[attach] connecting cut:1 "
               u"cut:2 connecting dial:3+0.25 3>hello:pin 3>[hi] dial:4 4>hello:pin 4>[attach] "
               u"connecting cut:3 cut:4 connecting dial:5+0.5 5>hi+pin dial:6 6>attach+pin"_s;
        QTest::newRow("sealed dials to a Host advertising encryption")
            << u"join:4821:e2e key:4821 accept drop next accept drop next accept"_s
            << u"connecting dial:1 1>hello:pin 1>[hi] dial:2 2>hello:pin 2>[attach] connecting cut:1 "
               u"cut:2 connecting dial:3+0.25 3>hello:pin 3>[hi] dial:4 4>hello:pin 4>[attach] "
               u"connecting cut:3 cut:4 connecting dial:5+0.5 5>hello:pin 5>[hi] dial:6 6>hello:pin "
               u"6>[attach]"_s;
        QTest::newRow("sealed dials to a Host that sealed earlier")
            << u"join:4821 key:4821 accept hello drop next accept drop next accept drop next accept"_s
            << u"connecting dial:1 1>hello:pin 1>[hi] dial:2 2>hello:pin 2>[attach] connected "
               u"auth:accepted sealed msg:hello connecting cut:1 cut:2 connecting dial:3+0.25 "
               u"3>hello:pin 3>[hi] dial:4 4>hello:pin 4>[attach] connecting cut:3 cut:4 connecting "
               u"dial:5+0.5 5>hello:pin 5>[hi] dial:6 6>hello:pin 6>[attach] connecting cut:5 cut:6 "
               u"connecting dial:7+1 7>hello:pin 7>[hi] dial:8 8>hello:pin 8>[attach]"_s;
        QTest::newRow("refused sealed dials")
            << u"join:4821 refuse next refuse next accept"_s
            << u"connecting dial:1 connecting browser:1 cut:1 connecting dial:2+0.25 connecting cut:2 "
               u"connecting dial:3+0.5 3>hello:pin 3>? dial:4 4>hello:pin 4>?"_s;
        // An open room turns sealing off, and the PIN with it, until a PIN is demanded again.
        QTest::newRow("room open with the PIN given at join")
            << u"join:4821:e2e accept say:auth:open assets:say:auth:open hello manifest drop next "
               u"accept | say:auth:required next accept"_s
            << u"connecting dial:1 1>hello:pin 1>? dial:2 2>hello:pin 2>? 1>hi 2>attach connected "
               u"auth:accepted plain msg:hello 1>manifest:m1 manifest:none connecting cut:1 cut:2 "
               u"connecting dial:3+0.25 3>hi dial:4 4>attach | connecting cut:3 cut:4 connecting "
               u"dial:5+0.5 5>hello:pin 5>? dial:6 6>hello:pin 6>?"_s;
        QTest::newRow("room open with the PIN typed after the demand")
            << u"join::e2e accept say:auth:open assets:say:auth:open hello manifest drop next accept | "
               u"say:auth:required retry:4821 accept"_s
            << u"connecting dial:1 1>hi dial:2 2>attach 1>hi 2>attach connected auth:accepted plain "
               u"msg:hello 1>manifest:m1 manifest:none connecting cut:1 cut:2 connecting dial:3+0.25 "
               u"3>hi dial:4 4>attach | connecting auth:required connecting cut:3 cut:4 dial:5 "
               u"5>hello:pin 5>? dial:6 6>hello:pin 6>?"_s;
        // A Host that holds the key must say sealed that its room is open: anyone on the path can write
        // plain.
        QTest::newRow("plain room opening, link secret, control")
            << u"join:key key:link accept | plain:auth:open | drop next accept"_s
            << u"connecting dial:1 1>hello:k 1>[hi] dial:2 2>hello:k 2>[attach] | connecting cut:1 "
               u"cut:2 | connecting dial:3+0.25 3>hello:k 3>[hi] dial:4 4>hello:k 4>[attach]"_s;
        QTest::newRow("plain room opening, link secret, assets")
            << u"join:key key:link accept | assets:plain:auth:open | drop next accept"_s
            << u"connecting dial:1 1>hello:k 1>[hi] dial:2 2>hello:k 2>[attach] | cut:2 | connecting "
               u"cut:1 connecting dial:3+0.25 3>hello:k 3>[hi] dial:4 4>hello:k 4>[attach]"_s;
        QTest::newRow("plain room opening, PIN, assets after a sealed hello")
            << u"join:4821:e2e key:4821 accept hello | assets:plain:auth:open | drop next accept"_s
            << u"connecting dial:1 1>hello:pin 1>[hi] dial:2 2>hello:pin 2>[attach] connected "
               u"auth:accepted sealed msg:hello | cut:2 | connecting cut:1 connecting dial:3+0.25 "
               u"3>hello:pin 3>[hi] dial:4 4>hello:pin 4>[attach]"_s;
        QTest::newRow("plain room opening, PIN, a later control connection")
            << u"join:4821:e2e key:4821 accept hello drop next accept | plain:auth:open | drop next "
               u"accept"_s
            << u"connecting dial:1 1>hello:pin 1>[hi] dial:2 2>hello:pin 2>[attach] connected "
               u"auth:accepted sealed msg:hello connecting cut:1 cut:2 connecting dial:3+0.25 "
               u"3>hello:pin 3>[hi] dial:4 4>hello:pin 4>[attach] | connecting cut:3 cut:4 | connecting "
               u"dial:5+0.5 5>hello:pin 5>[hi] dial:6 6>hello:pin 6>[attach]"_s;
        // Requests fail at once without a connection, and share the control connection until the assets one
        // is ready; an empty body is no data. Losing a connection fails its requests.
        QTest::newRow("requests before the connections are ready")
            << u"manifest rendition:ref asset join control:standStatus ready control:standStatus asset asset "
               u"rendition: answer:a1:200:f7:PNG answer:a2:404"_s
            << u"manifest:none rendition:none asset:0 connecting dial:1 1>hi dial:2 1>standStatus "
               u"1>asset:a1 1>asset:a2 rendition:none asset:200/f7/PNG asset:404"_s;
        QTest::newRow("assets connection drops")
            << u"join accept hello asset manifest rendition:x | assets:drop wait:5"_s
            << greeted + u"2>asset:a1 1>manifest:m2 1>renditionManifest:r3 | asset:0"_s;
        QTest::newRow("control connection drops")
            << u"join accept hello asset manifest rendition:x | drop wait:5"_s
            << greeted
                + u"2>asset:a1 1>manifest:m2 1>renditionManifest:r3 | asset:0 manifest:none rendition:none "
                  u"connecting cut:1 cut:2 connecting dial:3+0.25"_s;
        QTest::newRow("shutdown for exit")
            << u"join accept hello asset manifest rendition:x | shutdown wait:5"_s
            << greeted
                + u"2>asset:a1 1>manifest:m2 1>renditionManifest:r3 | asset:0 manifest:none rendition:none "
                  u"cut:1 cut:2"_s;
        QTest::newRow("asset timeout")
            << u"join accept hello asset manifest wait:1 asset:1 wait:6 say:ping wait:4.9 stalled | wait:0.1"_s
            << greeted
                + u"2>asset:a1 1>manifest:m2 2>asset:a3 msg:ping stalled:3 | asset:0 asset:0 manifest:none cut:2 dial:3+0.1"_s;
        QTest::newRow("callbacks stop with the connection")
            << u"join ready | destroy"_s << u"connecting dial:1 1>hi dial:2 | cut:1 cut:2"_s;
    }

    void scenarios() { playScenarioRow(); }

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
        QTest::newRow("a frame longer than allowed")
            << false << QByteArray::fromHex("0100001a") << u"connecting cut:1 cut:2"_s;
        // A channel takes plain text only for auth and end.
        QTest::newRow("plain message on a channel") << true << nav << u"connecting cut:1 cut:2"_s;
        QTest::newRow("plain asset response on a channel")
            << true
            << Wire::frame(Wire::AssetResponseFrame, hostsim::assetPayload({{"requestId"_L1, "a"_L1}}, "x"))
            << u"connecting cut:1 cut:2"_s;
        QTest::newRow("damaged box") << true << Wire::frame(Wire::SealedFrame, QByteArray(40, 'x'))
                                     << u"connecting cut:1 cut:2"_s;
    }

    void hostileFrames()
    {
        QFETCH(bool, sealed);
        QFETCH(QByteArray, frames);
        QFETCH(QString, transcript);
        Harness h;
        h.play(sealed ? u"join:key accept"_s : u"join accept hello"_s);
        const auto control = h.network.streams.first();
        if (QByteArrayView(QTest::currentDataTag()).endsWith("past the limit"))
            QTest::ignoreMessage(
                QtWarningMsg, QRegularExpression(u"^Dropped a message of \\d+ JSON marks"_s));
        h.take();
        control->deliver(frames);
        h.run();
        QCOMPARE(h.take(), transcript);
    }

    void requestsShareOneCounterAndAnswersKeepTheirOrder()
    {
        Harness h;
        auto control = h.connectPlain();
        h.take();
        h.play(u"manifest asset rendition:ref manifest |"_s);
        const QJsonObject manifest {{"structureVersion"_L1, 4}};
        // An answer without an object completes with nothing; without a requestId it is a message.
        for (const QJsonObject &message : {typed("nav"),
                 typed("manifest", {{"requestId"_L1, "m1"_L1}, {"manifest"_L1, manifest}}), typed("blackout"),
                 typed("manifest", {{"requestId"_L1, "m4"_L1}, {"manifest"_L1, 3}}), typed("manifest")})
            control->deliver(control->host.message(message));
        h.run();
        QCOMPARE(h.take(),
            u"1>manifest:m1 2>asset:a2 1>renditionManifest:r3 1>manifest:m4 | msg:nav manifest:4 "
            u"msg:blackout manifest:none msg:manifest"_s);
    }

    void hostThatStopsReadingIsCutOff_data()
    {
        QTest::addColumn<bool>("onAssets");
        QTest::addColumn<QString>("transcript");
        QTest::newRow("pongs pile up on control")
            << false
            << u"msg:ping msg:ping msg:ping msg:ping manifest:none connecting connecting "
               u"1>pong 1>pong 1>pong 1>pong cut:1 cut:2 dial:3+0.25"_s;
        // The assets connection is replaced; only its own requests fail.
        QTest::newRow("asset requests pile up")
            << true
            << u"asset:0 asset:0 asset:0 asset:0 1>asset:a6 2>asset:a2 2>asset:a3 "
               u"2>asset:a4 2>asset:a5 cut:2 dial:3"_s;
    }

    void hostThatStopsReadingIsCutOff()
    {
        QFETCH(bool, onAssets);
        QFETCH(QString, transcript);
        Harness h;
        auto control = h.connectPlain();
        h.play(u"manifest"_s);
        h.take();
        // The Host reads nothing: what the Player sends waits in its queue, four mebibytes at most.
        const QString mebibyte(1 << 20, u'x');
        for (int i = 0; i < 5; ++i) {
            if (onAssets)
                h.connection->requestAsset(101, i, u"base.png"_s, mebibyte, false,
                    [&h](qint64 status, auto, auto) { h.log << u"asset:"_s + QString::number(status); });
            else
                control->reply(typed("ping", {{"t"_L1, mebibyte}}));
            h.scheduler.runPending();
        }
        h.advance(1.0);
        QCOMPARE(h.take(), transcript);
    }
};

QTEST_GUILESS_MAIN(PlayerConnectionTest)
#include "tst_playerconnection.moc"
