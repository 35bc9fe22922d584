// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeDnsSd.h"
#include "FakeMIDIInput.h"
#include "MemoryStream.h"
#include "app/AppController.h"
#include "app/PlayerCommandLine.h"
#include "support/DefaultsStore.h"
#include "support/EventLoopScheduler.h"
#include "support/ManualScheduler.h"
#include "support/SerialQueue.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace pgw::test {

// Counts what the controller asked of the display-awake activity.
class RecordingActivity : public ShowActivity
{
public:
    explicit RecordingActivity(int *begins)
        : m_begins(begins)
    { }
    void begin() override
    {
        ++*m_begins;
        m_held = true;
    }
    void end() override { m_held = false; }
    bool isHeld() const override { return m_held; }

private:
    int *m_begins;
    bool m_held = false;
};

inline AppController::Environment environment(const QString &dataDirectory, DefaultsStore &defaults,
    Scheduler &main, Scheduler &assets, PlayerConnection::Environment connection,
    const QStringList &arguments = {})
{
    AppController::Environment environment;
    environment.dataDirectory = dataDirectory;
    environment.defaults = &defaults;
    environment.main = &main;
    environment.assetQueue = &assets;
    environment.connection = std::move(connection);
    environment.connection.jitter = [](double, double) { return 1.0; };
    environment.midiInput = std::make_unique<FakeMIDIInput>();
    environment.demoPagesFolder = DemoShow::defaultPagesFolder();
    environment.options = PlayerCommandLine::parse(arguments).options;
    return environment;
}

inline PlayerConnection::Environment connectionEnvironment(
    Scheduler &queue, testing::MemoryNetwork &network, testing::FakeDnsSd &dnsSd)
{
    PlayerConnection::Environment connection;
    connection.queue = &queue;
    connection.streams = network.factory();
    connection.browsers = dnsSd.browsers();
    connection.resolvers = dnsSd.resolvers();
    return connection;
}

// A controller whose every queue is one manual scheduler and whose streams reach nobody.
struct ManualController
{
    QTemporaryDir directory;
    MemoryDefaultsStore defaults;
    ManualScheduler scheduler;
    testing::MemoryNetwork network {scheduler};
    testing::FakeDnsSd dnsSd {scheduler};
    int activityBegins = 0;
    std::unique_ptr<AppController> controller;

    explicit ManualController(const QStringList &arguments = {})
    {
        AppController::Environment env = environment(directory.path(), defaults, scheduler, scheduler,
            connectionEnvironment(scheduler, network, dnsSd), arguments);
        env.activity = std::make_unique<RecordingActivity>(&activityBegins);
        controller = std::make_unique<AppController>(std::move(env));
    }
    ~ManualController()
    {
        controller->prepareForTermination();
        controller.reset();
        scheduler.runPending();
    }
    AppController &operator*() { return *controller; }
    AppController *operator->() { return controller.get(); }
};

} // namespace pgw::test
