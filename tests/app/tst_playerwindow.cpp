#include "app/PlayerWindow.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

class PlayerWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowOpensDarkWithItsTitleAndSizes()
    {
        PlayerWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), u"Pagewright Player"_s);
        QCOMPARE(window.size(), QSize(1180, 820));
        QCOMPARE(window.minimumSize(), QSize(680, 480));
        QVERIFY(window.palette().color(QPalette::Window).lightness() < 64);
        QVERIFY(window.findChild<QLabel *>(u"placeholder"_s));
    }

    void playerStartsOffscreenAndExitsCleanlyWhenItsWindowCloses()
    {
        QProcess player;
        player.setProgram(QStringLiteral(PGW_PLAYER_BINARY));
        player.setArguments({u"-platform"_s, u"offscreen"_s});
        player.start();
        QVERIFY(player.waitForStarted());
        QTest::qWait(500);
        QCOMPARE(player.state(), QProcess::Running);
        // SIGTERM closes the window; closing the last window ends the Player normally.
        player.terminate();
        QVERIFY(player.waitForFinished(10000));
        QCOMPARE(player.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.exitCode(), 0);
    }
};

QTEST_MAIN(PlayerWindowTest)
#include "tst_playerwindow.moc"
