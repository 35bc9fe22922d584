// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostSimulator.h"
#include "TestSupport.h"
#include "link/PlayerConnection.h"
#include "link/PlayerCrypto.h"
#include "link/PlayerJoinLink.h"
#include "link/TcpByteStream.h"
#include "support/ManualScheduler.h"

#include <QRandomGenerator>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

using State = PlayerConnection::State;

namespace {

SimShow sampleShow()
{
    return *SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
}

QByteArray samplePage(const QString &relative)
{
    return test::readAll(QStringLiteral(PGW_SHARED_DIR "/sample-show/pages/") + relative);
}

struct AssetResult
{
    bool done = false;
    qint64 status = -1;
    std::optional<QString> fingerprint;
    std::optional<QByteArray> data;
};

// A Player connection over real loopback TCP whose timers run on a manual clock: sockets move on
// the event loop, time only when the test says so.
struct Player
{
    ManualScheduler scheduler;
    std::shared_ptr<PlayerConnection> connection;
    QList<State> states;
    QList<QJsonObject> messages;
    QList<bool> encryption;

    Player()
    {
        connection = PlayerConnection::create(
            {&scheduler, &scheduler, TcpByteStream::factory(scheduler), [](double, double) { return 1.0; }});
        connection->onStateChange = [this](const State &s) { states << s; };
        connection->onMessage = [this](const QJsonObject &m) { messages << m; };
        connection->onEncryptionChange = [this](bool e) { encryption << e; };
    }

    void join(const HostSimulator &host, std::optional<QString> pin = {})
    {
        connection->join(
            NetworkEndpoint::hostPort(u"127.0.0.1"_s, host.port()), u"Ann"_s, std::nullopt, pin, {}, false);
    }

