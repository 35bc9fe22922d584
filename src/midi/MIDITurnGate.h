// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MIDITurnBinding.h"
#include "midi/MIDITurnDirection.h"
#include "midi/PlayerMIDIEvent.h"

#include <QList>

#include <map>
#include <optional>
#include <set>

namespace pgw {

// Turns pedal messages into page turns: a held pedal turns once and must be released before it turns
// again. Controllers use two thresholds so that a pedal wobbling around one value does not retrigger.
struct MIDITurnGate
{
    std::map<MIDITurnDirection, MIDITurnBinding> bindings;
    // Directions whose pedal is held down.
    std::set<MIDITurnDirection> activeDirections;
    bool operator==(const MIDITurnGate &) const = default;

    // The directions that have just gone down, previous before next.
    QList<MIDITurnDirection> consume(const PlayerMIDIEvent &event);
    // Replaces or removes a direction's binding; the direction is no longer held.
    void setBinding(MIDITurnDirection direction, const std::optional<MIDITurnBinding> &binding);
    void releaseAll() { activeDirections.clear(); }
};

} // namespace pgw
