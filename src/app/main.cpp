// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppController.h"
#include "app/PlayerCommandLine.h"
#include "app/PlayerInstance.h"
#include "app/TerminationSignals.h"
#include "app/ui/DesktopPalette.h"
#include "app/ui/PlayerDesktopApplication.h"
#include "app/ui/PlayerWindow.h"
#include "midi/PlayerAlsaMIDIInput.h"
#include "support/Allocator.h"
#include "support/DefaultsStore.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QStandardPaths>
#include <QThread>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// A later launch waits this long for a Player that holds the data directory to start answering.
constexpr int startingPlayerMilliseconds = 5000;

void setIdentity()
{
    // Paths without spaces: settings in ~/.config/pagewright, data in ~/.local/share/pagewright.
    QCoreApplication::setOrganizationName(u"pagewright"_s);
    QCoreApplication::setApplicationName(u"pagewright-player"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(PGW_VERSION));
    QGuiApplication::setApplicationDisplayName(u"Pagewright Player"_s);
    QGuiApplication::setDesktopFileName(u"pagewright-player"_s);
}

} // namespace

int main(int argc, char *argv[])
{
    pgw::keepLargeBuffersForReuse();
    setIdentity();
    pgw::PlayerCommandLine command;
    std::unique_ptr<pgw::PlayerInstance> instance;
    {
        // Without a display: --help, --version, a bad option and a hand-off to a running Player never
        // need one.
        QCoreApplication commandLine(argc, argv);
        command = pgw::PlayerCommandLine::parse(commandLine.arguments());
        switch (command.action) {
        case pgw::PlayerCommandLine::Action::Help:
        case pgw::PlayerCommandLine::Action::Version:
            std::fputs(qPrintable(command.text), stdout);
            return 0;
        case pgw::PlayerCommandLine::Action::Error:
            std::fprintf(stderr,
                "pagewright-player: %s\nTry 'pagewright-player --help' for more information.\n",
                qPrintable(command.text));
            return 2;
        case pgw::PlayerCommandLine::Action::Run:
            break;
        }
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        instance = std::make_unique<pgw::PlayerInstance>(
            pgw::PlayerInstance::defaultSocketPath(), pgw::PlayerInstance::lockPathIn(data));
        QElapsedTimer waited;
        waited.start();
        while (!instance->lockDataDirectory()) {
            if (instance->handOff(command.options.joinLinks))
                return 0;
            if (waited.elapsed() > startingPlayerMilliseconds) {
                std::fputs(
                    "pagewright-player: another Player holds the data directory and does not answer.\n",
                    stderr);
                return 1;
            }
            QThread::msleep(100);
        }
    }

    QApplication app(argc, argv);
    QApplication::setWindowIcon(
        QIcon::fromTheme(u"pagewright-player"_s, QIcon(u":/icons/pagewright-player.svg"_s)));
    pgw::applyDesktopPalette(app);
    instance->serve();

    // The queues outlive the controller, which hands them work until it is gone.
    pgw::EventLoopScheduler mainScheduler(&app);
    pgw::SerialQueue connectionQueue(u"player.connection"_s);
    pgw::SerialQueue assetQueue(u"player.assets"_s);
    pgw::SettingsDefaultsStore defaults;

    pgw::AppController::Environment environment;
    environment.dataDirectory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    environment.defaults = &defaults;
    environment.main = &mainScheduler;
    environment.assetQueue = &assetQueue.scheduler();
    environment.connection
        = pgw::PlayerConnection::systemEnvironment(connectionQueue.scheduler(), mainScheduler);
    environment.midiInput = std::make_unique<pgw::PlayerAlsaMIDIInput>(mainScheduler);
    environment.activity = std::make_unique<pgw::FreedesktopShowActivity>();
    environment.demoPagesFolder = pgw::DemoShow::defaultPagesFolder();
    environment.options = command.options;
    pgw::AppController controller(std::move(environment));

    pgw::PlayerDesktopApplication desktop(mainScheduler, controller, defaults);
    QObject::connect(
        instance.get(), &pgw::PlayerInstance::activated, &desktop, &pgw::PlayerDesktopApplication::openLinks);
    desktop.launch(command.options.joinLinks);

    pgw::TerminationSignals termination;
    QObject::connect(
        &termination, &pgw::TerminationSignals::terminationRequested, &desktop.window(), &QWidget::close);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
        [&controller] { controller.prepareForTermination(); });
    return app.exec();
}
