// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeMIDIInput.h"

#include "midi/MIDIPageTurnController.h"
#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"

#include <QSignalSpy>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Direction = MIDITurnDirection;
using Error = PlayerAlsaMIDIError;

const QString previousKey = DefaultsKeys::midiPreviousPageBinding;
const QString nextKey = DefaultsKeys::midiNextPageBinding;

PlayerMIDIEvent pedal(int value)
{
    return {u"alsa:FS|FS MIDI 1"_s, u"FS MIDI 1"_s, PlayerMIDIMessageKind::controlChange, 0, 64,
        std::uint8_t(value), value != 0};
}

PlayerMIDIEvent key(int velocity, int number = 60)
{
    return {u"alsa:Keys|Keys MIDI 1"_s, u"Keys MIDI 1"_s, PlayerMIDIMessageKind::note, 0,
        std::uint8_t(number), std::uint8_t(velocity), velocity != 0};
}

MIDITurnBinding bindingOf(const PlayerMIDIEvent &event)
{
    return *MIDITurnBinding::learned(event);
}

} // namespace

class MIDIControllerTest : public QObject
{
    Q_OBJECT

    MemoryDefaultsStore defaults;
    std::unique_ptr<MIDIPageTurnController> controller;
    FakeMIDIInput *input = nullptr;
    QList<int> turns;

    void makeController()
    {
        auto fake = std::make_unique<FakeMIDIInput>();
        input = fake.get();
        controller = std::make_unique<MIDIPageTurnController>(defaults, std::move(fake));
        controller->onTurn = [this](int delta) { turns << delta; };
    }

private Q_SLOTS:
    void init()
    {
        defaults = {};
        turns.clear();
        makeController();
    }

    void cleanup() { controller.reset(); }

    void startsOnceShowsFailuresAndTriesAgain()
    {
        const Error port {Error::Kind::port, -12};
        const Error client {Error::Kind::client, -2};
        input->startFailures = {port, client, client};
        controller->start();
        QCOMPARE(controller->errorText(), port.message());
        // Learning begins all the same.
        controller->beginLearning(Direction::previous);
        QCOMPARE(controller->learningDirection(), Direction::previous);
        QCOMPARE(controller->errorText(), client.message());
        for (int i = 0; i < 3; ++i)
            controller->start();
        QCOMPARE(input->startAttempts, 4);
        QVERIFY(input->isRunning());
        QVERIFY(controller->errorText().isEmpty());
        controller->stop();
        QVERIFY(!input->isRunning());
    }

    void aTaughtPedalTurnsFromItsNextPressAndTeachingItToTheOtherDirectionMovesIt()
    {
        controller->beginLearning(Direction::previous);
        input->send({pedal(127), pedal(100), pedal(0)});
        QCOMPARE(controller->previousBinding(), bindingOf(pedal(127)));
        QCOMPARE(controller->learningDirection(), std::nullopt);
        QVERIFY(turns.isEmpty());
        QSignalSpy previous(controller.get(), &MIDIPageTurnController::previousBindingChanged);
        // Another control leaves the other direction alone.
        controller->beginLearning(Direction::next);
        input->send({key(90), key(0)});
        input->send({pedal(127), pedal(0)});
        input->send({key(90), key(0)});
        QCOMPARE(turns, (QList {-1, 1}));

        // Asking for another direction replaces the first.
        controller->beginLearning(Direction::previous);
        controller->beginLearning(Direction::next);
        input->send({pedal(127), pedal(0)});
        QCOMPARE(controller->previousBinding(), std::nullopt);
        QVERIFY(!defaults.contains(previousKey));
        QCOMPARE(previous.size(), 1);
        QCOMPARE(MIDITurnBinding::fromData(defaults.value(nextKey).toByteArray()), bindingOf(pedal(127)));
        input->send({pedal(127), pedal(0)});
        QCOMPARE(turns, (QList {-1, 1, 1}));
    }

    void storedBindingsLoadAndUnreadableOnesAreKept()
    {
        const QList<QVariant> unreadable {
            QByteArray(R"({"sourceID":"s","sourceName":"n","kind":"sysex","channel":0,"number":1})"),
            QByteArray("garbage"), 42};
        for (const QVariant &stored : QList<QVariant> {bindingOf(pedal(127)).toData()} + unreadable) {
            const bool readable = !unreadable.contains(stored);
            turns.clear();
            defaults.setValue(previousKey, stored);
            makeController();
            controller->start();
            input->send({pedal(127), pedal(0)});
            QCOMPARE(controller->previousBinding(),
                readable ? std::optional(bindingOf(pedal(127))) : std::nullopt);
            QCOMPARE(controller->nextBinding(), std::nullopt);
            QCOMPARE(turns, readable ? QList {-1} : QList<int> {});
            QCOMPARE(defaults.value(previousKey), stored);
        }
    }

    void eventsThatCannotTeachStillTurnAndClearingStopsAPedalAtOnce()
    {
        controller->setBinding(bindingOf(key(90)), Direction::previous);
        controller->start();
        input->send({key(90)});
        controller->beginLearning(Direction::next);
        // The release cannot teach; it reaches the gate and arms the held key.
        input->send({key(0)});
        QCOMPARE(controller->learningDirection(), Direction::next);
        controller->cancelLearning();
        input->send({key(90)});
        QCOMPARE(turns, (QList {-1, -1}));

        controller->beginLearning(Direction::next);
        controller->clearBinding(Direction::previous);
        QCOMPARE(controller->learningDirection(), std::nullopt);
        QCOMPARE(controller->previousBinding(), std::nullopt);
        input->send({key(0), key(90)});
        QCOMPARE(turns, (QList {-1, -1}));
    }

    void sourcesComeAndGoAndStoppingReleasesEverything()
    {
        controller->setBinding(bindingOf(key(90)), Direction::next);
        controller->beginLearning(Direction::previous);
        input->plug({{u"FS MIDI 1"_s}, {u"Keys MIDI 1"_s}});
        QCOMPARE(controller->sourceNames(), (QStringList {u"FS MIDI 1"_s, u"Keys MIDI 1"_s}));
        input->send({key(90, 61), key(0, 61), key(90)});
        // A key held while devices come and go may never send its release.
        input->plug({{u"Keys MIDI 1"_s}});
        QCOMPARE(controller->sourceNames(), QStringList {u"Keys MIDI 1"_s});
        input->send({key(90)});
        controller->beginLearning(Direction::previous);
        controller->stop();
        QCOMPARE(controller->learningDirection(), std::nullopt);
        QVERIFY(controller->sourceNames().isEmpty());
        controller->start();
        input->send({key(90)});
        QCOMPARE(turns, (QList {1, 1, 1}));
        // Destroying the controller stops its input.
        bool stopped = false;
        input->stopped = [&] { stopped = true; };
        controller.reset();
        QVERIFY(stopped);
    }
};

QTEST_APPLESS_MAIN(MIDIControllerTest)
#include "tst_midicontroller.moc"
