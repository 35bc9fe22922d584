// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "midi/MIDITurnBinding.h"
#include "midi/MIDITurnGate.h"
#include "midi/PlayerAlsaMIDIInput.h"
#include "support/Json.h"

using namespace pgw;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

using Kind = PlayerMIDIMessageKind;
using Direction = MIDITurnDirection;

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

PlayerMIDIEvent noteOn(int velocity)
{
    return midiEvent(Kind::note, 0, 60, velocity, velocity != 0);
}

PlayerMIDIEventPacket packet(const QList<quint32> &words, std::uint32_t announced)
{
    PlayerMIDIEventPacket packet;
    packet.wordCount = announced;
    std::copy(words.begin(), words.end(), packet.words.begin());
    return packet;
}

PlayerMIDIEventPacket packet(const QList<quint32> &words)
{
    return packet(words, std::uint32_t(words.size()));
}

QList<PlayerMIDIEvent> parse(const QList<PlayerMIDIEventPacket> &packets)
{
    return PlayerAlsaMIDIInput::parse(packets, pedalSource);
}

// A threshold of -1 is absent.
std::optional<std::uint8_t> threshold(int value)
{
    return value < 0 ? std::nullopt : std::optional(std::uint8_t(value));
}

MIDITurnBinding sustainBinding(int on = -1, int off = -1)
{
    MIDITurnBinding binding = *MIDITurnBinding::learned(controller(127));
    binding.onThreshold = threshold(on);
    binding.offThreshold = threshold(off);
    return binding;
}

} // namespace

class MIDIEventsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesChannelVoiceWords_data()
    {
        QTest::addColumn<QList<quint32>>("words");
        QTest::addColumn<QList<PlayerMIDIEvent>>("expected");
        const auto note = [](int ch, int n, int v, bool p) { return midiEvent(Kind::note, ch, n, v, p); };
        const auto cc = [](int ch, int n, int v) { return midiEvent(Kind::controlChange, ch, n, v, v != 0); };
        QTest::newRow("note on") << QList<quint32> {0x20903C64} << QList {note(0, 60, 100, true)};
        QTest::newRow("note on at velocity 0 is a release")
            << QList<quint32> {0x20953C00} << QList {note(5, 60, 0, false)};
        QTest::newRow("note off is a release, whatever its velocity")
            << QList<quint32> {0x208F3C7F} << QList {note(15, 60, 127, false)};
        QTest::newRow("control change") << QList<quint32> {0x20B1407F} << QList {cc(1, 64, 127)};
        QTest::newRow("control change to 0") << QList<quint32> {0x20B14000} << QList {cc(1, 64, 0)};
        QTest::newRow("high data bits are masked off")
            << QList<quint32> {0x20B0C0FF} << QList {cc(0, 64, 127)};
        QTest::newRow("group is ignored") << QList<quint32> {0x2AB0407F} << QList {cc(0, 64, 127)};
        QTest::newRow("poly aftertouch, program change, channel pressure, pitch bend skipped")
            << QList<quint32> {0x20A03C40, 0x20C00500, 0x20D04000, 0x20E00040, 0x20B0407F}
            << QList {cc(0, 64, 127)};
        QTest::newRow("a message cut short by the end of the packet")
            << QList<quint32> {0x20903C64, 0x40903C00} << QList {note(0, 60, 100, true)};
    }

    void decodesChannelVoiceWords()
    {
        QFETCH(QList<quint32>, words);
        QFETCH(QList<PlayerMIDIEvent>, expected);
        QCOMPARE(parse({packet(words)}), expected);
    }

    // The words of longer messages may look like MIDI 1.0 notes; they must be stepped over whole.
    void skipsOtherMessageTypesByTheirSize_data()
    {
        QTest::addColumn<quint32>("type");
        QTest::addColumn<int>("size");
        const QList<std::pair<int, int>> sizes {{0, 1}, {1, 1}, {3, 2}, {4, 2}, {5, 4}, {6, 1}, {7, 1},
            {8, 2}, {9, 2}, {10, 2}, {11, 3}, {12, 3}, {13, 4}, {14, 4}, {15, 4}};
        for (const auto &[type, size] : sizes)
            QTest::addRow("type %d, %d words", type, size) << quint32(type) << size;
    }

    void skipsOtherMessageTypesByTheirSize()
    {
        QFETCH(quint32, type);
        QFETCH(int, size);
        const quint32 lookalike = 0x20903C64;
        QList<quint32> words {type << 28 | 0x00903C64};
        for (int i = 1; i < size; ++i)
            words << lookalike;
        words << 0x20B0407F;
        QCOMPARE(parse({packet(words)}), QList {controller(127)});
    }

    void readsAtMostSixtyFourWordsOfAPacket_data()
    {
        QTest::addColumn<quint32>("announced");
        QTest::addColumn<int>("events");
        QTest::newRow("none") << quint32(0) << 0;
        QTest::newRow("all") << quint32(64) << 64;
        QTest::newRow("one too many") << quint32(65) << 64;
        QTest::newRow("far too many") << quint32(0xFFFFFFFF) << 64;
    }

    void readsAtMostSixtyFourWordsOfAPacket()
    {
        QFETCH(quint32, announced);
        QFETCH(int, events);
        const QList<quint32> words(PlayerMIDIEventPacket::maxWords, 0x20903C64);
        QCOMPARE(parse({packet(words, announced)}).size(), events);
    }

    void decodesPacketsInOrderWithTheirSource()
    {
        const PlayerAlsaMIDISource keys {24, 1, u"alsa-name:Keys|out"_s, u"out"_s};
        const auto events = PlayerAlsaMIDIInput::parse(
            std::vector {packet({0x20903C64}), packet({}), packet({0x20803C00, 0x20B0407F})}, keys);
        QCOMPARE(events,
            (QList {midiEvent(Kind::note, 0, 60, 100, true, keys),
                midiEvent(Kind::note, 0, 60, 0, false, keys),
                midiEvent(Kind::controlChange, 0, 64, 127, true, keys)}));
    }

    void learnsFromPresses_data()
    {
        QTest::addColumn<PlayerMIDIEvent>("event");
        QTest::addColumn<bool>("teaches");
        QTest::addColumn<int>("onThreshold");
        QTest::addColumn<int>("offThreshold");
        QTest::newRow("full controller press") << controller(127) << true << 64 << 32;
        QTest::newRow("controller press of 64") << controller(64) << true << 64 << 32;
        QTest::newRow("controller press of 63") << controller(63) << true << 63 << 0;
        QTest::newRow("faintest controller press") << controller(1) << true << 1 << 0;
        QTest::newRow("controller release") << controller(0) << false << -1 << -1;
        QTest::newRow("note on") << noteOn(90) << true << -1 << -1;
        QTest::newRow("note on at velocity 0") << noteOn(0) << false << -1 << -1;
        QTest::newRow("note off") << midiEvent(Kind::note, 0, 60, 64, false) << false << -1 << -1;
        QTest::newRow("no source ID")
            << midiEvent(Kind::note, 0, 60, 90, true, {0, 0, {}, u"Pedal"_s}) << false << -1 << -1;
        QTest::newRow("channel out of range") << midiEvent(Kind::note, 16, 60, 90, true) << false << -1 << -1;
    }

    void learnsFromPresses()
    {
        QFETCH(PlayerMIDIEvent, event);
        QFETCH(bool, teaches);
        QFETCH(int, onThreshold);
        QFETCH(int, offThreshold);
        const auto binding = MIDITurnBinding::learned(event);
        QCOMPARE(binding.has_value(), teaches);
        if (binding) {
            QCOMPARE(*binding,
                (MIDITurnBinding {event.sourceID, event.sourceName, event.kind, event.channel, event.number,
                    threshold(onThreshold), threshold(offThreshold)}));
            QVERIFY(binding->matches(event));
        }
    }

    void summaryNamesDeviceChannelAndControl()
    {
        QCOMPARE(MIDITurnBinding({u"id"_s, u"Pedal"_s, Kind::controlChange, 0, 64, 64, 32}).summary(),
            u"Pedal · ch 1 · CC 64"_s);
        QCOMPARE(MIDITurnBinding({u"id"_s, u"Keys"_s, Kind::note, 15, 60, {}, {}}).summary(),
            u"Keys · ch 16 · note 60"_s);
    }

    void storedFormNamesEveryField()
    {
        QCOMPARE(*json::parseObject(MIDITurnBinding::learned(controller(127))->toData()),
            (QJsonObject {{"sourceID"_L1, u"alsa:FS|FS MIDI 1"_s}, {"sourceName"_L1, u"FS MIDI 1"_s},
                {"kind"_L1, u"controlChange"_s}, {"channel"_L1, 0}, {"number"_L1, 64}, {"onThreshold"_L1, 64},
                {"offThreshold"_L1, 32}}));
        QCOMPARE(*json::parseObject(MIDITurnBinding::learned(noteOn(90))->toData()),
            (QJsonObject {{"sourceID"_L1, u"alsa:FS|FS MIDI 1"_s}, {"sourceName"_L1, u"FS MIDI 1"_s},
                {"kind"_L1, u"note"_s}, {"channel"_L1, 0}, {"number"_L1, 60}}));
    }

    void storedBindingsReadBack_data()
    {
        QTest::addColumn<MIDITurnBinding>("binding");
        QTest::newRow("light controller") << sustainBinding(40, 0);
        QTest::newRow("controller without thresholds") << sustainBinding();
        QTest::newRow("note") << *MIDITurnBinding::learned(noteOn(90));
    }

    void storedBindingsReadBack()
    {
        QFETCH(MIDITurnBinding, binding);
        QCOMPARE(MIDITurnBinding::fromData(binding.toData()), binding);
    }

    void readsStoredBindings_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("readable");
        const QByteArray head = R"("sourceID":"s","sourceName":"n",)";
        QTest::newRow("key order does not matter") << QByteArray(
            R"({"number":64,"channel":0,"kind":"controlChange","sourceName":"n","sourceID":"s"})")
                                                   << true;
        QTest::newRow("unknown keys are ignored")
            << "{" + head + R"("kind":"note","channel":0,"number":1,"x":[]})" << true;
        QTest::newRow("missing sourceID")
            << QByteArray(R"({"sourceName":"n","kind":"note","channel":0,"number":1})") << false;
        QTest::newRow("missing number") << "{" + head + R"("kind":"note","channel":0})" << false;
        QTest::newRow("unknown kind")
            << "{" + head + R"("kind":"pitchBend","channel":0,"number":1})" << false;
        QTest::newRow("channel 16") << "{" + head + R"("kind":"note","channel":16,"number":1})" << false;
        QTest::newRow("number 128") << "{" + head + R"("kind":"note","channel":0,"number":128})" << false;
        QTest::newRow("fractional number")
            << "{" + head + R"("kind":"note","channel":0,"number":6.5})" << false;
        QTest::newRow("threshold as text")
            << "{" + head + R"("kind":"controlChange","channel":0,"number":64,"onThreshold":"64"})" << false;
        QTest::newRow("threshold too large")
            << "{" + head + R"("kind":"controlChange","channel":0,"number":64,"offThreshold":300})" << false;
        QTest::newRow("array") << QByteArray("[]") << false;
        QTest::newRow("not JSON") << QByteArray("\x01\x02garbage") << false;
    }

    void readsStoredBindings()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, readable);
        QCOMPARE(MIDITurnBinding::fromData(data).has_value(), readable);
    }

    void controllerGateTurnsOncePerPress_data()
    {
        QTest::addColumn<int>("onThreshold");
        QTest::addColumn<int>("offThreshold");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QList<int>>("turnsAt");
        QTest::newRow("sweep up and down") << -1 << -1 << range(0, 127) + range(126, 0) << QList {64};
        QTest::newRow("two sweeps") << -1 << -1 << range(0, 127) + range(126, 0) + range(1, 127)
                                    << QList {64, 64};
        QTest::newRow("33 does not rearm") << -1 << -1 << QList {0, 127, 33, 127} << QList {127};
        QTest::newRow("32 rearms") << -1 << -1 << QList {0, 127, 32, 127} << QList {127, 127};
        QTest::newRow("bouncing between 70 and 50")
            << -1 << -1 << QList {70, 50, 70, 50, 70, 50} << QList {70};
        QTest::newRow("a stream of downs") << -1 << -1 << QList {127, 127, 100, 127} << QList {127};
        QTest::newRow("learned sustain pedal")
            << 64 << 32 << QList {127, 40, 127, 20, 127} << QList {127, 127};
        QTest::newRow("learned light pedal") << 40 << 0 << QList {40, 39, 1, 45, 0, 41} << QList {40, 41};
    }

    void controllerGateTurnsOncePerPress()
    {
        QFETCH(int, onThreshold);
        QFETCH(int, offThreshold);
        QFETCH(QList<int>, values);
        QFETCH(QList<int>, turnsAt);
        MIDITurnGate gate;
        gate.setBinding(Direction::next, sustainBinding(onThreshold, offThreshold));
        QList<int> turned;
        for (int value : values) {
            const auto fired = gate.consume(controller(value));
            QVERIFY(fired.isEmpty() || fired == QList {Direction::next});
            if (!fired.isEmpty())
                turned << value;
        }
        QCOMPARE(turned, turnsAt);
    }

    void noteGateReleasesOnNoteOffAndVelocityZero()
    {
        MIDITurnGate gate;
        gate.setBinding(Direction::previous, *MIDITurnBinding::learned(noteOn(90)));
        const QList fires {Direction::previous};
        QCOMPARE(gate.consume(noteOn(90)), fires);
        QVERIFY(gate.consume(noteOn(90)).isEmpty());
        QVERIFY(gate.consume(noteOn(0)).isEmpty());
        QCOMPARE(gate.consume(noteOn(5)), fires);
        QVERIFY(gate.consume(midiEvent(Kind::note, 0, 60, 100, false)).isEmpty());
        QCOMPARE(gate.consume(noteOn(127)), fires);
    }

    void gateMatchesOnlyTheLearnedControl_data()
    {
        QTest::addColumn<PlayerMIDIEvent>("event");
        QTest::addColumn<bool>("turns");
        const PlayerAlsaMIDISource twin {21, 0, u"alsa:FS_1|FS MIDI 1"_s, pedalSource.name};
        const PlayerAlsaMIDISource renamed {20, 0, pedalSource.id, u"Renamed"_s};
        QTest::newRow("the pedal") << controller(127) << true;
        QTest::newRow("same device under another name") << controller(127, renamed) << true;
        QTest::newRow("another device with the same name") << controller(127, twin) << false;
        QTest::newRow("another channel") << midiEvent(Kind::controlChange, 1, 64, 127, true) << false;
        QTest::newRow("another controller") << midiEvent(Kind::controlChange, 0, 65, 127, true) << false;
        QTest::newRow("a note of the same number") << midiEvent(Kind::note, 0, 64, 127, true) << false;
    }

    void gateMatchesOnlyTheLearnedControl()
    {
        QFETCH(PlayerMIDIEvent, event);
        QFETCH(bool, turns);
        MIDITurnGate gate;
        gate.setBinding(Direction::next, sustainBinding(64, 32));
        QCOMPARE(gate.consume(event).size(), turns ? 1 : 0);
    }

    void oneControlBoundToBothDirectionsFiresBothPreviousFirst()
    {
        MIDITurnGate gate;
        gate.setBinding(Direction::next, sustainBinding(64, 32));
        gate.setBinding(Direction::previous, sustainBinding(64, 32));
        const QList both {Direction::previous, Direction::next};
        QCOMPARE(gate.consume(controller(127)), both);
        QVERIFY(gate.consume(controller(127)).isEmpty());
        QVERIFY(gate.consume(controller(0)).isEmpty());
        QCOMPARE(gate.consume(controller(127)), both);
    }

    void changingABindingReleasesItsDirection()
    {
        MIDITurnGate gate;
        gate.setBinding(Direction::next, sustainBinding(64, 32));
        QCOMPARE(gate.consume(controller(127)).size(), 1);
        gate.setBinding(Direction::next, sustainBinding(100, 0));
        QCOMPARE(gate.consume(controller(127)).size(), 1);
        gate.setBinding(Direction::next, std::nullopt);
        QVERIFY(gate.consume(controller(0)).isEmpty());
        QVERIFY(gate.consume(controller(127)).isEmpty());
    }
};

QTEST_APPLESS_MAIN(MIDIEventsTest)
#include "tst_midievents.moc"
