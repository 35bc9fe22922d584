// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

namespace pgw {

enum class MIDITurnDirection { previous, next };

// The order in which directions are considered and reported.
inline constexpr std::array<MIDITurnDirection, 2> allMIDITurnDirections {
    MIDITurnDirection::previous, MIDITurnDirection::next};

// The page delta a turn in this direction gives to the show model.
constexpr int pageDelta(MIDITurnDirection direction)
{
    return direction == MIDITurnDirection::previous ? -1 : +1;
}

constexpr MIDITurnDirection opposite(MIDITurnDirection direction)
{
    return direction == MIDITurnDirection::previous ? MIDITurnDirection::next : MIDITurnDirection::previous;
}

} // namespace pgw
