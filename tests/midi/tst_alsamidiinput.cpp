// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/PlayerAlsaMIDIInput.h"
#include "support/ManualScheduler.h"

#include <QFileInfo>
#include <QTest>

#include <alsa/asoundlib.h>

using namespace pgw;
using namespace Qt::StringLiterals;

class AlsaMIDIInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sequencerEventsAndSources()
    {
        // Event type, channel, number and value with the word they pack into, or -1 for none.
        const QList<std::tuple<snd_seq_event_type_t, int, int, int, qint64>> cases {
            {SND_SEQ_EVENT_NOTEON, 3, 60, 90, 0x20933C5A}, {SND_SEQ_EVENT_NOTEOFF, 15, 127, 64, 0x208F7F40},
            {SND_SEQ_EVENT_CONTROLLER, 1, 64, 127, 0x20B1407F},
            {SND_SEQ_EVENT_CONTROLLER, 0, 64, 300, 0x20B0407F}, // clamped to full
            {SND_SEQ_EVENT_CONTROLLER, 0, 64, -5, 0x20B04000},
            {SND_SEQ_EVENT_CONTROLLER, 0, 192, 127, -1}, // beyond MIDI 1.0
            {SND_SEQ_EVENT_NOTEON, 16, 60, 90, -1}, {SND_SEQ_EVENT_PGMCHANGE, 0, 0, 5, -1},
            {SND_SEQ_EVENT_PITCHBEND, 0, 0, 100, -1}};
        for (const auto &[type, channel, number, value, word] : cases) {
            snd_seq_event_t event {};
            event.type = type;
            if (type == SND_SEQ_EVENT_NOTEON || type == SND_SEQ_EVENT_NOTEOFF)
                event.data.note = {std::uint8_t(channel), std::uint8_t(number), std::uint8_t(value), {}, {}};
            else
                event.data.control = {std::uint8_t(channel), {}, unsigned(number), value};
            const auto packed = PlayerAlsaMIDIInput::channelVoiceWord(event);
            QCOMPARE(packed ? qint64(*packed) : -1, word);
        }

        // A card, a second card of the same model, and a program without a card.
        for (const auto &[card, client, port, id] : QList<std::tuple<QString, QString, QString, QString>> {
                 {u"FS"_s, u"FootSwitch"_s, u"FootSwitch MIDI 1"_s, u"alsa:FS|FootSwitch MIDI 1"_s},
                 {u"FS_1"_s, u"FootSwitch"_s, u"FootSwitch MIDI 1"_s, u"alsa:FS_1|FootSwitch MIDI 1"_s},
                 {{}, u"Virtual Keyboard"_s, u"output"_s, u"alsa-name:Virtual Keyboard|output"_s}})
            QCOMPARE(PlayerAlsaMIDIInput::sourceID(card, client, port), id);
        const auto sorted = PlayerAlsaMIDIInput::sortedByName(
            {{u"Pedal 10"_s}, {u"pedal 2"_s}, {u"Keys"_s}, {u"Pedal 1"_s}});
        QCOMPARE(sorted,
            (QList<PlayerMIDISourceInfo> {{u"Keys"_s}, {u"Pedal 1"_s}, {u"pedal 2"_s}, {u"Pedal 10"_s}}));
    }

    void startWithoutASequencerReportsTheErrorAndRetries()
    {
        if (QFileInfo::exists(u"/dev/snd/seq"_s))
            QSKIP("This machine has an ALSA sequencer");
        ManualScheduler main;
        PlayerAlsaMIDIInput input(main);
        const auto first = input.start();
        QVERIFY(first && first->kind == PlayerAlsaMIDIError::Kind::client && first->status < 0);
        QCOMPARE(input.start(), first);
        QVERIFY(!input.isRunning());
        input.stop();
        QCOMPARE(main.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(AlsaMIDIInputTest)
#include "tst_alsamidiinput.moc"
