// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/PlayerAlsaMIDIError.h"
#include "midi/PlayerMIDIEvent.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace pgw {

struct PlayerMIDISourceInfo
{
    QString name;
    bool operator==(const PlayerMIDISourceInfo &) const = default;
};

// MIDI input from every source on the computer. Lives on the main thread; both callbacks are called
// there.
class PlayerMIDIInput : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The decoded events of one delivery, in order.
    std::function<void(const QList<PlayerMIDIEvent> &)> onEvents;
    // The connected sources, sorted by name; empty when the input stops.
    std::function<void(const QList<PlayerMIDISourceInfo> &)> onSourcesChanged;

    // Does nothing when already running; a failure leaves the input stopped, and the next start tries
    // again.
    virtual std::optional<PlayerAlsaMIDIError> start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

} // namespace pgw
