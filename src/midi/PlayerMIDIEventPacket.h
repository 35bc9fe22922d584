// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

namespace pgw {

// One packet of Universal MIDI Packet words (MIDI 1.0 protocol). `wordCount` is what the packet
// announces; readers never look past `words`, however many it announces.
struct PlayerMIDIEventPacket
{
    static constexpr std::uint32_t maxWords = 64;

    std::uint64_t timeStamp = 0;
    std::uint32_t wordCount = 0;
    std::array<std::uint32_t, maxWords> words {};
};

} // namespace pgw
