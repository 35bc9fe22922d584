// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/PlayerAlsaMIDIError.h"

using namespace Qt::StringLiterals;

namespace pgw {

QString PlayerAlsaMIDIError::message() const
{
    const QString prefix = kind == Kind::client ? u"Could not start MIDI (ALSA error "_s
                                                : u"Could not open the MIDI input (ALSA error "_s;
    return prefix + QString::number(status) + u")."_s;
}

} // namespace pgw
