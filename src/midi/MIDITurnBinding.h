// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/PlayerMIDIEvent.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace pgw {

// A learned pedal: the exact device, channel and note or controller that turns a page.
struct MIDITurnBinding
{
    static constexpr std::uint8_t defaultOnThreshold = 64;
    static constexpr std::uint8_t defaultOffThreshold = 32;

    QString sourceID;
    // The name when it was learned; shown, never compared.
    QString sourceName;
    PlayerMIDIMessageKind kind = PlayerMIDIMessageKind::note;
    std::uint8_t channel = 0;
    std::uint8_t number = 0;
    // Controller value at or above which the pedal is down.
    std::optional<std::uint8_t> onThreshold;
    // Controller value at or below which the pedal is up.
    std::optional<std::uint8_t> offThreshold;
    bool operator==(const MIDITurnBinding &) const = default;

    // The binding a press teaches; absent for releases and for events without a source.
    static std::optional<MIDITurnBinding> learned(const PlayerMIDIEvent &event);
    // "Pedal · ch 1 · CC 64".
    QString summary() const;
    // Whether the event comes from this pedal (same device, kind, channel and number).
    bool matches(const PlayerMIDIEvent &event) const;
    bool sameControl(const MIDITurnBinding &other) const;

    QJsonObject toJson() const;
    static std::optional<MIDITurnBinding> fromJson(const QJsonObject &object);
    // The stored form: compact JSON bytes.
    QByteArray toData() const;
    static std::optional<MIDITurnBinding> fromData(const QByteArray &data);
};

} // namespace pgw
