// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pgw {

// Why MIDI input could not start; `status` is the negative ALSA error code.
struct PlayerAlsaMIDIError
{
    enum class Kind { client, port };

    Kind kind = Kind::client;
    int status = 0;
    bool operator==(const PlayerAlsaMIDIError &) const = default;

    QString message() const;
};

} // namespace pgw
