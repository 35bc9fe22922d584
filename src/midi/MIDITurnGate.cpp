// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MIDITurnGate.h"

namespace pgw {

namespace {

enum class PedalState { down, up, unchanged };

PedalState pedalState(const MIDITurnBinding &binding, const PlayerMIDIEvent &event)
{
    if (binding.kind == PlayerMIDIMessageKind::note)
        return event.pressed ? PedalState::down : PedalState::up;
    if (event.value >= binding.onThreshold.value_or(MIDITurnBinding::defaultOnThreshold))
        return PedalState::down;
    if (event.value <= binding.offThreshold.value_or(MIDITurnBinding::defaultOffThreshold))
        return PedalState::up;
    return PedalState::unchanged;
}

} // namespace

QList<MIDITurnDirection> MIDITurnGate::consume(const PlayerMIDIEvent &event)
{
    QList<MIDITurnDirection> fired;
    for (MIDITurnDirection direction : allMIDITurnDirections) {
        const auto binding = bindings.find(direction);
        if (binding == bindings.end() || !binding->second.matches(event))
            continue;
        switch (pedalState(binding->second, event)) {
        case PedalState::down:
            if (activeDirections.insert(direction).second)
                fired.append(direction);
            break;
        case PedalState::up:
            activeDirections.erase(direction);
            break;
        case PedalState::unchanged:
            break;
        }
    }
    return fired;
}

void MIDITurnGate::setBinding(MIDITurnDirection direction, const std::optional<MIDITurnBinding> &binding)
{
    if (binding)
        bindings.insert_or_assign(direction, *binding);
    else
        bindings.erase(direction);
    activeDirections.erase(direction);
}

} // namespace pgw
