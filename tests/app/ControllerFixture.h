#pragma once

#include "../midi/FakeMIDIInput.h"
#include "app/AppController.h"
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
    environment.arguments = arguments;
    return environment;
}

} // namespace pgw::test
