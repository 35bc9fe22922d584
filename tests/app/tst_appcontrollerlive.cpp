// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"

#include "HostSimulator.h"
#include "link/TcpByteStream.h"
#include "support/Json.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int waitMs = 15000;

SimShow sampleShow()
{
    return *SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
}

DiscoveredHost hostFor(const HostSimulator &host)
{
    DiscoveredHost discovered;
    discovered.id = u"link:127.0.0.1:"_s + QString::number(host.port());
    discovered.name = u"Rehearsal Room"_s;
    discovered.endpoint = NetworkEndpoint::hostPort(u"127.0.0.1"_s, host.port());
    discovered.supportsEncryption = true;
    return discovered;
}

// The Player's real threads and sockets over a private data directory.
struct LivePlayer
{
    QTemporaryDir &directory;
    MemoryDefaultsStore &defaults;
    EventLoopScheduler main {qApp};
    SerialQueue connectionQueue {u"player.connection"_s};
    SerialQueue assetQueue {u"player.assets"_s};
    std::unique_ptr<AppController> controller;

    LivePlayer(QTemporaryDir &directory, MemoryDefaultsStore &defaults, double healthInterval = 1000)
        : directory(directory)
        , defaults(defaults)
    {
        // Real sockets; browsing stays away from the machine's own DNS-SD.
        PlayerConnection::Environment connection;
        connection.queue = &connectionQueue.scheduler();
        connection.streams = TcpByteStream::factory(connectionQueue.scheduler());
        AppController::Environment env
            = environment(directory.path(), defaults, main, assetQueue.scheduler(), std::move(connection));
        env.healthInterval = healthInterval;
        controller = std::make_unique<AppController>(std::move(env));
    }
    ~LivePlayer()
    {
        controller->prepareForTermination();
        controller.reset();
    }
    AppController *operator->() { return controller.get(); }

    bool cacheComplete()
    {
        const auto wants = controller->model().currentWants();
        const auto coverage = controller->assets().cachedPageCoverage(wants);
        return !wants.isEmpty() && coverage.ready == coverage.total;
    }
};

} // namespace

class AppControllerLiveTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void joinWithAPinPromptARejectionAndARetry()
    {
        QTemporaryDir directory;
        MemoryDefaultsStore defaults;
        HostSimulator host(sampleShow(), HostSimulator::Options {u"2468"_s, std::nullopt, true, 0});
        QVERIFY(host.listen());
        LivePlayer player(directory, defaults);
        player->join(hostFor(host), u"Ann"_s, false);
        QTRY_VERIFY_WITH_TIMEOUT(player->pinPrompt().has_value(), waitMs);
        QCOMPARE(*player->pinPrompt(), (PlayerPINPrompt {u"Rehearsal Room"_s, false}));

        player->retryAuthentication(u"1357"_s);
        QTRY_VERIFY_WITH_TIMEOUT(player->pinPrompt() && player->pinPrompt()->rejected, waitMs);
        player->retryAuthentication(u" 2468 "_s);
        QTRY_COMPARE_WITH_TIMEOUT(player->model().phase(), ShowPhase::live(), waitMs);
        QVERIFY(!player->pinPrompt());
        QTRY_VERIFY_WITH_TIMEOUT(!player->model().basePNG().isNull(), waitMs);
    }

    void statusReportsFollowTheShow()
    {
        QTemporaryDir directory;
        MemoryDefaultsStore defaults;
        HostSimulator host(sampleShow(), HostSimulator::Options {std::nullopt, std::nullopt, false, 0});
        QVERIFY(host.listen());
        LivePlayer player(directory, defaults);
        player->join(hostFor(host), u"Ann"_s, false);
        QTRY_VERIFY_WITH_TIMEOUT(!host.recorded(u"standStatus"_s).isEmpty(), waitMs);
        QJsonObject report = host.recorded(u"standStatus"_s).first();
        QVERIFY(report.value("joined"_L1).toBool());
        QCOMPARE(report.value("clientInstanceID"_L1).toString(), player->standClientInstanceID());
        QCOMPARE(report["client"_L1].toObject().value("platform"_L1).toString(), u"Linux"_s);
        QCOMPARE(report["health"_L1].toObject().value("connected"_L1).toBool(), true);

        // Let the pump finish, so only the Host's messages cause reports below.
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), waitMs);
        QTest::qWait(400);
        const qsizetype before = host.recorded(u"standStatus"_s).size();
        host.setPresence(2, {u"Bo"_s});
        QTest::qWait(50);
        host.setBlackout(true);
        QTest::qWait(500);
        QCOMPARE(host.recorded(u"standStatus"_s).size(), before + 1);
        report = host.recorded(u"standStatus"_s).last();
        QCOMPARE(report.value("mode"_L1).toString(), u"follow"_s);
        QCOMPARE(report["cache"_L1].toObject().value("ready"_L1).toInt(),
            report["cache"_L1].toObject().value("total"_L1).toInt());
        QVERIFY(report["cache"_L1].toObject().value("total"_L1).toInt() >= 5);
        QCOMPARE(report["page"_L1].toObject().value("displayedScoreToken"_L1).toInt(), 101);

        player->backToLobby();
        QTRY_VERIFY_WITH_TIMEOUT(!host.recorded(u"standStatus"_s).last().value("joined"_L1).toBool(), waitMs);
        QCOMPARE(player->model().phase(), ShowPhase::lobby());
    }

    void theHealthTimerReportsOnItsOwn()
    {
        QTemporaryDir directory;
        MemoryDefaultsStore defaults;
        HostSimulator host(sampleShow(), HostSimulator::Options {std::nullopt, std::nullopt, false, 0});
        QVERIFY(host.listen());
        LivePlayer player(directory, defaults, 0.3);
        player->join(hostFor(host), u"Ann"_s, false);
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), waitMs);
        const qsizetype before = host.recorded(u"standStatus"_s).size();
        QTRY_VERIFY_WITH_TIMEOUT(host.recorded(u"standStatus"_s).size() >= before + 3, waitMs);
    }

    void theHostEndingTheShowEndsTheSession()
    {
        QTemporaryDir directory;
        MemoryDefaultsStore defaults;
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        LivePlayer player(directory, defaults);
        player->join(hostFor(host), u"Ann"_s, false);
        QTRY_COMPARE_WITH_TIMEOUT(player->model().phase(), ShowPhase::live(), waitMs);
        host.end(u"thanks"_s);
        QTRY_COMPARE_WITH_TIMEOUT(player->model().phase(), ShowPhase::ended(u"thanks"_s), waitMs);
        QVERIFY(!player->isJoined());
        QVERIFY(!player->isShowActivityHeld());
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
            LivePlayer player(directory, defaults);
            player->join(hostFor(host), u"Ann"_s, false);
            QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), waitMs);
            QVERIFY(player->model().ephemeralShow());
            QVERIFY(player->downloads().shows().isEmpty());
            player->saveCurrentShowForPractice();
            QCOMPARE(player->model().toast(),
                u"this is an ephemeral show — the host asked players to keep nothing"_s);
            // The process dies here without leaving the show.
        }
        QFile file(residue);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto keys = QJsonDocument::fromJson(file.readAll()).array().toVariantList();
        QVERIFY(keys.contains(u"chorale-g"_s));
        QVERIFY(keys.contains(u"processional"_s));
        file.close();
        QVERIFY(!QDir(directory.filePath(u"Assets"_s)).isEmpty(QDir::Files));

        LivePlayer restarted(directory, defaults);
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
            LivePlayer player(directory, defaults);
            player->join(hostFor(host), u"Ann"_s, false);
            QTRY_VERIFY_WITH_TIMEOUT(player->model().manifest().has_value(), waitMs);
            player->saveCurrentShowForPractice();
            QCOMPARE(player->model().toast(),
                u"Saving for practice—score pages and selected parts will finish downloading in the background."_s);
            QTRY_VERIFY_WITH_TIMEOUT(
                !player->downloads().shows().isEmpty() && player->downloads().shows().first().isOpenable(),
                waitMs);
            QVERIFY(player->downloads().shows().first().statusText().startsWith(u"READY OFFLINE · "_s));
            showID = player->downloads().shows().first().id;
            player->backToLobby();
        }
        LivePlayer player(directory, defaults);
        QVERIFY(player->startPractice(showID));
        QVERIFY(player->isPracticing());
        QTRY_COMPARE_WITH_TIMEOUT(player->model().phase(), ShowPhase::live(), waitMs);
        QVERIFY(player->model().practiceMode());
        QCOMPARE(player->model().presenceText(), u"saved show — swipe, tap, pedal, or use the arrow keys"_s);
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
