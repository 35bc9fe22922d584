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
    return h.greet(h.join({}, {}, false, NetworkEndpoint::service(u"Pit"_s)));
}

// Browsing, with the service "Pit" listed.
void browsePit(Harness &h)
{
    h.browse();
    const DnsSdResult pit = serviceResult(u"Pit"_s);
    h.dnssd.publish({pit}, {added(pit)});
}

} // namespace

class PlayerConnectionBrowseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void browsedHostsArePublishedSortedOnTheMainThread()
    {
        ManualScheduler queue;
        ManualScheduler main;
        FakeDnsSd dnssd {queue};
        auto connection
            = PlayerConnection::create({&queue, &main, {}, {}, dnssd.browsers(), dnssd.resolvers()});
        QList<QStringList> delivered;
        connection->onHostsChange
            = [&delivered](const QList<DiscoveredHost> &hosts) { delivered << names(hosts); };
        connection->startBrowsing();
        queue.runPending();
        dnssd.publish({serviceResult(u"b"_s), serviceResult(u"A"_s)}, {});
        queue.runPending();
        QVERIFY(delivered.isEmpty());
        main.runPending();
        dnssd.publish({}, {});
        queue.runPending();
        main.runPending();
        QCOMPARE(delivered, (QList<QStringList> {{u"A"_s, u"b"_s}, {}}));
    }

    void oneBrowserAtATimeAndNoneAfterStopping()
    {
        Harness h;
        // A browser that cannot be made is tried again at the ladder's first step.
        h.dnssd.browsersUnavailable = true;
        h.browse();
        h.dnssd.browsersUnavailable = false;
        h.advance(0.499);
        QCOMPARE(h.dnssd.browsersMade(), 0);
        h.advance(0.001);
        QCOMPARE(h.dnssd.browsersMade(), 1);
        // Starting again while one runs, or while its restart is scheduled, makes no other.
        h.browse();
        h.dnssd.fail();
        h.browse();
        QCOMPARE(h.dnssd.browsersMade(), 1);
        h.advance(1.0);
        QCOMPARE(h.dnssd.browsersMade(), 2);

        // Stopping cancels a scheduled restart, and the results of an old browser are ignored.
        const auto stale = h.dnssd.browser()->onResultsChanged;
        h.dnssd.fail();
        h.connection->stopBrowsing();
        h.advance(60.0);
        QCOMPARE(h.dnssd.browsersMade(), 2);
        h.browse();
        QCOMPARE(h.dnssd.browsersMade(), 3);
        stale({serviceResult(u"Old"_s)}, {});
        h.run();
        QVERIFY(h.hostLists.isEmpty());
        h.connection->shutdownForProcessExit();
        QVERIFY(!h.dnssd.browser());
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
        h.browse();
        // Fails the running browser; the time until the next one is made, to the millisecond.
        const auto restartDelay = [&h] {
            const int made = h.dnssd.browsersMade();
            const double failedAt = h.scheduler.now();
            h.dnssd.fail();
            while (h.dnssd.browsersMade() == made)
                h.scheduler.advance(0.001);
            return h.dnssd.browsersMadeAt.last() - failedAt;
        };
        // Results without Hosts do not stop the climb; Hosts, or browsing started afresh, start it over.
        for (const double step : {0.5, 1.0, 2.0, 5.0, 10.0, 30.0, 30.0}) {
            QVERIFY2(qAbs(restartDelay() - step * jitter) < 0.0015, qPrintable(QString::number(step)));
            h.dnssd.publish({}, {});
        }
        h.dnssd.publish({serviceResult(u"Pit"_s)}, {});
        QVERIFY(qAbs(restartDelay() - 0.5 * jitter) < 0.0015);
        restartDelay();
        h.connection->stopBrowsing();
        h.browse();
        QVERIFY(qAbs(restartDelay() - 0.5 * jitter) < 0.0015);
    }

    void aServiceIsResolvedWhenDialledAndFoundAgainByTheFirstSnapshot()
    {
        Harness h;
        auto control = joinPit(h);
        QCOMPARE(h.lastState, State::connected());
        QCOMPARE(
            h.dnssd.lookups, (QList<ServiceAddress>(2, *NetworkEndpoint::service(u"Pit"_s).asService())));
        QCOMPARE(control->endpoint(), at(u"10.0.0.5"_s, 7000));
        QCOMPARE(h.assets()->endpoint(), at(u"10.0.0.5"_s, 7000));
        QCOMPARE(h.dnssd.browsersMade(), 0);

        // A drop starts a browser, whose first snapshot may hold the Host at once.
        h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.6"_s, 7100};
        control->drop();
        h.run();
        QCOMPARE(h.dnssd.browsersMade(), 1);
        h.dnssd.publish({serviceResult(u"Other"_s), serviceResult(u"Pit"_s)}, {});
        h.run();
        QCOMPARE(h.network.streams.size(), 3);
        QCOMPARE(h.network.last()->endpoint(), at(u"10.0.0.6"_s, 7100));
        h.advance(1.0); // the reconnect the drop scheduled is gone
        QCOMPARE(h.network.streams.size(), 3);
        h.greet(h.network.last());
        QCOMPARE(h.lastState, State::connected());
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
        const auto change = DnsSdChange::Kind(kind);
        h.dnssd.publish({other, pit},
            {{change, serviceResult(u"Pit"_s),
                change == DnsSdChange::Kind::Removed ? std::nullopt : std::optional(pit)}});
        h.run();
        QCOMPARE(h.network.streams.size(), before + (dials ? 1 : 0));
    }

    void aServiceIsLookedUpForEveryDial()
    {
        Harness h;
        h.join({}, {}, false, NetworkEndpoint::service(u"Gone"_s));
        QVERIFY(h.network.streams.isEmpty());
        QCOMPARE(h.dnssd.browsersMade(), 1);
        h.advance(0.249);
        QCOMPARE(h.dnssd.lookups.size(), 1);
        h.advance(0.001);
        QCOMPARE(h.dnssd.lookups.size(), 2);
        // A dial given up while its lookup runs never connects.
        h.dnssd.addresses[u"Gone"_s] = {u"10.0.0.5"_s, 7000};
        h.connection->join(NetworkEndpoint::service(u"Gone"_s), u"Ann"_s, std::nullopt, {}, {}, false);
        h.connection->leave();
        h.run();
        QCOMPARE(h.dnssd.lookups.size(), 3);
        QVERIFY(h.network.streams.isEmpty());
        QCOMPARE(h.lastState, State::idle());
    }

    void aLinkedHostIsFoundByItsServiceWhenItsAddressRefuses()
    {
        Harness h;
        h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.6"_s, 7100};
        browsePit(h);
        auto control = h.join({}, {}, false, at(u"10.0.0.5"_s, 7000), u"Pit"_s);
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
        browsePit(h);
        h.join({}, {}, false, NetworkEndpoint::service(u"Pit"_s))->refuse();
        h.advance(0.249);
        QCOMPARE(h.network.streams.size(), 1);
        h.advance(0.001);
        QCOMPARE(h.network.streams.size(), 2);
    }

    void aDropLooksForAJoinedServiceUntilTheUserLeaves()
    {
        Harness h;
        h.connectPlain()->drop();
        h.advance(1.0);
        QCOMPARE(h.dnssd.browsersMade(), 0);
        QCOMPARE(h.network.streams.size(), 3);
        joinPit(h)->drop();
        h.run();
        QCOMPARE(h.dnssd.browsersMade(), 1);
        // Leaving stops the search, not the browsing.
        h.connection->leave();
        h.run();
        QVERIFY(h.dnssd.browser());
        const DnsSdResult pit = serviceResult(u"Pit"_s);
        h.dnssd.publish({pit}, {added(pit)});
        h.advance(10.0);
        QCOMPARE(h.network.streams.size(), 5);
        QCOMPARE(names(h.hostLists.last()), QStringList {u"Pit"_s});
    }
};

QTEST_GUILESS_MAIN(PlayerConnectionBrowseTest)
#include "tst_playerconnectionbrowse.moc"
