// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/PlayerMIDIEventPacket.h"
#include "midi/PlayerMIDIInput.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

struct _snd_seq;
struct snd_seq_event;

namespace pgw {

class Scheduler;

// A readable sequencer port of another client, as the input listens to it.
struct PlayerAlsaMIDISource
{
    int client = 0;
    int port = 0;
    // Survives replugging, unlike the client and port numbers.
    QString id;
    QString name;
    bool operator==(const PlayerAlsaMIDISource &) const = default;
};

// MIDI input on the ALSA sequencer: a client with one input port subscribed to every readable port of
// the other clients, kept up to date from the sequencer's announcements. A platform thread reads the
// sequencer, decodes note and controller events and posts them to the main queue.
class PlayerAlsaMIDIInput : public PlayerMIDIInput
{
    Q_OBJECT

public:
    explicit PlayerAlsaMIDIInput(Scheduler &mainQueue, QObject *parent = nullptr);
    ~PlayerAlsaMIDIInput() override;

    std::optional<PlayerAlsaMIDIError> start() override;
    // May be called from any thread; the work happens on the main thread.
    void stop() override;
    bool isRunning() const override { return m_running; }

    // The note and control-change messages of MIDI 1.0 Universal MIDI Packets, in order; every other
    // message is skipped by its size.
    static QList<PlayerMIDIEvent> parse(
        std::span<const PlayerMIDIEventPacket> packets, const PlayerAlsaMIDISource &source);
    // A sequencer note or controller event as one MIDI 1.0 channel voice word; absent for other events.
    static std::optional<std::uint32_t> channelVoiceWord(const snd_seq_event &event);
    // Card-backed ports are known by the card's ID, others by their client's name.
    static QString sourceID(const QString &cardID, const QString &clientName, const QString &portName);
    // Names in the order people expect: "Pedal 2" before "Pedal 10", case ignored.
    static QList<PlayerMIDISourceInfo> sortedByName(QList<PlayerMIDISourceInfo> infos);

private:
    std::optional<PlayerAlsaMIDIError> openClient();
    std::optional<PlayerAlsaMIDIError> openPort();
    void disposePort();
    void refreshSources();
    void disconnectSources();
    QList<PlayerAlsaMIDISource> readableSources() const;
    void stopPolling();
    // Platform thread.
    void pollLoop();
    void drainEvents();
    std::optional<PlayerAlsaMIDISource> connectedSource(int client, int port) const;

    Scheduler &m_mainQueue;
    // Made on the main thread; the platform thread copies it into the tasks it posts.
    const QPointer<PlayerAlsaMIDIInput> m_self;
    // The client is kept from the first successful open until destruction.
    _snd_seq *m_seq = nullptr;
    int m_clientID = -1;
    int m_port = -1;
    bool m_running = false;
    // Written to wake the platform thread when it must end.
    int m_wakeFd = -1;
    std::thread m_pollThread;
    // Changed only on the main thread and under the mutex, which the platform thread reads it under.
    mutable std::mutex m_sourcesMutex;
    QList<PlayerAlsaMIDISource> m_connectedSources;
};

} // namespace pgw
