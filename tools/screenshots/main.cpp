// SPDX-License-Identifier: GPL-3.0-or-later
// Plays a musician's evening in the real Player window and saves a picture of each screen: the lobby
// with a Host listed, the join-by-code dialog, the PIN screen (asked and refused), the stage with its chrome,
// private ink, the part chooser, the pedal sheet, the ended screen and the demo. The Host is the simulator
// serving the sample show on loopback. Run it under a real X server (scripts/screenshots.sh uses Xvfb).
#include "HostSimulator.h"

#include "annotations/PrivateAnnotationStore.h"
#include "app/AppController.h"
#include "app/ui/DesktopPalette.h"
#include "app/ui/LobbyView.h"
#include "app/ui/PlayerDesktopApplication.h"
#include "app/ui/PlayerPINEntryView.h"
#include "app/ui/PlayerWindow.h"
#include "app/ui/RootView.h"
#include "midi/PlayerAlsaMIDIInput.h"
#include "stage/ui/StageView.h"
#include "support/DefaultsStore.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>

using namespace pgw;
using namespace pgw::hostsim;
using namespace Qt::StringLiterals;

namespace {

void wait(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool waitFor(const std::function<bool()> &condition, int milliseconds = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

class Photographer
{
public:
    Photographer(QWidget &window, QString folder)
        : m_window(window)
        , m_folder(std::move(folder))
    { }

    // The window with whatever sheet is open over it, as the screen shows it.
    void take(const QString &name)
    {
        wait(400);
        const QRect frame = m_window.frameGeometry();
        const QPixmap picture
            = m_window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        const QString path = QDir(m_folder).filePath(name + u".png"_s);
        std::printf("%s %s\n", picture.save(path) ? "saved" : "could not save", qPrintable(path));
    }

private:
    QWidget &m_window;
    QString m_folder;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString folder = app.arguments().value(1, u"docs/screenshots"_s);
    QDir().mkpath(folder);
    QTemporaryDir home;
    QApplication::setApplicationName(u"Pagewright Player"_s);
    applyDesktopPalette(app);

    EventLoopScheduler main(&app);
    SerialQueue connectionQueue(u"player.connection"_s);
    SerialQueue assetQueue(u"player.assets"_s);
    SettingsDefaultsStore defaults(home.filePath(u"settings.conf"_s));
    AppController::Environment environment;
    environment.dataDirectory = home.filePath(u"data"_s);
    environment.defaults = &defaults;
    environment.main = &main;
    environment.assetQueue = &assetQueue.scheduler();
    environment.connection = PlayerConnection::systemEnvironment(connectionQueue.scheduler(), main);
    environment.midiInput = std::make_unique<PlayerAlsaMIDIInput>(main);
    environment.demoPagesFolder = DemoShow::defaultPagesFolder();
    AppController controller(std::move(environment));
    PlayerDesktopApplication desktop(main, controller, defaults);
    PlayerWindow &window = desktop.window();
    RootView &root = *window.root();
    desktop.launch();
    Photographer camera(window, folder);

    auto show = SimShow::load(QStringLiteral(PGW_SHARED_DIR "/sample-show"));
    if (!show) {
        std::fprintf(stderr, "the sample show is missing\n");
        return 1;
    }
    HostSimulator::Options options;
    options.pin = u"4821"_s;
    HostSimulator host(*show, options);
    host.listen();
    host.setPresence(4, {u"you"_s, u"Alex"_s, u"Sam"_s, u"Ria"_s});

    // The link without its PIN, as a Host found on the network would be: the PIN is asked for.
    controller.handleDeepLink(QUrl(u"pagewright-player://join?host=127.0.0.1&port=%1"_s.arg(host.port())));
    auto *name = window.findChild<QLineEdit *>(u"player-name"_s);
    name->setText(u"Jo"_s);
    controller.setPlayerName(u"Jo"_s);
    wait(5600);
    camera.take(u"lobby"_s);
    root.lobby()->openJoinDialog();
    camera.take(u"join-code"_s);
    QApplication::activeModalWidget()->close();

    window.findChild<QPushButton *>(u"join-follow"_s)->click();
    waitFor([&] { return root.pinEntry() && root.pinEntry()->isVisible(); });
    camera.take(u"pin"_s);
    controller.retryAuthentication(u"1111"_s);
    waitFor([&] { return controller.pinPrompt() && controller.pinPrompt()->rejected; });
    camera.take(u"pin-rejected"_s);
    controller.retryAuthentication(u"4821"_s);
    waitFor([&] {
        return controller.model().phase().is(ShowPhase::Live) && !controller.model().basePNG().isNull();
    });
    host.setPresence(4, {u"you"_s, u"Alex"_s, u"Sam"_s, u"Ria"_s});
    wait(2500);
    StageView &stage = *root.stage();
    stage.setChromeVisible(true);
    camera.take(u"stage"_s);

    stage.togglePrivateAnnotations();
    if (const auto page = stage.visiblePrivatePageKey()) {
        const auto pen
            = privateAnnotationStyle(PlayerPrivateAnnotationTool::Pen, PlayerPrivateAnnotationColor::Red);
        const auto marker = privateAnnotationStyle(
            PlayerPrivateAnnotationTool::Highlighter, PlayerPrivateAnnotationColor::Yellow);
        PrivateAnnotationStore &ink = controller.privateAnnotations();
        ink.addStroke(
            {QUuid::createUuid(), *marker, {{0.08, 0.305, 1}, {0.5, 0.3, 1}, {0.93, 0.305, 1}}}, *page);
        ink.addStroke({QUuid::createUuid(), *pen,
                          {{0.62, 0.46, 1}, {0.66, 0.43, 1}, {0.71, 0.45, 1}, {0.69, 0.5, 1}, {0.63, 0.5, 1},
                              {0.62, 0.46, 1}}},
            *page);
        ink.addStroke({QUuid::createUuid(), *pen, {{0.2, 0.64, 1}, {0.3, 0.62, 1}, {0.42, 0.64, 1}}}, *page);
    }
    camera.take(u"private-ink"_s);
    stage.togglePrivateAnnotations();
    controller.model().setToast({});

    // The Host opens the reel, whose parts ask the player to choose.
    controller.settings().setInstrument(u"builtin:violin"_s, true);
    controller.settings().setInstrument(u"builtin:clarinet-b-flat"_s, true);
    host.navigate(0, 1);
    waitFor([&] { return !controller.model().availablePartOptions().isEmpty(); });
    wait(1500);
    controller.model().openPartChooser();
    camera.take(u"part-chooser"_s);
    for (QWidget *sheet : QApplication::topLevelWidgets()) {
        if (sheet->objectName() == u"part-chooser"_s)
            sheet->close();
    }

    stage.openPedals();
    camera.take(u"pedals"_s);
    QApplication::activeModalWidget()->close();

    host.end(u"ended"_s);
    waitFor([&] { return controller.model().phase().is(ShowPhase::Ended); });
    camera.take(u"ended"_s);

    controller.backToLobby();
    controller.startDemo();
    waitFor([&] { return !controller.model().basePNG().isNull(); });
    wait(2500);
    camera.take(u"demo"_s);
    return 0;
}
