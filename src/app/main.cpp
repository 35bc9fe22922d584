#include "app/AppController.h"
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
#include <QStandardPaths>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    pgw::keepLargeBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(u"Pagewright"_s);
    QApplication::setApplicationName(u"Pagewright Player"_s);
    QApplication::setApplicationVersion(QStringLiteral(PGW_VERSION));
    QApplication::setDesktopFileName(u"pagewright-player"_s);
    pgw::applyDesktopPalette(app);

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
    environment.arguments = QApplication::arguments();
    pgw::AppController controller(std::move(environment));

    pgw::PlayerDesktopApplication desktop(mainScheduler, controller, defaults);
    desktop.launch();

    pgw::TerminationSignals termination;
    QObject::connect(
        &termination, &pgw::TerminationSignals::terminationRequested, &desktop.window(), &QWidget::close);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
        [&controller] { controller.prepareForTermination(); });
    return app.exec();
}