    bool pumpUntil(const std::function<bool()> &done, int milliseconds = 10'000)
    {
        return QTest::qWaitFor(
            [&] {
                scheduler.runPending();
                return done();
            },
            milliseconds);
    }

    bool connected() const { return !states.isEmpty() && states.last() == State::connected(); }
    bool waitConnected()
    {
        return pumpUntil([this] { return connected(); });
    }

    std::shared_ptr<AssetResult> requestAsset(
        qint64 token, qint64 page, const QString &kind, const QString &version)
    {
        auto result = std::make_shared<AssetResult>();
        connection->requestAsset(token, page, kind, version, true,
            [result](qint64 status, const std::optional<QString> &fingerprint,
                const std::optional<QByteArray> &data) {
                *result = {true, status, fingerprint, data};
            });
        return result;
    }
};

} // namespace

class HostLinkIntegrationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plainSessionServesTheSampleShow()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        Player player;
        player.join(host);
        QVERIFY(player.waitConnected());
        QCOMPARE(player.encryption, QList<bool> {false});
        QCOMPARE(host.recorded(u"hi"_s).first(), (QJsonObject {{"type"_L1, "hi"_L1}, {"name"_L1, "Ann"_L1}}));
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 1; }));

        std::optional<std::optional<QJsonObject>> manifest;
        player.connection->requestManifest([&](auto m) { manifest = m; });
        std::optional<std::optional<QJsonObject>> rendition;
        player.connection->requestRenditionManifest(u"harbour-reel.violin"_s, [&](auto r) { rendition = r; });
        auto base = player.requestAsset(101, 0, u"base.png"_s, u"ch-b0-1"_s);
        auto missing = player.requestAsset(101, 99, u"base.png"_s, u"x"_s);
        QVERIFY(player.pumpUntil([&] { return manifest && rendition && base->done && missing->done; }));
        QCOMPARE(**manifest, host.show().manifest());
        QCOMPARE((*rendition)->value("scoreToken"_L1).toInt(), 112);
        QCOMPARE(base->status, 200);
        QCOMPARE(base->fingerprint, u"ch-b0-1"_s);
        QCOMPARE(*base->data, samplePage(u"101/0/base.png"_s));
        QCOMPARE(missing->status, 404);
        QVERIFY(!missing->data);

        host.navigate(2, 1);
        host.drawInk(2);
        QVERIFY(player.pumpUntil([&] { return player.messages.size() == 5; }));
        QCOMPARE(player.messages[1].value("type"_L1).toString(), u"nav"_s);
        QCOMPARE(player.messages[1].value("scoreKey"_L1).toString(), u"harbour-reel"_s);
    }

    void linkSecretSessionCarriesAChunkedFiveMebibyteAsset()
    {
        HostSimulator::Options options;
        options.linkSecret = PlayerCrypto::randomConnectionNonce();
        options.chunkSize = 256 * 1024;
        HostSimulator host(sampleShow(), options);
        QByteArray blob(5 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(blob.data()), blob.size() / 4);
        host.show().addAsset(101, 0, u"blob.bin"_s, u"b1"_s, blob);
        QVERIFY(host.listen());

        const auto linked = PlayerJoinLink::discoveredHost(QUrl(host.joinLink()));
        QVERIFY(linked && linked->key);
        Player player;
        player.connection->join(linked->endpoint, u"Ann"_s, linked->recoveryServiceName, linked->pin,
            linked->key, linked->supportsEncryption);
        QVERIFY(player.waitConnected());
        QCOMPARE(player.encryption, QList<bool> {true});
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 1; }));

        auto asset = player.requestAsset(101, 0, u"blob.bin"_s, u"b1"_s);
        QVERIFY(player.pumpUntil([&] { return asset->done; }, 30'000));
        QCOMPARE(asset->status, 200);
        QCOMPARE(asset->fingerprint, u"b1"_s);
        QVERIFY(*asset->data == blob);
    }

    void faultsCutTheConnectionAndThePlayerComesBack_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("sealed");
        QTest::newRow("host drops") << 0 << false;
        QTest::newRow("corrupt frame, plain") << 1 << false;
        QTest::newRow("corrupt frame, sealed with a PIN") << 1 << true;
        QTest::newRow("oversized length, plain") << 2 << false;
        QTest::newRow("oversized length, sealed with a PIN") << 2 << true;
    }

    void faultsCutTheConnectionAndThePlayerComesBack()
    {
        QFETCH(int, fault);
        QFETCH(bool, sealed);
        HostSimulator::Options options;
        if (sealed)
            options.pin = u"4821"_s;
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen());
        Player player;
        player.join(host, options.pin);
        QVERIFY(player.waitConnected());
        QCOMPARE(host.recorded().first().sealed, sealed);
        QVERIFY(!host.recorded().first().message.contains("pin"_L1));
        if (fault == 0)
            host.dropConnections();
        else if (fault == 1)
            host.sendCorruptFrame();
        else
            host.sendOversizedLength();
        QVERIFY(player.pumpUntil([&] { return player.states.last() == State::connecting(); }));
        player.scheduler.advance(0.25);
        QVERIFY(player.waitConnected());
        QCOMPARE(player.encryption, (QList<bool> {sealed, sealed}));
        QCOMPARE(host.recorded(u"hi"_s).size(), 2);
    }

    void slowAnswersTimeOutAfterTwelveSecondsAndLateOnesAreDropped()
    {
        HostSimulator host(sampleShow(), {});
        host.setAnswerDelay(0.3);
        QVERIFY(host.listen());
        Player player;
        player.join(host);
        QVERIFY(player.waitConnected());
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 1; }));

        int manifestCompletions = 0;
        std::optional<QJsonObject> manifest {QJsonObject {}};
        player.connection->requestManifest([&](auto m) {
            ++manifestCompletions;
            manifest = m;
        });
        auto asset = player.requestAsset(101, 0, u"base.png"_s, u"ch-b0-1"_s);
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"asset"_s).size() == 1; }));
        player.scheduler.advance(11.0);
        host.ping(); // the watchdog must not be what ends the requests
        QVERIFY(player.pumpUntil([&] { return player.messages.last().value("type"_L1) == "ping"_L1; }));
        player.scheduler.advance(1.0);
        QVERIFY(player.pumpUntil([&] { return manifestCompletions == 1 && asset->done; }));
        QVERIFY(!manifest);
        QCOMPARE(asset->status, 0);
        QVERIFY(player.connected());

        // The timed-out lane is replaced; the late manifest answer, ahead of a fresh one, finds nothing.
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 2; }));
        bool answered = false;
        player.connection->requestManifest([&](auto m) { answered = m.has_value(); });
        QVERIFY(player.pumpUntil([&] { return answered; }));
        QCOMPARE(manifestCompletions, 1);
    }
};

QTEST_GUILESS_MAIN(HostLinkIntegrationTest)
#include "tst_hostlinkintegration.moc"
