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

    bool finishes(int milliseconds = 15000) { return process.waitForFinished(milliseconds); }
    // Waits until the Player has said `text` on its standard error.
    bool says(const QString &text, int milliseconds = 15000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_said.contains(text) && timer.elapsed() < milliseconds) {
            process.waitForReadyRead(100);
            m_said += QString::fromUtf8(process.readAllStandardError());
        }
        return m_said.contains(text);
    }
    const QString &said() const { return m_said; }

private:
    QString m_said;
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
        QTest::newRow("name without value")
            << QStringList {u"--name"_s} << 2 << u"Missing value after '--name'"_s;
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
        const QString printed = QString::fromUtf8(player.process.readAll()) + player.said()
            + QString::fromUtf8(player.process.readAllStandardError());
        QVERIFY2(printed.contains(output), qPrintable(printed));
    }

    void aSecondLaunchHandsItsLinksToTheFirst()
    {
        QTemporaryDir home;
        Player first(home, {});
        QVERIFY(first.says(u"ready for join links"_s));
        const QString a = u"pagewright-player://join?host=127.0.0.1&port=7101"_s;
        const QString b = u"pagewright-player://join?host=127.0.0.1&port=7102"_s;
        Player second(home, {a, b});
        QVERIFY(second.finishes());
        QCOMPARE(second.process.exitCode(), 0);
        QVERIFY(first.says(u"127.0.0.1:7102"_s));
        const QString said = first.said();
        QVERIFY(said.indexOf(u"127.0.0.1:7101"_s) < said.indexOf(u"127.0.0.1:7102"_s));
        QCOMPARE(first.process.state(), QProcess::Running);

        // SIGTERM closes the window; closing the last window ends the Player normally.
        first.process.terminate();
        QVERIFY(first.finishes());
        QCOMPARE(first.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.process.exitCode(), 0);
    }

    void aCrashedPlayersSocketAndLockAreReplaced()
    {
        QTemporaryDir home;
        Player crashed(home, {});
        QVERIFY(crashed.says(u"ready for join links"_s));
        ::kill(pid_t(crashed.process.processId()), SIGKILL);
        QVERIFY(crashed.finishes());
        QVERIFY(QFile::exists(home.filePath(u"runtime/pagewright-player.socket"_s)));

        Player next(home, {});
        QVERIFY(next.says(u"ready for join links"_s));
        Player later(home, {});
        QVERIFY(later.finishes());
        QCOMPARE(later.process.exitCode(), 0);
        QVERIFY(next.says(u"the window is asked for"_s));
        next.process.terminate();
        QVERIFY(next.finishes());
    }
};

QTEST_GUILESS_MAIN(PlayerProcessTest)
#include "tst_playerprocess.moc"
