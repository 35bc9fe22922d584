// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "midi/MIDITurnBinding.h"
#include "midi/MIDITurnGate.h"
#include "midi/PlayerAlsaMIDIInput.h"

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

using Kind = PlayerMIDIMessageKind;
using Direction = MIDITurnDirection;
using Events = QList<PlayerMIDIEvent>;
using Words = QList<quint32>;

const PlayerAlsaMIDISource pedalSource {20, 0, u"alsa:FS|FS MIDI 1"_s, u"FS MIDI 1"_s};

PlayerMIDIEvent midiEvent(Kind kind, int channel, int number, int value, bool pressed,
    const PlayerAlsaMIDISource &source = pedalSource)
{
    return {source.id, source.name, kind, std::uint8_t(channel), std::uint8_t(number), std::uint8_t(value),
        pressed};
}

PlayerMIDIEvent controller(int value, const PlayerAlsaMIDISource &source = pedalSource)
{
    return midiEvent(Kind::controlChange, 0, 64, value, value != 0, source);
}

// A note-on of this velocity, or a note-off of the opposite one when it is negative.
PlayerMIDIEvent note(int velocity)
{
    return midiEvent(Kind::note, 0, 60, std::abs(velocity), velocity > 0);
}

// One packet announcing `announced` words, or as many as are given when it is negative.
PlayerMIDIEventPacket packet(const Words &words, qint64 announced = -1)
{
    PlayerMIDIEventPacket packet;
    packet.wordCount = std::uint32_t(announced < 0 ? words.size() : announced);
    std::copy(words.begin(), words.end(), packet.words.begin());
    return packet;
}

// A threshold of -1 is absent.
std::optional<std::uint8_t> threshold(int value)
{
    return value < 0 ? std::nullopt : std::optional(std::uint8_t(value));
}

MIDITurnBinding sustainBinding(int on = -1, int off = -1)
{
    return {pedalSource.id, pedalSource.name, Kind::controlChange, 0, 64, threshold(on), threshold(off)};
}

} // namespace

class MIDIEventsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesWordsAndPacketsInOrderWithTheirSource()
    {
        const auto cc
            = [](int ch, int v) { return Events {midiEvent(Kind::controlChange, ch, 64, v, v != 0)}; };
        const Events pressed = cc(0, 127);
        QList<std::pair<Words, Events>> cases {{{0x20903C64}, {midiEvent(Kind::note, 0, 60, 100, true)}},
            {{0x20953C00}, {midiEvent(Kind::note, 5, 60, 0, false)}}, // note on at velocity 0
            {{0x208F3C7F}, {midiEvent(Kind::note, 15, 60, 127, false)}}, {{0x20B1407F}, cc(1, 127)},
            {{0x20B14000}, cc(1, 0)}, {{0x20B0C0FF}, pressed} /* high data bits masked */,
            {{0x2AB0407F}, pressed} /* group ignored */,
            {{0x20A03C40, 0x20C00500, 0x20D04000, 0x20E00040, 0x20B0407F}, pressed}, // other messages skipped
            {{0x20B0407F, 0x40903C00}, pressed}}; // cut short by the packet's end
        // The words of longer messages may look like MIDI 1.0 notes; they must be stepped over whole.
        const QList<int> sizes {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};
        for (quint32 type = 0; type < 16; ++type)
            cases.append(
                {Words {type << 28 | 0x00903C64} + Words(sizes[type] - 1, 0x20903C64) + Words {0x20B0407F},
                    type == 2 ? Events {midiEvent(Kind::note, 0, 60, 100, true)} + pressed : pressed});
        for (const auto &[words, expected] : cases)
            QCOMPARE(PlayerAlsaMIDIInput::parse(QList {packet(words)}, pedalSource), expected);

        const PlayerAlsaMIDISource keys {24, 1, u"alsa-name:Keys|out"_s, u"out"_s};
        QCOMPARE(PlayerAlsaMIDIInput::parse(
                     QList {packet({0x20903C64}), packet({}), packet({0x20803C00, 0x20B0407F})}, keys),
            (Events {midiEvent(Kind::note, 0, 60, 100, true, keys),
                midiEvent(Kind::note, 0, 60, 0, false, keys),
                midiEvent(Kind::controlChange, 0, 64, 127, true, keys)}));
        const Words notes(PlayerMIDIEventPacket::maxWords, 0x20903C64);
        for (const auto &[announced, count] :
            QList<std::pair<qint64, int>> {{0, 0}, {64, 64}, {65, 64}, {0xFFFFFFFF, 64}})
            QCOMPARE(PlayerAlsaMIDIInput::parse(QList {packet(notes, announced)}, pedalSource).size(), count);
    }

    void bindingsLearnedFromPressesAndStored()
    {
        // Each event with the thresholds it teaches: none for a note, and no binding at all when empty.
        const QList<std::pair<PlayerMIDIEvent, QList<int>>> cases {{controller(64), {64, 32}},
            {controller(63), {63, 0}}, {controller(0), {}}, {note(90), {-1, -1}}, {note(-64), {}},
            {midiEvent(Kind::note, 0, 60, 90, true, {0, 0, {}, u"Pedal"_s}), {}},
            {midiEvent(Kind::note, 16, 60, 90, true), {}}};
        for (const auto &[event, taught] : cases) {
            const auto binding = MIDITurnBinding::learned(event);
            QCOMPARE(binding.has_value(), !taught.isEmpty());
            if (!binding)
                continue;
            QCOMPARE(*binding,
                (MIDITurnBinding {event.sourceID, event.sourceName, event.kind, event.channel, event.number,
                    threshold(taught[0]), threshold(taught[1])}));
        }

        QCOMPARE(MIDITurnBinding({u"id"_s, u"Keys"_s, Kind::note, 15, 60, {}, {}}).summary(),
            u"Keys · ch 16 · note 60"_s);
        for (const MIDITurnBinding &binding :
            {sustainBinding(40, 0), sustainBinding(), *MIDITurnBinding::learned(note(90))})
            QCOMPARE(MIDITurnBinding::fromData(binding.toData()), binding);
        // Stored bindings: key order and unknown keys do not matter; a missing or out-of-range member does.
        const QByteArray head = R"({"sourceID":"s","sourceName":"n",)";
        const QList<std::pair<QByteArray, bool>> stored {
            {R"({"number":64,"channel":0,"kind":"controlChange","sourceName":"n","sourceID":"s"})", true},
            {head + R"("kind":"note","channel":0,"number":1,"x":[]})", true},
            {R"({"sourceName":"n","kind":"note","channel":0,"number":1})", false},
            {head + R"("kind":"pitchBend","channel":0,"number":1})", false},
            {head + R"("kind":"note","channel":16,"number":1})", false},
            {head + R"("kind":"note","channel":0,"number":6.5})", false},
            {head + R"("kind":"controlChange","channel":0,"number":64,"offThreshold":300})", false},
            {"\x01\x02garbage", false}};
        for (const auto &[data, readable] : stored)
            QVERIFY2(MIDITurnBinding::fromData(data).has_value() == readable, data.constData());
    }

    void gateTurnsOncePerPressOfTheLearnedControl()
    {
        // Controller values, or note velocities where a negative one is a note-off, with the values that
        // turn.
        const QList<std::tuple<MIDITurnBinding, QList<int>, QList<int>>> cases {
            {sustainBinding(), range(0, 127) + range(126, 0) + range(1, 127), {64, 64}},
            {sustainBinding(), {0, 127, 33, 127}, {127}}, {sustainBinding(), {0, 127, 32, 127}, {127, 127}},
            {sustainBinding(), {70, 50, 70, 50, 100, 127}, {70}},
            {sustainBinding(64, 32), {127, 40, 127, 20, 127}, {127, 127}},
            {sustainBinding(40, 0), {40, 39, 1, 45, 0, 41}, {40, 41}},
            {*MIDITurnBinding::learned(note(90)), {90, 90, 0, 5, -100, 127}, {90, 5, 127}}};
        for (const auto &[binding, values, turnsAt] : cases) {
            MIDITurnGate gate;
            gate.setBinding(Direction::next, binding);
            QList<int> turned;
            for (int value : values) {
                const auto fired = gate.consume(binding.kind == Kind::note ? note(value) : controller(value));
                if (!fired.isEmpty())
                    turned << value;
            }
            QCOMPARE(turned, turnsAt);
        }

        const PlayerAlsaMIDISource twin {21, 0, u"alsa:FS_1|FS MIDI 1"_s, pedalSource.name};
        const PlayerAlsaMIDISource renamed {20, 0, pedalSource.id, u"Renamed"_s};
        MIDITurnGate gate;
        gate.setBinding(Direction::next, sustainBinding(64, 32));
        // Another device of the same name, channel, controller or a note of the same number do not turn;
        // the same device under another name does.
        QList<qsizetype> turned;
        for (const PlayerMIDIEvent &event :
            {controller(127, twin), midiEvent(Kind::controlChange, 1, 64, 127, true),
                midiEvent(Kind::controlChange, 0, 65, 127, true), midiEvent(Kind::note, 0, 64, 127, true),
                controller(127, renamed), controller(0)})
            turned << gate.consume(event).size();
        QCOMPARE(turned, (QList<qsizetype> {0, 0, 0, 0, 1, 0}));

        // One control bound to both directions fires both, previous first; rebinding releases a direction.
        gate.setBinding(Direction::previous, sustainBinding(64, 32));
        const QList both {Direction::previous, Direction::next};
        QCOMPARE(gate.consume(controller(127)), both);
        QVERIFY(gate.consume(controller(127)).isEmpty());
        gate.setBinding(Direction::next, sustainBinding(100, 0));
        QCOMPARE(gate.consume(controller(127)), QList {Direction::next});
        gate.setBinding(Direction::next, std::nullopt);
        QVERIFY(gate.consume(controller(0)).isEmpty());
        QCOMPARE(gate.consume(controller(127)), QList {Direction::previous});
    }
};

QTEST_APPLESS_MAIN(MIDIEventsTest)
#include "tst_midievents.moc"
