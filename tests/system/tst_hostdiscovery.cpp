// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvahiServicePublisher.h"
#include "SampleShow.h"
#include "link/PlayerConnection.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QHostAddress>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int waitMs = 15000;

QHostAddress testAddress()
{
    return QHostAddress(qEnvironmentVariable("PGW_TEST_ADDRESS"));
}

std::unique_ptr<AvahiServicePublisher> publish(const QString &name, quint16 port, QList<QByteArray> txt = {})
{
    return std::make_unique<AvahiServicePublisher>(name, NetworkEndpoint::serviceType, port, txt);
}

// A Player's connection on its own queue with Avahi, reporting to this thread.
struct Player
{
    SerialQueue queue {u"player.connection"_s};
    QObject context;
    EventLoopScheduler main {&context};
    std::shared_ptr<PlayerConnection> connection;
    QList<DiscoveredHost> hosts;
    QList<PlayerConnection::State> states;

    Player()
    {
        connection = PlayerConnection::create(PlayerConnection::systemEnvironment(queue.scheduler(), main));
        connection->onHostsChange = [this](const QList<DiscoveredHost> &list) { hosts = list; };
        connection->onStateChange = [this](const PlayerConnection::State &state) { states << state; };
    }
    ~Player()
    {
        connection->shutdownForProcessExit();
        connection.reset();
        queue.stop();
    }

    std::optional<DiscoveredHost> find(const QString &name) const
    {
        const auto host = std::ranges::find(hosts, name, &DiscoveredHost::name);
        return host == hosts.end() ? std::nullopt : std::optional(*host);
    }
    bool connected() const
    {
        return !states.isEmpty() && states.last() == PlayerConnection::State::connected();
    }
};

} // namespace

class HostDiscoverySystemTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aPublishedHostAppearsWithItsFlagsAndGoesWhenItEnds()
    {
        Player player;
        player.connection->startBrowsing();
        QProcess host;
        host.start(QStringLiteral(PGW_HOST_SIM_PATH),
            {u"--listen"_s, testAddress().toString(), u"--pin"_s, u"4821"_s, u"--publish"_s,
                u"Stage Left"_s});
        QVERIFY(host.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(player.find(u"Stage Left"_s).has_value(), waitMs);
        const DiscoveredHost found = *player.find(u"Stage Left"_s);
        QVERIFY(found.supportsEncryption);
        QVERIFY(found.requiresPIN);

        host.terminate();
        QVERIFY(host.waitForFinished(5000));
        QCOMPARE(host.exitStatus(), QProcess::NormalExit);
        QTRY_VERIFY_WITH_TIMEOUT(!player.find(u"Stage Left"_s), waitMs);
    }

    void theJoinedHostIsFoundAgainOnAnotherPort()
    {
        Player player;
        auto first = std::make_unique<HostSimulator>(sampleShow(), HostSimulator::Options {});
        QVERIFY(first->listen(testAddress()));
        auto firstPublisher = publish(u"Pit"_s, first->port(), {"e2e=2", "auth=0"});
        player.connection->startBrowsing();
        QTRY_VERIFY_WITH_TIMEOUT(player.find(u"Pit"_s).has_value(), waitMs);
        const DiscoveredHost pit = *player.find(u"Pit"_s);
        player.connection->join(pit.endpoint, u"Ann"_s, pit.recoveryServiceName, std::nullopt, std::nullopt,
            pit.supportsEncryption);
        QTRY_VERIFY_WITH_TIMEOUT(player.connected(), waitMs);

        // The Host comes back on another port under the same name.
        HostSimulator second(sampleShow(), {});
        QVERIFY(second.listen(testAddress()));
        QVERIFY(second.port() != first->port());
        firstPublisher.reset();
        first.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!player.connected(), waitMs);
        auto secondPublisher = publish(u"Pit"_s, second.port(), {"e2e=2", "auth=0"});
        QTRY_VERIFY_WITH_TIMEOUT(player.connected() && second.greetedPlayers() == 1, waitMs);
        QCOMPARE(second.recorded(u"hi"_s).first().value("name"_L1).toString(), u"Ann"_s);
    }

    void theProbeJoinsABrowsedHostByName()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen(testAddress()));
        auto publisher = publish(u"Probe Room"_s, host.port(), {"e2e=2"});
        // The probe runs while this thread's event loop keeps the Host and its publisher going.
        QProcess probe;
        probe.start(QStringLiteral(PGW_PROBE_PATH),
            {u"--service"_s, u"Probe Room"_s, u"--name"_s, u"Stand 9"_s, u"--manifest"_s});
        QTRY_COMPARE_WITH_TIMEOUT(probe.state(), QProcess::NotRunning, 30'000);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY(probe.readAllStandardOutput().contains(R"({"event":"manifest","manifest":{)"));
        QCOMPARE(host.recorded(u"hi"_s).first().value("name"_L1).toString(), u"Stand 9"_s);
    }

    void browsingRecoversWhenTheDaemonComesBack()
    {
        Player player;
        player.connection->startBrowsing();
        auto before = publish(u"Before"_s, 7400);
        QTRY_VERIFY_WITH_TIMEOUT(player.find(u"Before"_s).has_value(), waitMs);
        before.reset();

        const qint64 pid = qEnvironmentVariableIntValue("PGW_AVAHI_PID");
        QVERIFY(pid > 0);
        ::kill(pid_t(pid), SIGTERM);
        QTest::qWait(1500);
        const QStringList command = qEnvironmentVariable("PGW_AVAHI_COMMAND").split(u' ');
        m_daemon.start(command.first(), command.mid(1));
        QVERIFY(m_daemon.waitForStarted());

        QElapsedTimer sinceRestart;
        sinceRestart.start();
        auto after = publish(u"After"_s, 7401, {"auth=1"});
        // The restarts in the first ten seconds come at about 0.5, 1.5, 3.5 and 8.5 s.
        QTRY_VERIFY_WITH_TIMEOUT(player.find(u"After"_s).has_value(), 20000);
        QVERIFY(player.find(u"After"_s)->requiresPIN);
        QVERIFY(sinceRestart.elapsed() < 15000);
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

private:
    QProcess m_daemon;
};

QTEST_GUILESS_MAIN(HostDiscoverySystemTest)
#include "tst_hostdiscovery.moc"
