// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MIDIPageTurnController.h"
#include "midi/PlayerAlsaMIDIInput.h"
#include "support/DefaultsStore.h"
#include "support/ManualScheduler.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <alsa/asoundlib.h>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Kind = PlayerMIDIMessageKind;

const PlayerAlsaMIDISource source {20, 0, u"alsa:FS|FS MIDI 1"_s, u"FS MIDI 1"_s};

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
        event.data.note.channel = std::uint8_t(channel);
        event.data.note.note = std::uint8_t(number);
        event.data.note.velocity = std::uint8_t(value);
    }
    return event;
}

bool sequencerPresent()
{
    return QFileInfo::exists(u"/dev/snd/seq"_s);
}

} // namespace

class AlsaMIDIInputTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sequencerEventsDecodeThroughThePacketParser_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("number");
        QTest::addColumn<int>("value");
        QTest::addColumn<QList<PlayerMIDIEvent>>("expected");
        const auto decoded = [](Kind kind, int channel, int number, int value, bool pressed) {
            return QList {PlayerMIDIEvent {source.id, source.name, kind, std::uint8_t(channel),
                std::uint8_t(number), std::uint8_t(value), pressed}};
        };
        QTest::newRow("note on") << int(SND_SEQ_EVENT_NOTEON) << 3 << 60 << 90
                                 << decoded(Kind::note, 3, 60, 90, true);
        QTest::newRow("note on at velocity 0")
            << int(SND_SEQ_EVENT_NOTEON) << 3 << 60 << 0 << decoded(Kind::note, 3, 60, 0, false);
        QTest::newRow("note off") << int(SND_SEQ_EVENT_NOTEOFF) << 15 << 127 << 64
                                  << decoded(Kind::note, 15, 127, 64, false);
        QTest::newRow("controller") << int(SND_SEQ_EVENT_CONTROLLER) << 0 << 64 << 127
                                    << decoded(Kind::controlChange, 0, 64, 127, true);
        QTest::newRow("controller released")
            << int(SND_SEQ_EVENT_CONTROLLER) << 0 << 64 << 0 << decoded(Kind::controlChange, 0, 64, 0, false);
        QTest::newRow("controller value above 127 is full") << int(SND_SEQ_EVENT_CONTROLLER) << 0 << 64 << 300
                                                            << decoded(Kind::controlChange, 0, 64, 127, true);
        QTest::newRow("negative controller value is 0") << int(SND_SEQ_EVENT_CONTROLLER) << 0 << 64 << -5
                                                        << decoded(Kind::controlChange, 0, 64, 0, false);
        QTest::newRow("controller number beyond MIDI 1.0")
            << int(SND_SEQ_EVENT_CONTROLLER) << 0 << 192 << 127 << QList<PlayerMIDIEvent> {};
        QTest::newRow("channel beyond 16")
            << int(SND_SEQ_EVENT_NOTEON) << 16 << 60 << 90 << QList<PlayerMIDIEvent> {};
        QTest::newRow("program change")
            << int(SND_SEQ_EVENT_PGMCHANGE) << 0 << 0 << 5 << QList<PlayerMIDIEvent> {};
        QTest::newRow("pitch bend") << int(SND_SEQ_EVENT_PITCHBEND) << 0 << 0 << 100
                                    << QList<PlayerMIDIEvent> {};
    }

    void sequencerEventsDecodeThroughThePacketParser()
    {
        QFETCH(int, type);
        QFETCH(int, channel);
        QFETCH(int, number);
        QFETCH(int, value);
        QFETCH(QList<PlayerMIDIEvent>, expected);
        const auto word = PlayerAlsaMIDIInput::channelVoiceWord(
            sequencerEvent(snd_seq_event_type_t(type), channel, number, value));
        QCOMPARE(word.has_value(), !expected.isEmpty());
        if (!word)
            return;
        PlayerMIDIEventPacket packet;
        packet.wordCount = 1;
        packet.words[0] = *word;
        QCOMPARE(PlayerAlsaMIDIInput::parse({&packet, 1}, source), expected);
    }

    void sourceIdentitySurvivesReplugging_data()
    {
        QTest::addColumn<QString>("cardID");
        QTest::addColumn<QString>("clientName");
        QTest::addColumn<QString>("portName");
        QTest::addColumn<QString>("id");
        QTest::newRow("card") << u"FS"_s << u"FootSwitch"_s << u"FootSwitch MIDI 1"_s
                              << u"alsa:FS|FootSwitch MIDI 1"_s;
        QTest::newRow("second card of the same model")
            << u"FS_1"_s << u"FootSwitch"_s << u"FootSwitch MIDI 1"_s << u"alsa:FS_1|FootSwitch MIDI 1"_s;
        QTest::newRow("program") << QString() << u"Virtual Keyboard"_s << u"output"_s
                                 << u"alsa-name:Virtual Keyboard|output"_s;
    }

    void sourceIdentitySurvivesReplugging()
    {
        QFETCH(QString, cardID);
        QFETCH(QString, clientName);
        QFETCH(QString, portName);
        QFETCH(QString, id);
        QCOMPARE(PlayerAlsaMIDIInput::sourceID(cardID, clientName, portName), id);
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
        if (sequencerPresent())
            QSKIP("This machine has an ALSA sequencer");
        ManualScheduler main;
        PlayerAlsaMIDIInput input(main);
        const auto first = input.start();
        QVERIFY(first);
        QCOMPARE(first->kind, PlayerAlsaMIDIError::Kind::client);
        QVERIFY(first->status < 0);
        QCOMPARE(first->message(), u"Could not start MIDI (ALSA error %1)."_s.arg(first->status));
        QVERIFY(!input.isRunning());
        QCOMPARE(input.start(), first);
        QVERIFY(!input.isRunning());
        input.stop();
        QCOMPARE(main.pendingCount(), 0);
    }

    void controllerShowsTheStartErrorAndTriesAgain()
    {
        if (sequencerPresent())
            QSKIP("This machine has an ALSA sequencer");
        ManualScheduler main;
        MemoryDefaultsStore defaults;
        MIDIPageTurnController controller(defaults, std::make_unique<PlayerAlsaMIDIInput>(main));
        const QRegularExpression text(u"^Could not start MIDI \\(ALSA error -\\d+\\)\\.$"_s);
        controller.start();
        QVERIFY2(text.match(controller.errorText()).hasMatch(), qPrintable(controller.errorText()));
        controller.beginLearning(MIDITurnDirection::next);
        QVERIFY(text.match(controller.errorText()).hasMatch());
        QCOMPARE(controller.learningDirection(), MIDITurnDirection::next);
        controller.stop();
        QVERIFY(controller.sourceNames().isEmpty());
    }
};

QTEST_GUILESS_MAIN(AlsaMIDIInputTest)
#include "tst_alsamidiinput.moc"
