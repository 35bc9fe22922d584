// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MIDIPageTurnController.h"

#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

QString bindingKey(MIDITurnDirection direction)
{
    return direction == MIDITurnDirection::previous ? DefaultsKeys::midiPreviousPageBinding
                                                    : DefaultsKeys::midiNextPageBinding;
}

} // namespace

MIDIPageTurnController::MIDIPageTurnController(
    DefaultsStore &defaults, std::unique_ptr<PlayerMIDIInput> input, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_input(std::move(input))
{
    // Unreadable stored bytes count as no binding and stay as they are until a new binding replaces them.
    for (MIDITurnDirection direction : allMIDITurnDirections)
        m_gate.setBinding(
            direction, MIDITurnBinding::fromData(defaults.value(bindingKey(direction)).toByteArray()));
    const QPointer<MIDIPageTurnController> self(this);
    m_input->onEvents = [self](const QList<PlayerMIDIEvent> &events) {
        if (self)
            self->receive(events);
    };
    m_input->onSourcesChanged = [self](const QList<PlayerMIDISourceInfo> &sources) {
        if (self)
            self->sourcesChanged(sources);
    };
}

MIDIPageTurnController::~MIDIPageTurnController()
{
    m_input->onEvents = {};
    m_input->onSourcesChanged = {};
    m_input->stop();
}

std::optional<MIDITurnBinding> MIDIPageTurnController::binding(MIDITurnDirection direction) const
{
    const auto found = m_gate.bindings.find(direction);
    if (found == m_gate.bindings.end())
        return std::nullopt;
    return found->second;
}

void MIDIPageTurnController::setBinding(
    const std::optional<MIDITurnBinding> &binding, MIDITurnDirection direction)
{
    const bool changed = this->binding(direction) != binding;
    m_gate.setBinding(direction, binding);
    if (binding)
        m_defaults.setValue(bindingKey(direction), binding->toData());
    else
        m_defaults.remove(bindingKey(direction));
    if (!changed)
        return;
    if (direction == MIDITurnDirection::previous)
        Q_EMIT previousBindingChanged();
    else
        Q_EMIT nextBindingChanged();
}

void MIDIPageTurnController::clearBinding(MIDITurnDirection direction)
{
    cancelLearning();
    setBinding(std::nullopt, direction);
}

void MIDIPageTurnController::start()
{
    if (m_input->isRunning())
        return;
    const auto error = m_input->start();
    setErrorText(error ? error->message() : QString());
}

void MIDIPageTurnController::beginLearning(MIDITurnDirection direction)
{
    start();
    setLearningDirection(direction);
}

void MIDIPageTurnController::cancelLearning()
{
    setLearningDirection(std::nullopt);
}

void MIDIPageTurnController::receive(const QList<PlayerMIDIEvent> &events)
{
    for (const PlayerMIDIEvent &event : events) {
        const auto learned = m_learningDirection ? MIDITurnBinding::learned(event) : std::nullopt;
        if (learned) {
            learn(*m_learningDirection, *learned);
            continue;
        }
        // Events that cannot teach still turn pages with the bindings there are.
        for (MIDITurnDirection direction : m_gate.consume(event)) {
            if (onTurn)
                onTurn(pageDelta(direction));
        }
    }
}

void MIDIPageTurnController::stop()
{
    cancelLearning();
    m_input->stop();
    setSourceNames({});
    m_gate.releaseAll();
}

void MIDIPageTurnController::learn(MIDITurnDirection direction, const MIDITurnBinding &binding)
{
    // One pedal drives one direction: teaching it to this one takes it away from the other.
    const MIDITurnDirection other = opposite(direction);
    if (const auto otherBinding = this->binding(other); otherBinding && otherBinding->sameControl(binding))
        setBinding(std::nullopt, other);
    setBinding(binding, direction);
    // The teaching press is still down: it must not also turn a page, and its release arms the pedal.
    m_gate.activeDirections.insert(direction);
    setLearningDirection(std::nullopt);
}

void MIDIPageTurnController::sourcesChanged(const QList<PlayerMIDISourceInfo> &sources)
{
    QStringList names;
    for (const PlayerMIDISourceInfo &source : sources)
        names.append(source.name);
    setSourceNames(names);
    // A pedal held while devices come and go may never send its release.
    m_gate.releaseAll();
}

void MIDIPageTurnController::setLearningDirection(std::optional<MIDITurnDirection> direction)
{
    if (m_learningDirection == direction)
        return;
    m_learningDirection = direction;
    Q_EMIT learningDirectionChanged();
}

void MIDIPageTurnController::setSourceNames(const QStringList &names)
{
    if (m_sourceNames == names)
        return;
    m_sourceNames = names;
    Q_EMIT sourceNamesChanged();
}

void MIDIPageTurnController::setErrorText(const QString &text)
{
    if (m_errorText == text)
        return;
    m_errorText = text;
    Q_EMIT errorTextChanged();
}

} // namespace pgw
