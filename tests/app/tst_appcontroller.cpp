// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"

#include "FakeDnsSd.h"
#include "MemoryStream.h"
#include "support/DefaultsKeys.h"

#include <QJsonArray>
#include <QTest>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

const DiscoveredHost stageHost {
    u"link:127.0.0.1:7000"_s, u"Stage Host"_s, NetworkEndpoint::hostPort(u"127.0.0.1"_s, 7000)};

} // namespace

Q_DECLARE_METATYPE(pgw::PlayerCommandLine::Action)
Q_DECLARE_METATYPE(pgw::LaunchOptions)

class AppControllerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<PlayerCommandLine::Action>("action");
        QTest::addColumn<LaunchOptions>("options");
        const QString link = u"pagewright-player://join?host=10.0.0.2&port=7000"_s;
        QTest::newRow("window-system options pass")
            << QStringList {u"-platform"_s, u"offscreen"_s, u"--demo"_s, u"--peek"_s}
            << PlayerCommandLine::Action::Run << LaunchOptions {{}, false, false, true, true, {}};
        QTest::newRow("first name, links in order")
            << QStringList {u"--name"_s, u"Ann"_s, link, u"--name"_s, u"Bo"_s, link + u"1"_s}
            << PlayerCommandLine::Action::Run
            << LaunchOptions {u"Ann"_s, false, false, false, false, {QUrl(link), QUrl(link + u"1"_s)}};
        QTest::newRow("name without value")
            << QStringList {u"--name"_s} << PlayerCommandLine::Action::Error << LaunchOptions {};
        QTest::newRow("unknown option")
            << QStringList {u"--fullscreen"_s} << PlayerCommandLine::Action::Error << LaunchOptions {};
        QTest::newRow("help") << QStringList {u"--help"_s} << PlayerCommandLine::Action::Help
                              << LaunchOptions {};
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(PlayerCommandLine::Action, action);
        QFETCH(LaunchOptions, options);
        const PlayerCommandLine command
            = PlayerCommandLine::parse(QStringList {u"pagewright-player"_s} + arguments);
        QCOMPARE(command.action, action);
        QCOMPARE(command.options, options);
        QCOMPARE(command.text.isEmpty(), action == PlayerCommandLine::Action::Run);
    }

    void launchOptionsApplyToTheSettings()
    {
        ManualController both({u"pagewright-player"_s, u"--invert"_s, u"--paper"_s, u"--name"_s, u"Zed"_s});
        QVERIFY(both->settings().invert());
        QCOMPARE(both.defaults.value(DefaultsKeys::playerName).toString(), u"Zed"_s);
        ManualController peekAlone({u"pagewright-player"_s, u"--peek"_s});
        peekAlone.scheduler.advance(6);
        QVERIFY(!peekAlone->isDemoRunning());
        QCOMPARE(peekAlone->model().phase(), ShowPhase::lobby());
    }

    void demoPlaysItsFirstCycle()
    {
        ManualController app({u"pagewright-player"_s, u"--demo"_s, u"--peek"_s});
        app.scheduler.runPending();
        QVERIFY(app->isDemoRunning());
        QVERIFY(app->isJoined());
        QCOMPARE(app.activityBegins, 1);
        QCOMPARE(app->model().phase(), ShowPhase::live());
        QVERIFY(!app->model().basePNG().isNull());
        QCOMPARE(app->model().displayedScoreToken(), DemoShow::scoreToken);

        // The start-up peek looks one page ahead of the Host; the demo's own script is its tests' business.
        app.scheduler.advance(5.0);
        QCOMPARE(app->model().phase(), ShowPhase::peek());
        QCOMPARE(app->model().displayedIndex(), 1);

        app->backToLobby();
        QVERIFY(!app->isDemoRunning());
        QCOMPARE(app->model().phase(), ShowPhase::lobby());
        QVERIFY(!app->isShowActivityHeld());
    }

    void pinPrompts()
    {
        ManualController app;
        app->join(stageHost, u"Ann"_s, false);
        auto &authenticate = app->connection().onAuthenticationChange;
        authenticate(PlayerConnection::AuthenticationEvent::Required);
        QCOMPARE(app->pinPrompt(), (PlayerPINPrompt {u"Stage Host"_s, false}));
        authenticate(PlayerConnection::AuthenticationEvent::Rejected);
        authenticate(PlayerConnection::AuthenticationEvent::Required);
        QCOMPARE(app->pinPrompt(), (PlayerPINPrompt {u"Stage Host"_s, true}));
        authenticate(PlayerConnection::AuthenticationEvent::Accepted);
        QVERIFY(!app->pinPrompt());
    }

    void joinLinks()
    {
        ManualController app;
        app->handleDeepLink(QUrl(u"https://example.invalid/join?host=h&port=1"_s));
        QVERIFY(app->hosts().isEmpty());
        // No stored name: the host is only listed.
        app->handleDeepLink(QUrl(u"pagewright-player://join?host=127.0.0.1&port=7001"_s));
        QCOMPARE(app->hosts().size(), 1);
        QVERIFY(!app->isJoined());

        app.defaults.setValue(DefaultsKeys::playerName, u"Ann"_s);
        app->handleDeepLink(QUrl(u"pagewright-player://join?host=127.0.0.1&port=7002&pin=1234"_s));
        QVERIFY(app->isJoined());
        QCOMPARE(app->model().phase(), ShowPhase::connecting());
        // While joined, a further link is only listed.
        app->handleDeepLink(QUrl(u"pagewright-player://join?host=127.0.0.1&port=7003"_s));
        app.scheduler.runPending();
        QCOMPARE(app->hosts().size(), 3);
        QCOMPARE(app.network.streams.size(), 1);
        QCOMPARE(app.network.streams.first()->endpoint(), NetworkEndpoint::hostPort(u"127.0.0.1"_s, 7002));
    }

    void browsingFollowsTheSession()
    {
        ManualController app;
        app->start();
        app.scheduler.runPending();
        QCOMPARE(app.dnsSd.browsersMade(), 1);
        app.dnsSd.publish({DnsSdResult {ServiceAddress {u"Pit"_s, NetworkEndpoint::serviceType, u"local."_s},
                              {{u"e2e"_s, QByteArray("2")}}}},
            {});
        app.scheduler.runPending();
        QCOMPARE(app->hosts().size(), 1);
        QCOMPARE(app->hosts().first().name, u"Pit"_s);
        QVERIFY(app->hosts().first().supportsEncryption);

        app->scenePhaseChanged(AppController::ScenePhase::Background);
        app.scheduler.runPending();
        QVERIFY(!app.dnsSd.browser());
        app->scenePhaseChanged(AppController::ScenePhase::Active);
        app.scheduler.runPending();
        QVERIFY(app.dnsSd.browser());

        // A Host that ends the show sends the stand back to the lobby's list.
        app->join(app->hosts().first(), u"Ann"_s, false);
        app->connection().onStateChange(PlayerConnection::State::ended(u"ended"_s));
        QCOMPARE(app->model().phase(), ShowPhase::ended(u"ended"_s));
        QVERIFY(!app->isJoined());
        QVERIFY(!app->isShowActivityHeld());
        app.scheduler.runPending();
        QVERIFY(app.dnsSd.browser());
    }

    void hostMessagesCloseTogetherMakeOneStatusReport()
    {
        ManualController app;
        app->join(stageHost, u"Ann"_s, false);
        app.scheduler.runPending();
        const auto control = app.network.last();
        control->accept();
        app.scheduler.runPending();
        app.network.last()->accept();
        control->reply({{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, 1}});
        app.scheduler.runPending();
        const auto reports = [&] {
            return std::ranges::count_if(control->received(), [](const auto &item) {
                return item.message.value("type"_L1).toString() == "standStatus"_L1;
            });
        };
        app.scheduler.advance(0.5);
        QVERIFY(reports() > 0);

        control->reply({{"type"_L1, "presence"_L1}, {"count"_L1, 2}, {"names"_L1, QJsonArray {u"Bo"_s}}});
        app.scheduler.advance(0.05);
        control->reply({{"type"_L1, "blackout"_L1}, {"on"_L1, true}});
        app.scheduler.advance(AppController::statusDebounce - 0.01);
        QCOMPARE(reports(), 0);
        app.scheduler.advance(0.02);
        QCOMPARE(reports(), 1);
    }

    void settingsReachTheModel()
    {
        ManualController app;
        QCOMPARE(app->model().autoReturnAfter(), 10.0);
        app->settings().setAutoReturn(false);
        QCOMPARE(app->model().autoReturnAfter(), 0.0);
        app->settings().setTurnsPagesLocally(true);
        QVERIFY(app->model().turnsPagesLocally());
    }
};

QTEST_GUILESS_MAIN(AppControllerTest)
#include "tst_appcontroller.moc"
