// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/PlayerMIDIInput.h"

#include <QList>

#include <functional>
#include <optional>

namespace pgw {

// A MIDI input without a device: the test decides how starts end, which sources exist and what the
// pedals send.
class FakeMIDIInput : public PlayerMIDIInput
{
    Q_OBJECT

public:
    // Results of the next starts, first first; once used up, starts succeed.
    QList<PlayerAlsaMIDIError> startFailures;
    QList<PlayerMIDISourceInfo> sources;
    int startAttempts = 0;
    std::function<void()> stopped;

    std::optional<PlayerAlsaMIDIError> start() override
    {
        if (m_running)
            return std::nullopt;
        ++startAttempts;
        if (!startFailures.isEmpty())
            return startFailures.takeFirst();
        m_running = true;
        announceSources();
        return std::nullopt;
    }

    void stop() override
    {
        if (!m_running)
            return;
        m_running = false;
        if (onSourcesChanged)
            onSourcesChanged({});
        if (stopped)
            stopped();
    }

    bool isRunning() const override { return m_running; }

    void plug(const QList<PlayerMIDISourceInfo> &now)
    {
        sources = now;
        announceSources();
    }

    void send(const QList<PlayerMIDIEvent> &events)
    {
        if (m_running && onEvents)
            onEvents(events);
    }

private:
    void announceSources()
    {
        if (onSourcesChanged)
            onSourcesChanged(sources);
    }

    bool m_running = false;
};

} // namespace pgw
