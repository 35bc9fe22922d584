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

class HostLinkIntegrationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Over real loopback TCP, timers on a manual clock: a join link's secret seals the session, and an
    // asset far larger than a chunk comes back whole.
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

        ManualScheduler scheduler;
        auto connection = PlayerConnection::create(
            {&scheduler, &scheduler, TcpByteStream::factory(scheduler), [](double, double) { return 1.0; }});
        QStringList log;
        connection->onEncryptionChange = [&](bool sealed) { log << (sealed ? u"sealed"_s : u"plain"_s); };
        const auto linked = PlayerJoinLink::discoveredHost(QUrl(host.joinLink()));
        QVERIFY(linked && linked->key);
        connection->join(linked->endpoint, u"Ann"_s, linked->recoveryServiceName, linked->pin, linked->key,
            linked->supportsEncryption);
        // Sockets move on the event loop, timers when the test runs them.
        QTRY_VERIFY_WITH_TIMEOUT(
            (scheduler.runPending(), log.contains(u"sealed"_s) && host.recorded(u"attach"_s).size() == 1),
            30'000);
        std::optional<AssetReply> reply;
        connection->requestAsset(
            101, 0, u"blob.bin"_s, u"b1"_s, true, [&](qint64 status, auto fingerprint, auto data) {
                reply = AssetReply {status, fingerprint, data};
            });
        QTRY_VERIFY_WITH_TIMEOUT((scheduler.runPending(), reply.has_value()), 30'000);
        QVERIFY(*reply == (AssetReply {200, u"b1"_s, blob}));
    }
};

QTEST_GUILESS_MAIN(HostLinkIntegrationTest)
#include "tst_hostlinkintegration.moc"
