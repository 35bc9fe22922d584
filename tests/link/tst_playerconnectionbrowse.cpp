// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"

#include <QTest>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

namespace {

QStringList names(const QList<DiscoveredHost> &hosts)
{
    QStringList out;
    for (const DiscoveredHost &host : hosts)
        out << host.name;
    return out;
}

NetworkEndpoint at(const QString &host, quint16 port)
{
    return NetworkEndpoint::hostPort(host, port);
}

// Joined to the service "Pit" at 10.0.0.5:7000 and greeted.
std::shared_ptr<MemoryStream> joinPit(Harness &h)
{
    h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.5"_s, 7000};
    return h.greet(h.joinAt(NetworkEndpoint::service(u"Pit"_s), std::nullopt));
}

} // namespace

class PlayerConnectionBrowseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void publishesTheBrowsedHostsSortedByName()
    {
        Harness h;
        h.connection->startBrowsing();
        h.run();
        QVERIFY(h.dnssd.browser() && h.dnssd.browser()->started);
        const QList<DnsSdResult> results {serviceResult(u"b"_s), serviceResult(u"A"_s, {{u"e2e"_s, "2"}}),
            serviceResult(u"a"_s, {{u"auth"_s, "1"}})};
        h.dnssd.publish(results, {added(results[0]), added(results[1]), added(results[2])});
        h.run();
        QCOMPARE(h.hostLists.size(), 1);
        QCOMPARE(names(h.hostLists.last()), (QStringList {u"A"_s, u"a"_s, u"b"_s}));
        const DiscoveredHost first = h.hostLists.last().first();
        QVERIFY(first.supportsEncryption && !first.requiresPIN);
        QCOMPARE(first.endpoint, NetworkEndpoint::service(u"A"_s));
        QCOMPARE(first.recoveryServiceName, u"A"_s);

        h.dnssd.publish({}, {{DnsSdChange::Kind::Removed, results[0], std::nullopt}});
        h.run();
        QCOMPARE(h.hostLists.size(), 2);
        QVERIFY(h.hostLists.last().isEmpty());
    }

    void hostsAreDeliveredOnTheMainThread()
    {
        ManualScheduler queue;
        ManualScheduler main;
        FakeDnsSd dnssd {queue};
        auto connection
            = PlayerConnection::create({&queue, &main, {}, {}, dnssd.browsers(), dnssd.resolvers()});
        QStringList delivered;
        connection->onHostsChange
            = [&delivered](const QList<DiscoveredHost> &hosts) { delivered = names(hosts); };
        connection->startBrowsing();
        queue.runPending();
        dnssd.publish({serviceResult(u"Pit"_s)}, {});
        queue.runPending();
        QVERIFY(delivered.isEmpty());
        main.runPending();
        QCOMPARE(delivered, QStringList {u"Pit"_s});
    }

    void browsingStartsOnceAndStops()
    {
        Harness h;
        h.connection->startBrowsing();
        h.connection->startBrowsing();
        h.run();
        QCOMPARE(h.dnssd.browsersMade(), 1);
        h.connection->stopBrowsing();
        h.run();
        QVERIFY(!h.dnssd.browser());
        h.connection->startBrowsing();
        h.run();
        QCOMPARE(h.dnssd.browsersMade(), 2);
    }

    void resultsOfAReplacedBrowserAreIgnored()
    {
        Harness h;
        h.connection->startBrowsing();
        h.run();
        const auto stale = h.dnssd.browser()->onResultsChanged;
        h.connection->stopBrowsing();
        h.connection->startBrowsing();
        h.run();
        stale({serviceResult(u"Old"_s)}, {});
        h.run();
        QVERIFY(h.hostLists.isEmpty());
    }

    void browserRestartLadder_data()
    {
        QTest::addColumn<double>("jitter");
        QTest::newRow("low end") << 0.8;
        QTest::newRow("high end") << 1.2;
    }

    void browserRestartLadder()
    {
        QFETCH(double, jitter);
        Harness h;
        h.jitter = jitter;
        h.connection->startBrowsing();
        h.run();
        for (const double step : {0.5, 1.0, 2.0, 5.0, 10.0, 30.0, 30.0, 30.0}) {
            const int made = h.dnssd.browsersMade();
            const double failedAt = h.scheduler.now();
            h.dnssd.fail();
            h.run();
            QVERIFY(!h.dnssd.browser());
            h.scheduler.advance(step * jitter - 0.001);
            QCOMPARE(h.dnssd.browsersMade(), made);
            h.scheduler.advance(0.002);
            QCOMPARE(h.dnssd.browsersMade(), made + 1);
            QVERIFY(qAbs(h.dnssd.browsersMadeAt.last() - failedAt - step * jitter) < 0.002);
        }
    }

    void ladderRestartsAfterHostsAppearOrBrowsingStops()
    {
        Harness h;
        h.connection->startBrowsing();
        h.run();
        auto failTwice = [&h] {
            for (int i = 0; i < 2; ++i) {
                h.dnssd.fail();
                h.scheduler.advance(5.0);
            }
        };
        auto nextRestartDelay = [&h] {
            const double failedAt = h.scheduler.now();
            h.dnssd.fail();
            h.scheduler.advance(40.0);
            return h.dnssd.browsersMadeAt.last() - failedAt;
        };

        failTwice();
        h.dnssd.publish({}, {});
        QCOMPARE(nextRestartDelay(), 2.0);

        h.dnssd.publish({serviceResult(u"Pit"_s)}, {});
        QCOMPARE(nextRestartDelay(), 0.5);

        failTwice();
        h.connection->stopBrowsing();
        h.connection->startBrowsing();
        h.run();
        QCOMPARE(nextRestartDelay(), 0.5);
    }

    void aScheduledRestartIsTheOnlyOne()
    {
        Harness h;
        h.connection->startBrowsing();
        h.run();
        h.dnssd.fail();
        h.connection->startBrowsing();
        h.run();
        QCOMPARE(h.dnssd.browsersMade(), 1);
        h.scheduler.advance(0.5);
        QCOMPARE(h.dnssd.browsersMade(), 2);

        h.dnssd.fail();
        h.connection->stopBrowsing();
        h.scheduler.advance(60.0);
        QCOMPARE(h.dnssd.browsersMade(), 2);
    }

    void aBrowserThatCannotBeMadeIsRetried()
    {
        Harness h;
        h.dnssd.browsersUnavailable = true;
        h.connection->startBrowsing();
        h.run();
        h.dnssd.browsersUnavailable = false;
        h.scheduler.advance(0.499);
        QCOMPARE(h.dnssd.browsersMade(), 0);
        h.scheduler.advance(0.001);
        QCOMPARE(h.dnssd.browsersMade(), 1);
    }

    void serviceEndpointIsResolvedWhenDialled()
    {
        Harness h;
        joinPit(h);
        QCOMPARE(h.lastState(), State::connected());
        QCOMPARE(h.dnssd.lookups.size(), 2);
        QCOMPARE(h.dnssd.lookups.first(), *NetworkEndpoint::service(u"Pit"_s).asService());
        QCOMPARE(h.network.streams[0]->endpoint(), at(u"10.0.0.5"_s, 7000));
        QCOMPARE(h.assets()->endpoint(), at(u"10.0.0.5"_s, 7000));
        QCOMPARE(h.dnssd.browsersMade(), 0);
    }

    void aServiceThatDoesNotResolveIsLookedForAndResolvedAgainAtTheLadderStep()
    {
        Harness h;
        h.joinAt(NetworkEndpoint::service(u"Gone"_s), std::nullopt);
        QVERIFY(h.network.streams.isEmpty());
        QCOMPARE(h.lastState(), State::connecting());
        QCOMPARE(h.dnssd.browsersMade(), 1);
        h.scheduler.advance(0.249);
        QCOMPARE(h.dnssd.lookups.size(), 1);
        h.scheduler.advance(0.001);
        QCOMPARE(h.dnssd.lookups.size(), 2);
    }

    void aDialCancelledWhileResolvingNeverConnects()
    {
        Harness h;
        h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.5"_s, 7000};
        h.connection->join(NetworkEndpoint::service(u"Pit"_s), u"Ann"_s, std::nullopt, {}, {}, false);
        h.connection->leave();
        h.run();
        QCOMPARE(h.dnssd.lookups.size(), 1);
        QVERIFY(h.network.streams.isEmpty());
        QCOMPARE(h.lastState(), State::idle());
    }

    void theFirstSnapshotOfARecoveryBrowserFindsTheHostAgain()
    {
        Harness h;
        auto control = joinPit(h);
        h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.6"_s, 7100};
        control->drop();
        h.run();
        QCOMPARE(h.dnssd.browsersMade(), 1);
        const qsizetype dials = h.network.streams.size();
        h.dnssd.publish({serviceResult(u"Other"_s), serviceResult(u"Pit"_s)}, {});
        h.run();
        QCOMPARE(h.network.streams.size(), dials + 1);
        QCOMPARE(h.network.last()->endpoint(), at(u"10.0.0.6"_s, 7100));
        // The reconnect the drop scheduled is gone.
        h.scheduler.advance(1.0);
        QCOMPARE(h.network.streams.size(), dials + 1);

        h.greet(h.network.last());
        QCOMPARE(h.lastState(), State::connected());
        QVERIFY(!h.dnssd.browser());
    }

    void laterResultSetsCountOnlyThroughTheirChanges_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("dials");
        QTest::newRow("added") << int(DnsSdChange::Kind::Added) << true;
        QTest::newRow("changed") << int(DnsSdChange::Kind::Changed) << true;
        QTest::newRow("identical") << int(DnsSdChange::Kind::Identical) << false;
        QTest::newRow("removed") << int(DnsSdChange::Kind::Removed) << false;
    }

    void laterResultSetsCountOnlyThroughTheirChanges()
    {
        QFETCH(int, kind);
        QFETCH(bool, dials);
        Harness h;
        joinPit(h)->drop();
        h.run();
        const DnsSdResult other = serviceResult(u"Other"_s);
        const DnsSdResult pit = serviceResult(u"Pit"_s, {{u"e2e"_s, "2"}});
        h.dnssd.publish({other}, {added(other)});
        h.run();
        const qsizetype before = h.network.streams.size();
        const bool removed = DnsSdChange::Kind(kind) == DnsSdChange::Kind::Removed;
        h.dnssd.publish({other, pit},
            {{DnsSdChange::Kind(kind), serviceResult(u"Pit"_s),
                removed ? std::nullopt : std::optional(pit)}});
        h.run();
        QCOMPARE(h.network.streams.size(), before + (dials ? 1 : 0));
    }

    void aLinkedHostIsFoundByItsServiceWhenItsAddressRefuses()
    {
        Harness h;
        h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.6"_s, 7100};
        h.connection->startBrowsing();
        h.run();
        const DnsSdResult pit = serviceResult(u"Pit"_s);
        h.dnssd.publish({pit}, {added(pit)});
        auto control = h.joinAt(at(u"10.0.0.5"_s, 7000), u"Pit"_s);
        QCOMPARE(control->endpoint(), at(u"10.0.0.5"_s, 7000));
        control->refuse();
        h.run();
        QCOMPARE(h.network.last()->endpoint(), at(u"10.0.0.6"_s, 7100));
        QCOMPARE(h.dnssd.lookups.size(), 1);
    }

    void refusedAtTheListedEndpointDialsAgainAtTheLadderStep()
    {
        Harness h;
        h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.5"_s, 7000};
        h.connection->startBrowsing();
        h.run();
        const DnsSdResult pit = serviceResult(u"Pit"_s);
        h.dnssd.publish({pit}, {added(pit)});
        h.joinAt(NetworkEndpoint::service(u"Pit"_s), std::nullopt)->refuse();
        h.scheduler.advance(0.249);
        QCOMPARE(h.network.streams.size(), 1);
        h.scheduler.advance(0.001);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void aHostAndPortJoinWithoutServiceDoesNotBrowseAfterADrop()
    {
        Harness h;
        h.connectPlain()->drop();
        h.scheduler.advance(1.0);
        QCOMPARE(h.dnssd.browsersMade(), 0);
        QCOMPARE(h.network.streams.size(), 3);
    }

    void leaveStopsLookingForTheServiceButNotBrowsing()
    {
        Harness h;
        joinPit(h)->drop();
        h.run();
        h.connection->leave();
        h.run();
        QVERIFY(h.dnssd.browser());
        const qsizetype dials = h.network.streams.size();
        const DnsSdResult pit = serviceResult(u"Pit"_s);
        h.dnssd.publish({pit}, {added(pit)});
        h.scheduler.advance(10.0);
        QCOMPARE(h.network.streams.size(), dials);
        QCOMPARE(names(h.hostLists.last()), QStringList {u"Pit"_s});
    }

    void shutdownStopsBrowsing()
    {
        Harness h;
        h.connection->startBrowsing();
        h.run();
        h.connection->shutdownForProcessExit();
        QVERIFY(!h.dnssd.browser());
    }
};

QTEST_GUILESS_MAIN(PlayerConnectionBrowseTest)
#include "tst_playerconnectionbrowse.moc"
