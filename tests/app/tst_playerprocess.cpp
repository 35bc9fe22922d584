// SPDX-License-Identifier: GPL-3.0-or-later
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// A Player process with its own home, runtime and data directories, on the offscreen platform.
struct Player
{
    QProcess process;
    // What the Player has said on its standard error so far.
    QString said;

    Player(const QTemporaryDir &home, const QStringList &arguments, bool display = true)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        environment.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
        environment.insert(u"XDG_RUNTIME_DIR"_s, home.filePath(u"runtime"_s));
        environment.insert(u"QT_LOGGING_RULES"_s, u"pgw.app.info=true"_s);
        environment.insert(u"ASAN_OPTIONS"_s, u"detect_leaks=0"_s);
        // Without a display an xcb Player could not open a window: --help and friends must not try.
        environment.insert(u"QT_QPA_PLATFORM"_s, display ? u"offscreen"_s : u"xcb"_s);
        if (!display)
            environment.remove(u"DISPLAY"_s);
        QDir(home.path()).mkpath(u"runtime"_s);
        QFile::setPermissions(home.filePath(u"runtime"_s),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        process.setProcessEnvironment(environment);
        process.setProgram(QStringLiteral(PGW_PLAYER_BINARY));
        process.setArguments(arguments);
        process.start();
    }

    bool finishes() { return process.waitForFinished(15000); }
    // Waits until the Player has said `text` on its standard error.
    bool says(const QString &text)
    {
        QElapsedTimer timer;
        timer.start();
        while (!said.contains(text) && timer.elapsed() < 15000) {
            process.waitForReadyRead(100);
            said += QString::fromUtf8(process.readAllStandardError());
        }
        return said.contains(text);
    }
};

} // namespace

class PlayerProcessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void helpVersionAndBadOptionsNeedNoDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("help") << QStringList {u"--help"_s} << 0 << u"--name <NAME>"_s;
        QTest::newRow("version") << QStringList {u"--version"_s} << 0 << u"pagewright-player 0."_s;
        QTest::newRow("unknown option") << QStringList {u"--fullscreen"_s} << 2 << u"Unknown option"_s;
    }

    void helpVersionAndBadOptionsNeedNoDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir home;
        Player player(home, arguments, false);
        QVERIFY(player.finishes());
        QCOMPARE(player.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.process.exitCode(), exitCode);
        const QString printed = QString::fromUtf8(player.process.readAll()) + player.said
            + QString::fromUtf8(player.process.readAllStandardError());
        QVERIFY2(printed.contains(output), qPrintable(printed));
    }

    void laterLaunchesHandTheirLinksToTheRunningPlayerEvenAfterACrash()
    {
        QTemporaryDir home;
        Player crashed(home, {});
        QVERIFY(crashed.says(u"ready for join links"_s));
        ::kill(pid_t(crashed.process.processId()), SIGKILL);
        QVERIFY(crashed.finishes());
        QVERIFY(QFile::exists(home.filePath(u"runtime/pagewright-player.socket"_s)));

        // The crashed Player's socket and lock are replaced.
        Player first(home, {});
        QVERIFY(first.says(u"ready for join links"_s));
        Player second(home,
            {u"pagewright-player://join?host=127.0.0.1&port=7101"_s,
                u"pagewright-player://join?host=127.0.0.1&port=7102"_s});
        QVERIFY(second.finishes());
        QCOMPARE(second.process.exitCode(), 0);
        QVERIFY(first.says(u"127.0.0.1:7102"_s));
        const qsizetype firstLink = first.said.indexOf(u"127.0.0.1:7101"_s);
        QVERIFY(firstLink >= 0 && firstLink < first.said.indexOf(u"127.0.0.1:7102"_s));
        Player third(home, {});
        QVERIFY(third.finishes());
        QVERIFY(first.says(u"the window is asked for"_s));
        QCOMPARE(first.process.state(), QProcess::Running);

        // SIGTERM closes the window; closing the last window ends the Player normally.
        first.process.terminate();
        QVERIFY(first.finishes());
        QCOMPARE(first.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(PlayerProcessTest)
#include "tst_playerprocess.moc"
