// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"
#include "TestSupport.h"

#include "app/ui/EndedView.h"
#include "app/ui/LobbyView.h"
#include "app/ui/PlayerDesktopApplication.h"
#include "app/ui/PlayerPINEntryView.h"
#include "app/ui/PlayerWindow.h"
#include "app/ui/RootView.h"
#include "stage/ui/StageView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

class PlayerWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lobbyJoinsTheFirstHostWithATrimmedName()
    {
        ManualController app;
        for (const int port : {7001, 7002})
            app->handleDeepLink(QUrl(u"pagewright-player://join?host=127.0.0.1&port=%1"_s.arg(port)));
        LobbyView lobby(app.scheduler, *app);
        lobby.show();
        auto *follow = lobby.findChild<QPushButton *>(u"join-follow"_s);
        auto *name = lobby.findChild<QLineEdit *>(u"player-name"_s);

        QTest::keyClicks(name, u"  \t "_s);
        QVERIFY(!follow->isEnabled());
        name->clear();
        QTest::keyClicks(name, u"  Ann  "_s);
        QVERIFY(follow->isEnabled());

        QTest::mouseClick(follow, Qt::LeftButton);
        app.scheduler.runPending();
        QVERIFY(app->isJoined());
        QCOMPARE(app.network.last()->endpoint(), NetworkEndpoint::hostPort(u"127.0.0.1"_s, 7001));
        QVERIFY(!app->settings().turnsPagesLocally());
        // What the musician typed is kept, untrimmed, for the next join.
        QCOMPARE(app->playerName(), u"  Ann  "_s);
    }

    void lobbyHelpsAfterFiveSecondsAndCountsSheets()
    {
        ManualController app;
        LobbyView lobby(app.scheduler, *app);
        lobby.show();
        auto *help = lobby.findChild<QLabel *>(u"long-search-help"_s);
        app.scheduler.advance(LobbyView::longSearch - 0.1);
        QVERIFY(!help->isVisible());
        app.scheduler.advance(0.2);
        QVERIFY(help->isVisible());

        for (const QString &id : {u"violin"_s, u"viola"_s, u"cello"_s})
            app->settings().setInstrument(id, true);
        QCOMPARE(lobby.findChild<QPushButton *>(u"lobby-instruments"_s)->text(), u"My Instruments · 3"_s);
        for (const auto &[number, direction] :
            {std::pair<uint8_t, MIDITurnDirection> {64, MIDITurnDirection::previous},
                {65, MIDITurnDirection::next}})
            app->midi().setBinding(MIDITurnBinding::learned({u"alsa:FS|FS 1"_s, u"FS 1"_s,
                                       PlayerMIDIMessageKind::controlChange, 0, number, 127, true}),
                direction);
        QCOMPARE(lobby.findChild<QPushButton *>(u"lobby-pedals"_s)->text(), u"MIDI Pedals · 2"_s);
    }

    void pinScreenAsksAgainAfterARejection()
    {
        PlayerPINEntryView pin;
        QStringList submitted;
        int cancels = 0;
        pin.onSubmit = [&](const QString &value) { submitted << value; };
        pin.onCancel = [&] { ++cancels; };
        pin.setPrompt(u"Stage Left"_s, false);
        pin.show();
        auto *field = pin.findChild<QLineEdit *>(u"pin-field"_s);
        auto *join = pin.findChild<QPushButton *>(u"pin-join"_s);
        QTest::keyClicks(field, u"12"_s);
        QVERIFY(!join->isEnabled());
        QTest::keyClicks(field, u"34"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(submitted, QStringList {u"1234"_s});

        QTest::keyClicks(field, u"99"_s);
        pin.setPrompt(u"Stage Left"_s, true);
        QCOMPARE(pin.findChild<QLabel *>(u"pin-heading"_s)->text(), u"PIN not accepted"_s);
        QVERIFY(field->text().isEmpty());
        QTest::keyClick(&pin, Qt::Key_Escape);
        QCOMPARE(cancels, 1);
    }

    void arrowKeysTurnOnlyInAShowAndNotInText()
    {
        ManualController app;
        PlayerDesktopApplication desktop(app.scheduler, *app, app.defaults);
        PlayerWindow &window = desktop.window();
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        app->startDemo();
        app.scheduler.runPending();
        QCOMPARE(window.root()->currentWidget(), static_cast<QWidget *>(window.root()->stage()));
        const int page = app->model().displayedPage();
        QLineEdit scratch(&window);
        scratch.show();
        scratch.setFocus();
        QTest::keyClick(&scratch, Qt::Key_Right);
        QCOMPARE(app->model().displayedPage(), page);
        scratch.hide();
        QTest::keyClick(&window, Qt::Key_Right);
        QCOMPARE(app->model().phase(), ShowPhase::peek());

        // The Host ending the show leaves the ended screen, and its button the lobby.
        app->model().handle(object(R"({"type":"end","reason":"version"})"));
        QCOMPARE(window.root()->currentWidget(), static_cast<QWidget *>(window.root()->ended()));
        QVERIFY(window.findChild<QLabel *>(u"ended-text"_s)->text().startsWith(u"this Player and the Mac"_s));
        QTest::mouseClick(window.findChild<QPushButton *>(u"back-to-lobby"_s), Qt::LeftButton);
        QCOMPARE(window.root()->currentWidget(), static_cast<QWidget *>(window.root()->lobby()));
    }
};

QTEST_MAIN(PlayerWindowTest)
#include "tst_playerwindow.moc"
