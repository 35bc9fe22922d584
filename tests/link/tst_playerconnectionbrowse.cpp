// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConnectionHarness.h"

#include <QTest>

using namespace pgw;
using namespace pgw::testing;
using namespace Qt::StringLiterals;

class PlayerConnectionBrowseTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scenarios_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("transcript");
        // Browsing restarts along its own ladder, and only one browser runs.
        QTest::newRow("a browser that cannot be made is tried again; one browser at a time")
            << u"browsers:off browse browsers:on wait:0.499 | wait:0.001 | browse fail browse wait:1 | "
               u"hold fail stop wait:60 | browse stale:Old | shutdown"_s
            << u"| browser:1+0.001 | nobrowser browser:2+1 | nobrowser | browser:3 | nobrowser"_s;
        QTest::newRow("restart ladder, high end")
            << u"jitter:1.2 browse fail rebrowse publish: fail rebrowse publish: fail rebrowse publish: "
               u"fail rebrowse publish: fail rebrowse publish: fail rebrowse publish: fail rebrowse "
               u"publish: | publish:Pit fail rebrowse fail rebrowse | stop browse fail rebrowse"_s
            << u"browser:1 nobrowser browser:2+0.6 hosts: nobrowser browser:3+1.2 hosts: nobrowser "
               u"browser:4+2.4 hosts: nobrowser browser:5+6 hosts: nobrowser browser:6+12 hosts: "
               u"nobrowser browser:7+36 hosts: nobrowser browser:8+36 hosts: | hosts:Pit nobrowser "
               u"browser:9+0.6 nobrowser browser:10+1.2 | nobrowser browser:11 nobrowser browser:12+0.6"_s;
        // A joined service is looked up for every dial; after a drop, browsing finds it again, in the first
        // result set or later in the changes that add or change it.
        QTest::newRow("a service is resolved for each dial and found again by the first snapshot")
            << u"address:Pit:10.0.0.5:7000 service:Pit accept hello | address:Pit:10.0.0.6:7100 drop "
               u"publish:Other,Pit wait:1 | accept hello"_s
            << u"connecting lookup:Pit dial:1@10.0.0.5:7000 lookup:Pit 1>hi dial:2@10.0.0.5:7000 "
               u"2>attach connected auth:accepted plain msg:hello | connecting browser:1 cut:1 cut:2 "
               u"connecting hosts:Other,Pit lookup:Pit dial:3@10.0.0.6:7100 | lookup:Pit 3>hi "
               u"dial:4@10.0.0.6:7100 4>attach connected auth:accepted plain msg:hello nobrowser"_s;
        const QString dropped
            = u"connecting lookup:Pit dial:1@10.0.0.5:7000 lookup:Pit 1>hi dial:2@10.0.0.5:7000 "
              u"2>attach connected auth:accepted plain msg:hello connecting browser:1 cut:1 "
              u"cut:2 hosts:Other | "_s;
        for (const auto &[kind, found] : {std::pair(u"added"_s, true), std::pair(u"changed"_s, true),
                 std::pair(u"identical"_s, false), std::pair(u"removed"_s, false)})
            QTest::addRow("a later result set with the service %s", qPrintable(kind))
                << u"address:Pit:10.0.0.5:7000 service:Pit accept hello drop publish:Other:added:Other | "
                   u"publish:Other,Pit:"_s
                    + kind + u":Pit"_s
                << dropped
                    + (found ? u"connecting hosts:Other,Pit lookup:Pit dial:3@10.0.0.5:7000"_s
                             : u"hosts:Other,Pit"_s);
        QTest::newRow("a service that does not resolve")
            << u"service:Gone wait:0.249 | wait:0.001"_s
            << u"connecting connecting browser:1 lookup:Gone | connecting connecting lookup:Gone"_s;
        // Refused where the link said, a Host is dialled where its service is listed now.
        QTest::newRow("a linked Host is found by its service when its address refuses")
            << u"address:Pit:10.0.0.6:7100 browse publish:Pit:added:Pit linked:10.0.0.5:7000:Pit refuse"_s
            << u"browser:1 hosts:Pit connecting dial:1@10.0.0.5:7000 connecting lookup:Pit cut:1 "
               u"dial:2@10.0.0.6:7100"_s;
        QTest::newRow("refused where it is listed, the ladder dials again")
            << u"address:Pit:10.0.0.5:7000 browse publish:Pit:added:Pit service:Pit refuse wait:0.249 | "
               u"wait:0.001"_s
            << u"browser:1 hosts:Pit connecting lookup:Pit dial:1@10.0.0.5:7000 connecting cut:1 | "
               u"connecting lookup:Pit dial:2+0.001@10.0.0.5:7000"_s;
        QTest::newRow("a drop looks for a joined service until the user leaves")
            << u"join accept hello drop wait:1 | address:Pit:10.0.0.5:7000 service:Pit accept hello "
               u"drop | leave publish:Pit:added:Pit wait:10"_s
            << u"connecting dial:1 1>hi dial:2 2>attach connected auth:accepted plain msg:hello "
               u"connecting cut:1 cut:2 connecting dial:3+0.25 | connecting lookup:Pit cut:3 "
               u"dial:4@10.0.0.5:7000 lookup:Pit 4>hi dial:5@10.0.0.5:7000 5>attach connected "
               u"auth:accepted plain msg:hello connecting browser:1 cut:4 cut:5 | idle hosts:Pit"_s;
    }

    void scenarios() { playScenarioRow(); }

    void hostsAreDeliveredOnTheMainThread()
    {
        ManualScheduler queue, main;
        FakeDnsSd dnssd {queue};
        auto connection
            = PlayerConnection::create({&queue, &main, {}, {}, dnssd.browsers(), dnssd.resolvers()});
        qsizetype delivered = 0;
        connection->onHostsChange
            = [&delivered](const QList<DiscoveredHost> &hosts) { delivered += hosts.size(); };
        connection->startBrowsing();
        queue.runPending();
        dnssd.publish({serviceResult(u"Pit"_s)}, {});
        queue.runPending();
        QCOMPARE(delivered, 0);
        main.runPending();
        QCOMPARE(delivered, 1);
    }

    void aDialGivenUpWhileItsServiceIsLookedUpNeverConnects()
    {
        Harness h;
        h.dnssd.addresses[u"Pit"_s] = {u"10.0.0.5"_s, 7000};
        h.connection->join(NetworkEndpoint::service(u"Pit"_s), u"Ann"_s, std::nullopt, {}, {}, false);
        h.connection->leave();
        h.run();
        QCOMPARE(h.take(), u"connecting idle lookup:Pit"_s);
    }
};

QTEST_GUILESS_MAIN(PlayerConnectionBrowseTest)
#include "tst_playerconnectionbrowse.moc"
