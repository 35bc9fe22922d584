// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MIDITurnBinding.h"
#include "midi/MIDITurnDirection.h"
#include "midi/MIDITurnGate.h"
#include "midi/PlayerMIDIInput.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace pgw {

class DefaultsStore;

// Page turns from learned MIDI pedals: owns the MIDI input, keeps one binding per direction in the
// defaults store, learns a binding from the next press, and reports each new press as a page delta.
// Main thread only.
class MIDIPageTurnController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(std::optional<pgw::MIDITurnBinding> previousBinding READ previousBinding NOTIFY
            previousBindingChanged)
    Q_PROPERTY(std::optional<pgw::MIDITurnBinding> nextBinding READ nextBinding NOTIFY nextBindingChanged)
    Q_PROPERTY(std::optional<pgw::MIDITurnDirection> learningDirection READ learningDirection NOTIFY
            learningDirectionChanged)
    Q_PROPERTY(QStringList sourceNames READ sourceNames NOTIFY sourceNamesChanged)
    // Empty unless the last start failed.
    Q_PROPERTY(QString errorText READ errorText NOTIFY errorTextChanged)

public:
    // Loads the stored bindings; MIDI does not start until start() or beginLearning().
    MIDIPageTurnController(
        DefaultsStore &defaults, std::unique_ptr<PlayerMIDIInput> input, QObject *parent = nullptr);
    ~MIDIPageTurnController() override;

    // Called with -1 or +1 for each page turn.
    std::function<void(int)> onTurn;

    std::optional<MIDITurnBinding> previousBinding() const { return binding(MIDITurnDirection::previous); }
    std::optional<MIDITurnBinding> nextBinding() const { return binding(MIDITurnDirection::next); }
    std::optional<MIDITurnDirection> learningDirection() const { return m_learningDirection; }
    QStringList sourceNames() const { return m_sourceNames; }
    QString errorText() const { return m_errorText; }

    std::optional<MIDITurnBinding> binding(MIDITurnDirection direction) const;
    // Stores or removes the direction's binding; the direction is no longer held.
    void setBinding(const std::optional<MIDITurnBinding> &binding, MIDITurnDirection direction);
    // Cancels learning and removes the binding.
    void clearBinding(MIDITurnDirection direction);

    void start();
    // The next press that can teach a binding becomes this direction's pedal.
    void beginLearning(MIDITurnDirection direction);
    void cancelLearning();
    void receive(const QList<PlayerMIDIEvent> &events);
    void stop();

Q_SIGNALS:
    void previousBindingChanged();
    void nextBindingChanged();
    void learningDirectionChanged();
    void sourceNamesChanged();
    void errorTextChanged();

private:
    void learn(MIDITurnDirection direction, const MIDITurnBinding &binding);
    void sourcesChanged(const QList<PlayerMIDISourceInfo> &sources);
    void setLearningDirection(std::optional<MIDITurnDirection> direction);
    void setSourceNames(const QStringList &names);
    void setErrorText(const QString &text);

    DefaultsStore &m_defaults;
    std::unique_ptr<PlayerMIDIInput> m_input;
    // Holds the bindings themselves; the properties read them from here.
    MIDITurnGate m_gate;
    std::optional<MIDITurnDirection> m_learningDirection;
    QStringList m_sourceNames;
    QString m_errorText;
};

} // namespace pgw
