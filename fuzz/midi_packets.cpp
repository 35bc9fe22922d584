// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI input: the input is read three ways. As Universal MIDI Packets ([announced word count: 4 bytes]
// [words: 4 bytes each], repeated), whose first presses teach pedals and whose events go through the turn
// gate; as one ALSA sequencer event, which must decode to what it says; and as a stored pedal binding.
#include "FuzzSupport.h"

#include "midi/MIDITurnGate.h"
#include "midi/PlayerAlsaMIDIInput.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstring>

using namespace pgw;

namespace {

const PlayerAlsaMIDISource pedal {20, 0, QStringLiteral("alsa:FS|FS MIDI 1"), QStringLiteral("FS MIDI 1")};

void checkStored(const MIDITurnBinding &binding)
{
    fuzz::require(MIDITurnBinding::fromData(binding.toData()) == binding, "a stored binding reads back");
}

QList<PlayerMIDIEventPacket> packets(fuzz::Input input)
{
    QList<PlayerMIDIEventPacket> packets;
    while (!input.rest().isEmpty()) {
        PlayerMIDIEventPacket packet;
        packet.wordCount = input.quad();
        const qsizetype present = std::min<qsizetype>({qsizetype(packet.wordCount),
            qsizetype(PlayerMIDIEventPacket::maxWords), (input.rest().size() + 3) / 4});
        for (qsizetype i = 0; i < present; ++i)
            packet.words[i] = input.quad();
        packets.append(packet);
    }
    return packets;
}

void checkPackets(const QList<PlayerMIDIEventPacket> &packets)
{
    const QList<PlayerMIDIEvent> events = PlayerAlsaMIDIInput::parse(packets, pedal);
    MIDITurnGate gate;
    // Pedals are learned now and then, not from every press: the first few teach, the rest only turn.
    int lessons = 8;
    for (const PlayerMIDIEvent &event : events) {
        fuzz::require(event.channel < 16 && event.number < 128 && event.value < 128, "MIDI data is in range");
        if (const auto binding = lessons > 0 ? MIDITurnBinding::learned(event) : std::nullopt) {
            --lessons;
            fuzz::require(binding->matches(event), "a pedal matches the press it was learned from");
            checkStored(*binding);
            gate.setBinding(
                event.number % 2 ? MIDITurnDirection::next : MIDITurnDirection::previous, *binding);
        }
        const auto held = gate.activeDirections;
        const QList<MIDITurnDirection> fired = gate.consume(event);
        for (MIDITurnDirection direction : fired) {
            fuzz::require(!held.contains(direction) && gate.activeDirections.contains(direction),
                "a held pedal turns once until it is released");
        }
    }
}

void checkSequencerEvent(QByteArrayView bytes)
{
    snd_seq_event_t event;
    std::memset(&event, 0, sizeof event);
    std::memcpy(&event, bytes.data(), std::min(sizeof event, size_t(bytes.size())));
    const auto word = PlayerAlsaMIDIInput::channelVoiceWord(event);
    if (!word)
        return;
    PlayerMIDIEventPacket packet;
    packet.wordCount = 1;
    packet.words[0] = *word;
    const QList<PlayerMIDIEvent> events = PlayerAlsaMIDIInput::parse({&packet, 1}, pedal);
    fuzz::require(events.size() == 1, "a sequencer note or controller is one event");
    const bool controller = event.type == SND_SEQ_EVENT_CONTROLLER;
    const unsigned channel = controller ? event.data.control.channel : event.data.note.channel;
    const unsigned number = controller ? event.data.control.param : event.data.note.note;
    const int value = controller ? event.data.control.value : event.data.note.velocity;
    fuzz::require(events[0].channel == channel && events[0].number == number
            && events[0].value == std::clamp(value, 0, 127),
        "a sequencer event decodes to its channel, number and value");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const fuzz::Input input(data, size);
    checkPackets(packets(input));
    checkSequencerEvent(input.rest());
    if (const auto stored = MIDITurnBinding::fromData(input.rest().toByteArray()))
        checkStored(*stored);
    return 0;
}
