// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace pgw {

enum class PlayerMIDIMessageKind { note, controlChange };

// One decoded MIDI 1.0 note or control-change message.
struct PlayerMIDIEvent
{
    // Stable across replugging, unlike the platform's numbers for the device.
    QString sourceID;
    QString sourceName;
    PlayerMIDIMessageKind kind = PlayerMIDIMessageKind::note;
    // 0–15; users see 1–16.
    std::uint8_t channel = 0;
    std::uint8_t number = 0;
    // Velocity or controller value.
    std::uint8_t value = 0;
    // The message means "down": a note-on with velocity, or a controller above 0.
    bool pressed = false;
    bool operator==(const PlayerMIDIEvent &) const = default;
};

} // namespace pgw
