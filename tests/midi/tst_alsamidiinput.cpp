// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/PlayerAlsaMIDIInput.h"
#include "support/ManualScheduler.h"

#include <QFileInfo>
#include <QTest>

#include <alsa/asoundlib.h>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

snd_seq_event_t sequencerEvent(snd_seq_event_type_t type, int channel, int number, int value)
{
    snd_seq_event_t event {};
    event.type = type;
    if (type == SND_SEQ_EVENT_CONTROLLER || type == SND_SEQ_EVENT_PGMCHANGE
        || type == SND_SEQ_EVENT_PITCHBEND) {
        event.data.control.channel = std::uint8_t(channel);
        event.data.control.param = unsigned(number);
        event.data.control.value = value;
    } else {
        event.data.note = {std::uint8_t(channel), std::uint8_t(number), std::uint8_t(value), {}, {}};
    }
    return event;
}

} // namespace

Q_DECLARE_METATYPE(snd_seq_event_t)

class AlsaMIDIInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sequencerEventsBecomeChannelVoiceWords_data()
    {
        QTest::addColumn<snd_seq_event_t>("event");
        QTest::addColumn<qint64>("word"); // -1 when the event has none
        QTest::newRow("note on") << sequencerEvent(SND_SEQ_EVENT_NOTEON, 3, 60, 90) << qint64(0x20933C5A);
        QTest::newRow("note off") << sequencerEvent(SND_SEQ_EVENT_NOTEOFF, 15, 127, 64) << qint64(0x208F7F40);
        QTest::newRow("controller") << sequencerEvent(SND_SEQ_EVENT_CONTROLLER, 1, 64, 127)
                                    << qint64(0x20B1407F);
        QTest::newRow("controller above 127 is full")
            << sequencerEvent(SND_SEQ_EVENT_CONTROLLER, 0, 64, 300) << qint64(0x20B0407F);
        QTest::newRow("negative controller value is 0")
            << sequencerEvent(SND_SEQ_EVENT_CONTROLLER, 0, 64, -5) << qint64(0x20B04000);
        QTest::newRow("controller number beyond MIDI 1.0")
            << sequencerEvent(SND_SEQ_EVENT_CONTROLLER, 0, 192, 127) << qint64(-1);
        QTest::newRow("channel beyond 16") << sequencerEvent(SND_SEQ_EVENT_NOTEON, 16, 60, 90) << qint64(-1);
        QTest::newRow("program change") << sequencerEvent(SND_SEQ_EVENT_PGMCHANGE, 0, 0, 5) << qint64(-1);
        QTest::newRow("pitch bend") << sequencerEvent(SND_SEQ_EVENT_PITCHBEND, 0, 0, 100) << qint64(-1);
    }

    void sequencerEventsBecomeChannelVoiceWords()
    {
        QFETCH(snd_seq_event_t, event);
        QFETCH(qint64, word);
        const auto packed = PlayerAlsaMIDIInput::channelVoiceWord(event);
        QCOMPARE(packed ? qint64(*packed) : -1, word);
    }

    void sourceIdentitySurvivesReplugging()
    {
        QCOMPARE(PlayerAlsaMIDIInput::sourceID(u"FS"_s, u"FootSwitch"_s, u"FootSwitch MIDI 1"_s),
            u"alsa:FS|FootSwitch MIDI 1"_s);
        // A second card of the same model.
        QCOMPARE(PlayerAlsaMIDIInput::sourceID(u"FS_1"_s, u"FootSwitch"_s, u"FootSwitch MIDI 1"_s),
            u"alsa:FS_1|FootSwitch MIDI 1"_s);
        // A program has no card.
        QCOMPARE(PlayerAlsaMIDIInput::sourceID({}, u"Virtual Keyboard"_s, u"output"_s),
            u"alsa-name:Virtual Keyboard|output"_s);
    }

    void sourcesAreSortedAsPeopleRead()
    {
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
        QVERIFY(first);
        QCOMPARE(first->kind, PlayerAlsaMIDIError::Kind::client);
        QVERIFY(first->status < 0);
        QCOMPARE(first->message(), u"Could not start MIDI (ALSA error %1)."_s.arg(first->status));
        QCOMPARE(input.start(), first);
        QVERIFY(!input.isRunning());
        input.stop();
        QCOMPARE(main.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(AlsaMIDIInputTest)
#include "tst_alsamidiinput.moc"
