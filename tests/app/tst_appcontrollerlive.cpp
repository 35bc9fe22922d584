// SPDX-License-Identifier: GPL-3.0-or-later
#include "LivePlayer.h"

#include "support/Json.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int waitMs = 15000;

} // namespace

class AppControllerLiveTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void standStatusReportsTheJoinAndTheLeave()
    {
        HostSimulator host(sampleShow(), {});
        QVERIFY(host.listen());
        LivePlayer player;
        player.join(host);
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!host.recorded(u"standStatus"_s).isEmpty(), waitMs);
        const QJsonObject report = host.recorded(u"standStatus"_s).last();
        QVERIFY(report.value("joined"_L1).toBool());
        QCOMPARE(report.value("clientInstanceID"_L1).toString(), player->standClientInstanceID());
        QCOMPARE(report["client"_L1].toObject().value("platform"_L1).toString(), u"Linux"_s);
        QCOMPARE(report["health"_L1].toObject().value("connected"_L1).toBool(), true);

        player->backToLobby();
        QTRY_VERIFY_WITH_TIMEOUT(!host.recorded(u"standStatus"_s).last().value("joined"_L1).toBool(), waitMs);
        QCOMPARE(player->model().phase(), ShowPhase::lobby());
    }

    void theHealthTimerReportsOnItsOwn()
    {
        HostSimulator host(sampleShow(), HostSimulator::Options {std::nullopt, std::nullopt, false, 0});
        QVERIFY(host.listen());
        LivePlayer player(nullptr, nullptr, 0.3);
        player.join(host);
        QTRY_VERIFY_WITH_TIMEOUT(player.cacheComplete(), waitMs);
        const qsizetype before = host.recorded(u"standStatus"_s).size();
        QTRY_VERIFY_WITH_TIMEOUT(host.recorded(u"standStatus"_s).size() >= before + 3, waitMs);
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
            QCOMPARE(player->model().toast(),
                u"Saving for practice—score pages and selected parts will finish downloading in the background."_s);
            QTRY_VERIFY_WITH_TIMEOUT(
                !player->downloads().shows().isEmpty() && player->downloads().shows().first().isOpenable(),
                waitMs);
            QVERIFY(player->downloads().shows().first().statusText().startsWith(u"READY OFFLINE · "_s));
            showID = player->downloads().shows().first().id;
            player->backToLobby();
        }
        LivePlayer player(&directory, &defaults);
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
