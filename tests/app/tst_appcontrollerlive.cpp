// SPDX-License-Identifier: GPL-3.0-or-later
#include "LivePlayer.h"

#include <QDir>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

static constexpr int waitMs = 15000;

class AppControllerLiveTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void standStatusReportsTheJoinTheHealthAndTheLeave()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        LivePlayer player(nullptr, nullptr, 0.3);
        player.join(host);
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!host.recorded(u"standStatus"_s).isEmpty(), waitMs);
        const QJsonObject report = host.recorded(u"standStatus"_s).last();
        QVERIFY(report.value("joined"_L1).toBool());
        QCOMPARE(report.value("clientInstanceID"_L1).toString(), player->standClientInstanceID());
        QCOMPARE(report["health"_L1].toObject().value("connected"_L1).toBool(), true);
        // With nothing else to report, the health timer reports on its own.
        const qsizetype before = host.recorded(u"standStatus"_s).size();
        QTRY_VERIFY_WITH_TIMEOUT(host.recorded(u"standStatus"_s).size() >= before + 3, waitMs);

        player->backToLobby();
        QTRY_VERIFY_WITH_TIMEOUT(!host.recorded(u"standStatus"_s).last().value("joined"_L1).toBool(), waitMs);
        QCOMPARE(player->model().phase(), ShowPhase::lobby());
    }

    void ephemeralShowsLeaveNothingBehind()
    {
        QTemporaryDir directory;
        MemoryDefaultsStore defaults;
        HostSimulator::Options options;
        options.ephemeral = true;
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen());
        const QString residue = QDir(directory.path()).filePath(AppController::residueFileName);
        {
            LivePlayer player(&directory, &defaults);
            player.join(host);
            QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), waitMs);
            QVERIFY(player->model().ephemeralShow());
            player->saveCurrentShowForPractice();
            QVERIFY(player->downloads().shows().isEmpty());
            // The process dies here without leaving the show.
        }
        // The next start purges the pages through the residue file the crash left.
        QVERIFY(QFile::exists(residue));
        QVERIFY(!QDir(directory.filePath(u"Assets"_s)).isEmpty(QDir::Files));
        LivePlayer restarted(&directory, &defaults);
        QVERIFY(!QFile::exists(residue));
        QTRY_VERIFY_WITH_TIMEOUT(QDir(directory.filePath(u"Assets"_s)).isEmpty(QDir::Files), waitMs);
    }

    void saveForPracticeThenPractiseWithoutTheHost()
    {
        QTemporaryDir directory;
        MemoryDefaultsStore defaults;
        QString showID;
        {
            HostSimulator host(sampleShow(), {});
            QVERIFY(host.listen());
            LivePlayer player(&directory, &defaults);
            player.join(host);
            QTRY_VERIFY_WITH_TIMEOUT(player->model().manifest().has_value(), waitMs);
            player->saveCurrentShowForPractice();
            QTRY_VERIFY_WITH_TIMEOUT(
                !player->downloads().shows().isEmpty() && player->downloads().shows().first().isOpenable(),
                waitMs);
            showID = player->downloads().shows().first().id;
            player->backToLobby();
        }
        LivePlayer player(&directory, &defaults);
        QVERIFY(player->startPractice(showID));
        QVERIFY(player->isPracticing());
        QTRY_COMPARE_WITH_TIMEOUT(player->model().phase(), ShowPhase::live(), waitMs);
        QVERIFY(player->model().practiceMode());
        QTRY_VERIFY_WITH_TIMEOUT(!player->model().basePNG().isNull(), waitMs);
        const int first = player->model().displayedPage();
        player->model().turnLocally(+1);
        QTRY_VERIFY_WITH_TIMEOUT(player->model().displayedPage() != first, waitMs);
        // A connection ending while practising changes nothing.
        player->connection().onStateChange(PlayerConnection::State::ended(u"gone"_s));
        QCOMPARE(player->model().phase(), ShowPhase::live());
        QVERIFY(player->isJoined());
    }
};

QTEST_GUILESS_MAIN(AppControllerLiveTest)
#include "tst_appcontrollerlive.moc"
