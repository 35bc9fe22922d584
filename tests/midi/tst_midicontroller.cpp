// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeMIDIInput.h"

#include "midi/MIDIPageTurnController.h"
#include "support/DefaultsStore.h"

#include <QSignalSpy>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

using Kind = PlayerMIDIMessageKind;
using Direction = MIDITurnDirection;

const auto previousKey = u"midiPreviousPageBinding"_s;
const auto nextKey = u"midiNextPageBinding"_s;

PlayerMIDIEvent pedal(int value, const QString &sourceID = u"alsa:FS|FS MIDI 1"_s)
{
    return {sourceID, u"FS MIDI 1"_s, Kind::controlChange, 0, 64, std::uint8_t(value), value != 0};
}

PlayerMIDIEvent key(int velocity, int number = 60)
{
    return {u"alsa:Keys|Keys MIDI 1"_s, u"Keys MIDI 1"_s, Kind::note, 0, std::uint8_t(number),
        std::uint8_t(velocity), velocity != 0};
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

    // Presses and releases the pedal once.
    void tap(const PlayerMIDIEvent &down, const PlayerMIDIEvent &up) { input->send({down, up}); }

private Q_SLOTS:
    void init()
    {
        defaults = {};
        turns.clear();
        makeController();
    }

    void cleanup() { controller.reset(); }

    void startAndStopAreIdempotent()
    {
        controller->stop();
        QCOMPARE(input->startAttempts, 0);
        QSignalSpy sourceNames(controller.get(), &MIDIPageTurnController::sourceNamesChanged);
        controller->start();
        QVERIFY(input->isRunning());
        QVERIFY(controller->sourceNames().isEmpty());
        QVERIFY(controller->errorText().isEmpty());
        QCOMPARE(sourceNames.size(), 0);
        controller->start();
        QCOMPARE(input->startAttempts, 1);
        controller->stop();
        controller->stop();
        QVERIFY(!input->isRunning());
    }

    void startFailureIsShownAndTheNextStartTriesAgain_data()
    {
        QTest::addColumn<PlayerAlsaMIDIError>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("client") << PlayerAlsaMIDIError {PlayerAlsaMIDIError::Kind::client, -2}
                                << u"Could not start MIDI (ALSA error -2)."_s;
        QTest::newRow("port") << PlayerAlsaMIDIError {PlayerAlsaMIDIError::Kind::port, -12}
                              << u"Could not open the MIDI input (ALSA error -12)."_s;
    }

    void startFailureIsShownAndTheNextStartTriesAgain()
    {
        QFETCH(PlayerAlsaMIDIError, error);
        QFETCH(QString, text);
        QSignalSpy errorText(controller.get(), &MIDIPageTurnController::errorTextChanged);
        input->startFailures = {error, error};
        controller->start();
        QCOMPARE(controller->errorText(), text);
        QVERIFY(!input->isRunning());
        controller->start();
        QCOMPARE(input->startAttempts, 2);
        QCOMPARE(controller->errorText(), text);
        controller->start();
        QVERIFY(input->isRunning());
        QVERIFY(controller->errorText().isEmpty());
        QCOMPARE(errorText.size(), 2);
    }

    void listsSourcesAsTheyComeAndGoReleasingHeldPedals()
    {
        controller->setBinding(bindingOf(pedal(127)), Direction::next);
        controller->start();
        input->plug({{u"FS MIDI 1"_s}, {u"Keys MIDI 1"_s}});
        QCOMPARE(controller->sourceNames(), (QStringList {u"FS MIDI 1"_s, u"Keys MIDI 1"_s}));
        input->send({pedal(127)});
        input->plug({{u"Keys MIDI 1"_s}});
        QCOMPARE(controller->sourceNames(), QStringList {u"Keys MIDI 1"_s});
        input->send({pedal(127)});
        QCOMPARE(turns, (QList {1, 1}));
    }

    void theTeachingPressDoesNotTurnButTheNextPressDoes()
    {
        QSignalSpy learning(controller.get(), &MIDIPageTurnController::learningDirectionChanged);
        QSignalSpy next(controller.get(), &MIDIPageTurnController::nextBindingChanged);
        controller->beginLearning(Direction::next);
        QVERIFY(input->isRunning());
        QCOMPARE(controller->learningDirection(), Direction::next);
        input->send({pedal(127)});
        QCOMPARE(controller->nextBinding(), bindingOf(pedal(127)));
        QCOMPARE(controller->learningDirection(), std::nullopt);
        QCOMPARE(learning.size(), 2);
        QCOMPARE(next.size(), 1);
        QVERIFY(turns.isEmpty());
        input->send({pedal(100), pedal(0)});
        QVERIFY(turns.isEmpty());
        tap(pedal(127), pedal(0));
        QCOMPARE(turns, QList {1});
    }

    void learnedBindingsArePersistedAndLoaded()
    {
        controller->beginLearning(Direction::previous);
        input->send({pedal(127)});
        QCOMPARE(MIDITurnBinding::fromData(defaults.value(previousKey).toByteArray()), bindingOf(pedal(127)));
        QVERIFY(!defaults.contains(nextKey));

        makeController();
        QCOMPARE(controller->previousBinding(), bindingOf(pedal(127)));
        QCOMPARE(controller->nextBinding(), std::nullopt);
        controller->start();
        tap(pedal(127), pedal(0));
        QCOMPARE(turns, QList {-1});
    }

    void unreadableStoredBindingsAreAbsentAndKept_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("unknown kind") << QVariant(
            QByteArray(R"({"sourceID":"s","sourceName":"n","kind":"sysex","channel":0,"number":1})"));
        QTest::newRow("not JSON") << QVariant(QByteArray("garbage"));
        QTest::newRow("a number") << QVariant(42);
    }

    void unreadableStoredBindingsAreAbsentAndKept()
    {
        QFETCH(QVariant, stored);
        defaults.setValue(nextKey, stored);
        makeController();
        QCOMPARE(controller->nextBinding(), std::nullopt);
        QCOMPARE(defaults.value(nextKey), stored);
    }

    void learningAPedalBoundToTheOtherDirectionMovesIt()
    {
        controller->setBinding(bindingOf(pedal(127)), Direction::previous);
        QSignalSpy previous(controller.get(), &MIDIPageTurnController::previousBindingChanged);
        controller->beginLearning(Direction::next);
        input->send({pedal(127), pedal(0)});
        QCOMPARE(controller->previousBinding(), std::nullopt);
        QVERIFY(!defaults.contains(previousKey));
        QCOMPARE(previous.size(), 1);
        QCOMPARE(controller->nextBinding(), bindingOf(pedal(127)));
        tap(pedal(127), pedal(0));
        QCOMPARE(turns, QList {1});
    }

    void learningAnotherControlLeavesTheOtherDirectionAlone()
    {
        controller->setBinding(bindingOf(pedal(127)), Direction::previous);
        controller->beginLearning(Direction::next);
        input->send({key(90), key(0)});
        QCOMPARE(controller->previousBinding(), bindingOf(pedal(127)));
        QCOMPARE(controller->nextBinding(), bindingOf(key(90)));
        tap(pedal(127), pedal(0));
        tap(key(90), key(0));
        QCOMPARE(turns, (QList {-1, 1}));
    }

    void eventsThatCannotTeachStillTurnPagesWhileLearning()
    {
        controller->setBinding(bindingOf(key(90)), Direction::previous);
        controller->start();
        input->send({key(90)});
        QCOMPARE(turns, QList {-1});
        controller->beginLearning(Direction::next);
        // The release cannot teach; it reaches the gate and arms the held key.
        input->send({key(0)});
        QCOMPARE(controller->learningDirection(), Direction::next);
        controller->cancelLearning();
        input->send({key(90)});
        QCOMPARE(turns, (QList {-1, -1}));
        QCOMPARE(controller->nextBinding(), std::nullopt);
    }

    void startingToLearnAnotherDirectionReplacesTheFirst()
    {
        controller->beginLearning(Direction::next);
        controller->beginLearning(Direction::previous);
        input->send({key(90)});
        QCOMPARE(controller->previousBinding(), bindingOf(key(90)));
        QCOMPARE(controller->nextBinding(), std::nullopt);
    }

    void learningStillBeginsWhenMIDICannotStart()
    {
        input->startFailures = {{PlayerAlsaMIDIError::Kind::client, -2}};
        controller->beginLearning(Direction::previous);
        QCOMPARE(controller->learningDirection(), Direction::previous);
        QCOMPARE(controller->errorText(), u"Could not start MIDI (ALSA error -2)."_s);
    }

    void clearingABindingStopsItsPedalAtOnce()
    {
        controller->setBinding(bindingOf(key(90)), Direction::next);
        QVERIFY(defaults.contains(nextKey));
        controller->start();
        input->send({key(90)});
        controller->beginLearning(Direction::previous);
        QSignalSpy next(controller.get(), &MIDIPageTurnController::nextBindingChanged);
        controller->clearBinding(Direction::next);
        QCOMPARE(controller->learningDirection(), std::nullopt);
        QCOMPARE(controller->nextBinding(), std::nullopt);
        QVERIFY(!defaults.contains(nextKey));
        QCOMPARE(next.size(), 1);
        tap(key(0), key(90));
        QCOMPARE(turns, QList {1});
    }

    void stoppingReleasesEverything()
    {
        controller->setBinding(bindingOf(key(90)), Direction::next);
        controller->beginLearning(Direction::previous);
        input->plug({{u"Keys MIDI 1"_s}});
        input->send({key(90, 61), key(0, 61), key(90)});
        controller->beginLearning(Direction::previous);
        controller->stop();
        QVERIFY(!input->isRunning());
        QCOMPARE(controller->learningDirection(), std::nullopt);
        QVERIFY(controller->sourceNames().isEmpty());
        controller->stop();
        controller->start();
        input->send({key(90)});
        QCOMPARE(turns, (QList {1, 1}));
    }

    void destroyingTheControllerStopsItsInput()
    {
        controller->start();
        bool stopped = false;
        input->stopped = [&] { stopped = true; };
        controller.reset();
        QVERIFY(stopped);
    }
};

QTEST_APPLESS_MAIN(MIDIControllerTest)
#include "tst_midicontroller.moc"
