// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleShow.h"
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

// A Player connection over real loopback TCP whose timers run on a manual clock: sockets move on
// the event loop, time only when the test says so. Its log holds what it reported and the answers
// to its requests ("asset:<version>:<status>:<fingerprint>").
struct Player
{
    ManualScheduler scheduler;
    std::shared_ptr<PlayerConnection> connection;
    QStringList log;
    QList<QJsonObject> messages;
    QHash<QString, QByteArray> assets;

    Player()
    {
        connection = PlayerConnection::create(
            {&scheduler, &scheduler, TcpByteStream::factory(scheduler), [](double, double) { return 1.0; }});
        connection->onStateChange = [this](const State &s) {
            log << QStringList {u"idle"_s, u"connecting"_s, u"connected"_s, u"ended"_s}.value(int(s.kind));
        };
        connection->onMessage = [this](const QJsonObject &m) { messages << m; };
        connection->onEncryptionChange = [this](bool sealed) { log << (sealed ? u"sealed"_s : u"plain"_s); };
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
    bool waitFor(const QString &entry, int milliseconds = 10'000)
    {
        return pumpUntil([&] { return log.contains(entry); }, milliseconds);
    }

    void requestAsset(qint64 token, qint64 page, const QString &kind, const QString &version)
    {
        connection->requestAsset(token, page, kind, version, true,
            [this, version](qint64 status, const std::optional<QString> &fingerprint,
                const std::optional<QByteArray> &data) {
                assets[version] = data.value_or(QByteArray());
                log << u"asset:%1:%2:%3"_s.arg(version).arg(status).arg(fingerprint.value_or(u"-"_s));
            });
    }
};

} // namespace

class HostLinkIntegrationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plainSessionServesTheSampleShow()
    {
        HostSimulator host(test::sampleShow(), {});
        QVERIFY(host.listen());
        Player player;
        player.join(host);
        QVERIFY(player.waitFor(u"connected"_s));
        QVERIFY(player.log.contains(u"plain"_s));
        QCOMPARE(host.recorded(u"hi"_s).first(), (QJsonObject {{"type"_L1, "hi"_L1}, {"name"_L1, "Ann"_L1}}));
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 1; }));

        player.connection->requestRenditionManifest(u"harbour-reel.violin"_s, [&](auto r) {
            player.log << u"rendition:"_s + QString::number(r->value("scoreToken"_L1).toInt());
        });
        player.requestAsset(101, 0, u"base.png"_s, u"ch-b0-1"_s);
        player.requestAsset(101, 99, u"base.png"_s, u"x"_s);
        QVERIFY(player.waitFor(u"rendition:112"_s));
        QVERIFY(player.waitFor(u"asset:ch-b0-1:200:ch-b0-1"_s));
        QCOMPARE(player.assets[u"ch-b0-1"_s], test::samplePage(u"101/0/base.png"_s));
        QVERIFY(player.waitFor(u"asset:x:404:-"_s));
        QVERIFY(player.assets[u"x"_s].isEmpty());

        host.navigate(2, 1);
        QVERIFY(player.pumpUntil([&] { return player.messages.size() == 2; }));
        QCOMPARE(player.messages[1].value("type"_L1).toString(), u"nav"_s);
        QCOMPARE(player.messages[1].value("scoreKey"_L1).toString(), u"harbour-reel"_s);
    }

    void linkSecretSessionCarriesAChunkedFiveMebibyteAsset()
    {
        HostSimulator::Options options;
        options.linkSecret = PlayerCrypto::randomConnectionNonce();
        options.chunkSize = 256 * 1024;
        HostSimulator host(test::sampleShow(), options);
        QByteArray blob(5 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(blob.data()), blob.size() / 4);
        host.show().addAsset(101, 0, u"blob.bin"_s, u"b1"_s, blob);
        QVERIFY(host.listen());

        const auto linked = PlayerJoinLink::discoveredHost(QUrl(host.joinLink()));
        QVERIFY(linked && linked->key);
        Player player;
        player.connection->join(linked->endpoint, u"Ann"_s, linked->recoveryServiceName, linked->pin,
            linked->key, linked->supportsEncryption);
        QVERIFY(player.waitFor(u"connected"_s));
        QVERIFY(player.log.contains(u"sealed"_s));
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 1; }));
        player.requestAsset(101, 0, u"blob.bin"_s, u"b1"_s);
        QVERIFY(player.waitFor(u"asset:b1:200:b1"_s, 30'000));
        QVERIFY(player.assets[u"b1"_s] == blob);
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
        HostSimulator host(test::sampleShow(), options);
        QVERIFY(host.listen());
        Player player;
        player.join(host, options.pin);
        QVERIFY(player.waitFor(u"connected"_s));
        QCOMPARE(host.recorded().first().sealed, sealed);
        QVERIFY(!host.recorded().first().message.contains("pin"_L1));
        player.log.clear();
        if (fault == 0)
            host.dropConnections();
        else if (fault == 1)
            host.sendCorruptFrame();
        else
            host.sendOversizedLength();
        QVERIFY(player.waitFor(u"connecting"_s));
        player.scheduler.advance(0.25);
        QVERIFY(player.waitFor(u"connected"_s));
        QVERIFY(player.log.contains(sealed ? u"sealed"_s : u"plain"_s));
        QCOMPARE(host.recorded(u"hi"_s).size(), 2);
    }

    void slowAnswersTimeOutAfterTwelveSecondsAndLateOnesAreDropped()
    {
        HostSimulator host(test::sampleShow(), {});
        host.setAnswerDelay(0.3);
        QVERIFY(host.listen());
        Player player;
        player.join(host);
        QVERIFY(player.waitFor(u"connected"_s));
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 1; }));
        player.connection->requestManifest(
            [&](auto m) { player.log << (m ? u"manifest"_s : u"manifest failed"_s); });
        player.requestAsset(101, 0, u"base.png"_s, u"ch-b0-1"_s);
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"asset"_s).size() == 1; }));
        player.scheduler.advance(11.0);
        host.ping(); // the watchdog must not be what ends the requests
        QVERIFY(player.pumpUntil([&] {
            return !player.messages.isEmpty() && player.messages.last().value("type"_L1) == "ping"_L1;
        }));
        player.scheduler.advance(1.0);
        QVERIFY(player.waitFor(u"manifest failed"_s));
        QVERIFY(player.waitFor(u"asset:ch-b0-1:0:-"_s));
        QCOMPARE(player.log.count(u"connecting"_s), 1); // still the first connection

        // The timed-out lane is replaced; the late manifest answer, ahead of a fresh one, finds nothing.
        QVERIFY(player.pumpUntil([&] { return host.recorded(u"attach"_s).size() == 2; }));
        player.connection->requestManifest(
            [&](auto m) { player.log << (m ? u"fresh"_s : u"fresh failed"_s); });
        QVERIFY(player.waitFor(u"fresh"_s));
        QVERIFY(!player.log.contains(u"manifest"_s));
    }
};

QTEST_GUILESS_MAIN(HostLinkIntegrationTest)
#include "tst_hostlinkintegration.moc"
