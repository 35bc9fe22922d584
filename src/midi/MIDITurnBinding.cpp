// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MIDITurnBinding.h"

#include "support/Json.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

constexpr int channelCount = 16;
constexpr int largestDataByte = 127;

QString rawValue(PlayerMIDIMessageKind kind)
{
    return kind == PlayerMIDIMessageKind::note ? u"note"_s : u"controlChange"_s;
}

std::optional<PlayerMIDIMessageKind> kindFromRawValue(const QString &raw)
{
    if (raw == "note"_L1)
        return PlayerMIDIMessageKind::note;
    if (raw == "controlChange"_L1)
        return PlayerMIDIMessageKind::controlChange;
    return std::nullopt;
}

QString summaryLabel(PlayerMIDIMessageKind kind)
{
    return kind == PlayerMIDIMessageKind::note ? u"note "_s : u"CC "_s;
}

// A stored MIDI data byte: an integer in 0–limit, else absent.
std::optional<std::uint8_t> dataByte(const QJsonObject &object, QLatin1StringView key, int limit)
{
    const auto value = json::optInt(object, key);
    if (!value || *value < 0 || *value > limit)
        return std::nullopt;
    return std::uint8_t(*value);
}

} // namespace

std::optional<MIDITurnBinding> MIDITurnBinding::learned(const PlayerMIDIEvent &event)
{
    if (event.sourceID.isEmpty() || event.channel >= channelCount || event.number > largestDataByte)
        return std::nullopt;
    MIDITurnBinding binding {
        event.sourceID, event.sourceName, event.kind, event.channel, event.number, {}, {}};
    if (event.kind == PlayerMIDIMessageKind::note)
        return event.pressed ? std::optional(binding) : std::nullopt;
    if (event.value == 0)
        return std::nullopt;
    // A pedal whose press stops short of the default threshold is down from its own press value, and
    // then only up when it is fully released.
    binding.onThreshold = std::min(event.value, defaultOnThreshold);
    binding.offThreshold = event.value >= defaultOnThreshold ? defaultOffThreshold : std::uint8_t(0);
    return binding;
}

QString MIDITurnBinding::summary() const
{
    return sourceName + u" · ch "_s + QString::number(channel + 1) + u" · "_s + summaryLabel(kind)
        + QString::number(number);
}

bool MIDITurnBinding::matches(const PlayerMIDIEvent &event) const
{
    return event.sourceID == sourceID && event.kind == kind && event.channel == channel
        && event.number == number;
}

bool MIDITurnBinding::sameControl(const MIDITurnBinding &other) const
{
    return other.sourceID == sourceID && other.kind == kind && other.channel == channel
        && other.number == number;
}

QJsonObject MIDITurnBinding::toJson() const
{
    QJsonObject object {
        {"sourceID"_L1, sourceID},
        {"sourceName"_L1, sourceName},
        {"kind"_L1, rawValue(kind)},
        {"channel"_L1, channel},
        {"number"_L1, number},
    };
    if (onThreshold)
        object.insert("onThreshold"_L1, *onThreshold);
    if (offThreshold)
        object.insert("offThreshold"_L1, *offThreshold);
    return object;
}

std::optional<MIDITurnBinding> MIDITurnBinding::fromJson(const QJsonObject &object)
{
    const auto sourceID = json::optString(object, "sourceID"_L1);
    const auto sourceName = json::optString(object, "sourceName"_L1);
    const auto kind = kindFromRawValue(json::stringOr(object, "kind"_L1));
    const auto channel = dataByte(object, "channel"_L1, channelCount - 1);
    const auto number = dataByte(object, "number"_L1, largestDataByte);
    if (!sourceID || !sourceName || !kind || !channel || !number)
        return std::nullopt;
    MIDITurnBinding binding {*sourceID, *sourceName, *kind, *channel, *number, {}, {}};
    // A threshold that is present must be a controller value; anything else makes the record unreadable.
    for (auto [key, threshold] : {std::pair {"onThreshold"_L1, &binding.onThreshold},
             std::pair {"offThreshold"_L1, &binding.offThreshold}}) {
        if (!object.contains(key))
            continue;
        *threshold = dataByte(object, key, largestDataByte);
        if (!*threshold)
            return std::nullopt;
    }
    return binding;
}

QByteArray MIDITurnBinding::toData() const
{
    return json::compact(toJson());
}

std::optional<MIDITurnBinding> MIDITurnBinding::fromData(const QByteArray &data)
{
    const auto object = json::parseObject(data);
    return object ? fromJson(*object) : std::nullopt;
}

} // namespace pgw
