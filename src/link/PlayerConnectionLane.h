// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ByteStream.h"
#include "link/PlayerConnection.h"
#include "link/PlayerSecureChannel.h"
#include "link/Wire.h"

namespace pgw {

// One TCP connection of a session: its stream, its secure channel if any, and its frame reader.
struct PlayerConnection::Lane
{
    bool control = false;
    quint64 id = 0;
    std::shared_ptr<ByteStream> stream;
    std::shared_ptr<PlayerSecureChannel> channel;
    FrameReader reader;
    bool ready = false;
    bool cancelled = false;
    // The reader holds frames that a posted turn will read.
    bool readPosted = false;

    const char *name() const { return control ? "control" : "assets"; }
};

} // namespace pgw
