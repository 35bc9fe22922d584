// SPDX-License-Identifier: GPL-3.0-or-later
#include "AvahiServicePublisher.h"
#include "ControllerFixture.h"
#include "SampleShow.h"

#include "app/ui/LobbyView.h"
#include "app/ui/PlayerDesktopApplication.h"
#include "app/ui/PlayerPINEntryView.h"
#include "app/ui/PlayerWindow.h"
#include "app/ui/RootView.h"
#include "midi/PlayerAlsaMIDIInput.h"
#include "stage/ui/DesktopPageSurface.h"
#include "stage/ui/DesktopStageView.h"
#include "stage/ui/StageView.h"
#include "stage/ui/ZoomStage.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace pgw;
using namespace pgw::hostsim;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int waitMs = 20000;

// Whether a surface shows paper: an engraved page is mostly white.
bool showsPaper(QWidget *surface)
{
    const QImage pixels = surface->grab().toImage().scaled(50, 50);
    int paper = 0;
    for (int i = 0; !pixels.isNull() && i < 50 * 50; ++i)
        paper += qGray(pixels.pixel(i % 50, i / 50)) > 200;
    return paper > 50 * 50 / 2;
}

} // namespace

class PlayerWindowSystemTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aMusicianJoinsWithAPinReadsAndLeaves()
    {
        QTemporaryDir home;
        SerialQueue connectionQueue(u"player.connection"_s);
        SerialQueue assetQueue(u"player.assets"_s);
        EventLoopScheduler main(this);
        MemoryDefaultsStore defaults;
        AppController::Environment env = environment(home.path(), defaults, main, assetQueue.scheduler(),
            PlayerConnection::systemEnvironment(connectionQueue.scheduler(), main));
        env.midiInput = std::make_unique<PlayerAlsaMIDIInput>(main);
        AppController controller(std::move(env));
        PlayerDesktopApplication desktop(main, controller, defaults);
        RootView &root = *desktop.window().root();
        desktop.launch();

        HostSimulator::Options options;
        options.pin = u"4821"_s;
        HostSimulator host(sampleShow(), options);
        QVERIFY(host.listen(QHostAddress(qEnvironmentVariable("PGW_TEST_ADDRESS"))));
        AvahiServicePublisher publisher(
            u"Stage Left"_s, NetworkEndpoint::serviceType, host.port(), {"e2e=2", "auth=1"});

        auto *hosts = root.lobby()->findChild<QListView *>(u"host-list"_s);
        QTRY_VERIFY_WITH_TIMEOUT(
            !hosts->model()->match(hosts->model()->index(0, 0), Qt::DisplayRole, u"Stage Left"_s).isEmpty(),
            waitMs);
        QTest::keyClicks(root.lobby()->findChild<QLineEdit *>(u"player-name"_s), u"Jo"_s);
        QTest::mouseClick(root.lobby()->findChild<QPushButton *>(u"join-follow"_s), Qt::LeftButton);

        QTRY_VERIFY_WITH_TIMEOUT(root.pinEntry() && root.pinEntry()->isVisible(), waitMs);
        auto *field = root.pinEntry()->findChild<QLineEdit *>(u"pin-field"_s);
        QTest::keyClicks(field, u"1111"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(
            root.pinEntry()->findChild<QLabel *>(u"pin-heading"_s)->text(), u"PIN not accepted"_s, waitMs);

        QTest::keyClicks(field, u"4821"_s);
        QTest::keyClick(field, Qt::Key_Return);
        DesktopStageView *stage = root.stage()->zoomStage()->stageView();
        const auto firstPageShown = [&] {
            DesktopPageSurface *surface = stage->currentSurface();
            return surface && surface->isVisible() && !surface->baseImage().isNull() && showsPaper(surface);
        };
        QTRY_VERIFY_WITH_TIMEOUT(firstPageShown(), waitMs);
        QVERIFY(!root.pinEntry());

        const QString first = stage->displayedPageKey();
        host.navigate(1);
        QTRY_VERIFY_WITH_TIMEOUT(stage->displayedPageKey() != first && firstPageShown(), waitMs);

        root.stage()->setChromeVisible(true);
        QTest::mouseClick(root.stage()->findChild<QToolButton *>(u"leave"_s), Qt::LeftButton);
        QCOMPARE(root.currentWidget(), static_cast<QWidget *>(root.lobby()));
        controller.prepareForTermination();
    }
};

QTEST_MAIN(PlayerWindowSystemTest)
#include "tst_playerwindowsystem.moc"
