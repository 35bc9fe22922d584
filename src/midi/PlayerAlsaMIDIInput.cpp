// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/PlayerAlsaMIDIInput.h"

#include "support/Logging.h"
#include "support/Scheduler.h"

#include <QCollator>
#include <QLocale>
#include <QThread>

#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

constexpr const char *clientName = "Pagewright Player MIDI";
constexpr const char *portName = "Page Turns";

constexpr std::uint32_t midi1ChannelVoiceType = 2;
// Universal MIDI Packet size in words for each message type (the top four bits of a message's first
// word).
constexpr std::array<std::uint8_t, 16> wordsPerMessage {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};

constexpr std::uint32_t noteOffStatus = 0x8;
constexpr std::uint32_t noteOnStatus = 0x9;
constexpr std::uint32_t controlChangeStatus = 0xB;

std::optional<PlayerMIDIEvent> decodeChannelVoice(std::uint32_t word, const PlayerAlsaMIDISource &source)
{
    const std::uint32_t status = (word >> 20) & 0xF;
    PlayerMIDIEvent event {source.id, source.name, PlayerMIDIMessageKind::note,
        std::uint8_t((word >> 16) & 0xF), std::uint8_t((word >> 8) & 0x7F), std::uint8_t(word & 0x7F), false};
    switch (status) {
    case noteOnStatus:
        // A note-on with velocity 0 is how many devices send a release.
        event.pressed = event.value != 0;
        return event;
    case noteOffStatus:
        return event;
    case controlChangeStatus:
        event.kind = PlayerMIDIMessageKind::controlChange;
        event.pressed = event.value != 0;
        return event;
    default:
        return std::nullopt;
    }
}

std::optional<std::uint32_t> packWord(std::uint32_t status, unsigned channel, unsigned number, int value)
{
    if (channel > 0xF || number > 0x7F)
        return std::nullopt;
    return midi1ChannelVoiceType << 28 | status << 20 | channel << 16 | number << 8
        | std::uint32_t(std::clamp(value, 0, 0x7F));
}

bool isSourceAnnouncement(const snd_seq_event_t &event)
{
    if (event.source.client != SND_SEQ_CLIENT_SYSTEM || event.source.port != SND_SEQ_PORT_SYSTEM_ANNOUNCE)
        return false;
    switch (event.type) {
    case SND_SEQ_EVENT_CLIENT_START:
    case SND_SEQ_EVENT_CLIENT_EXIT:
    case SND_SEQ_EVENT_CLIENT_CHANGE:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_EXIT:
    case SND_SEQ_EVENT_PORT_CHANGE:
        return true;
    default:
        return false;
    }
}

// The card's ID (its hw:CARD= name), or empty when it cannot be read.
QString cardID(int card)
{
    if (card < 0)
        return {};
    snd_ctl_t *control = nullptr;
    if (snd_ctl_open(&control, QByteArray("hw:" + QByteArray::number(card)).constData(), 0) < 0)
        return {};
    snd_ctl_card_info_t *info = nullptr;
    QString id;
    if (snd_ctl_card_info_malloc(&info) >= 0 && snd_ctl_card_info(control, info) >= 0)
        id = QString::fromUtf8(snd_ctl_card_info_get_id(info));
    snd_ctl_card_info_free(info);
    snd_ctl_close(control);
    return id;
}

bool containsSource(const QList<PlayerAlsaMIDISource> &sources, const QString &id)
{
    return std::any_of(sources.cbegin(), sources.cend(),
        [&id](const PlayerAlsaMIDISource &source) { return source.id == id; });
}

template<typename Info, int (*Allocate)(Info **), void (*Free)(Info *)>
std::unique_ptr<Info, void (*)(Info *)> allocated()
{
    Info *info = nullptr;
    if (Allocate(&info) < 0)
        return {nullptr, Free};
    return {info, Free};
}

} // namespace

PlayerAlsaMIDIInput::PlayerAlsaMIDIInput(Scheduler &mainQueue, QObject *parent)
    : PlayerMIDIInput(parent)
    , m_mainQueue(mainQueue)
    , m_self(this)
{ }

PlayerAlsaMIDIInput::~PlayerAlsaMIDIInput()
{
    stop();
    if (m_seq)
        snd_seq_close(m_seq);
}

std::optional<PlayerAlsaMIDIError> PlayerAlsaMIDIInput::start()
{
    if (m_running)
        return std::nullopt;
    auto error = m_seq ? std::nullopt : openClient();
    if (!error)
        error = openPort();
    if (error) {
        qCWarning(lcMidi, "MIDI input did not start: %s %s (ALSA error %d)",
            error->kind == PlayerAlsaMIDIError::Kind::client ? "no sequencer client:" : "no input port:",
            snd_strerror(error->status), error->status);
        return error;
    }
    m_pollThread = std::thread([this] { pollLoop(); });
    m_running = true;
    refreshSources();
    return std::nullopt;
}

void PlayerAlsaMIDIInput::stop()
{
    if (QThread::currentThread() != thread()) {
        m_mainQueue.runSync([this] { stop(); });
        return;
    }
    if (!m_running)
        return;
    m_running = false;
    stopPolling();
    disposePort();
    if (onSourcesChanged)
        onSourcesChanged({});
}

std::optional<PlayerAlsaMIDIError> PlayerAlsaMIDIInput::openClient()
{
    snd_seq_t *seq = nullptr;
    int status = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
    if (status < 0)
        return PlayerAlsaMIDIError {PlayerAlsaMIDIError::Kind::client, status};
    status = snd_seq_set_client_name(seq, clientName);
    if (status < 0) {
        snd_seq_close(seq);
        return PlayerAlsaMIDIError {PlayerAlsaMIDIError::Kind::client, status};
    }
    m_seq = seq;
    m_clientID = snd_seq_client_id(seq);
    return std::nullopt;
}

std::optional<PlayerAlsaMIDIError> PlayerAlsaMIDIInput::openPort()
{
    const int port
        = snd_seq_create_simple_port(m_seq, portName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0)
        return PlayerAlsaMIDIError {PlayerAlsaMIDIError::Kind::port, port};
    // Announcements of clients and ports coming and going keep the source list current.
    int status = snd_seq_connect_from(m_seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    if (status >= 0) {
        m_wakeFd = eventfd(0, EFD_CLOEXEC);
        if (m_wakeFd < 0)
            status = -errno;
    }
    if (status < 0) {
        snd_seq_delete_simple_port(m_seq, port);
        return PlayerAlsaMIDIError {PlayerAlsaMIDIError::Kind::port, status};
    }
    m_port = port;
    return std::nullopt;
}

void PlayerAlsaMIDIInput::disposePort()
{
    disconnectSources();
    snd_seq_delete_simple_port(m_seq, m_port);
    m_port = -1;
    // Whatever arrived before the port went belongs to sources that may be gone by the next start.
    snd_seq_drop_input(m_seq);
}

void PlayerAlsaMIDIInput::refreshSources()
{
    if (!m_running || m_port < 0)
        return;
    const QList<PlayerAlsaMIDISource> previous = m_connectedSources;
    disconnectSources();
    QList<PlayerAlsaMIDISource> connected;
    QList<PlayerMIDISourceInfo> infos;
    // A source that refuses the connection is left out; the others are unaffected.
    for (const PlayerAlsaMIDISource &source : readableSources()) {
        if (const int status = snd_seq_connect_from(m_seq, m_port, source.client, source.port); status < 0) {
            qCWarning(lcMidi, "MIDI source %s refused the connection: %s", qUtf8Printable(source.name),
                snd_strerror(status));
            continue;
        }
        if (!containsSource(previous, source.id))
            qCInfo(lcMidi, "MIDI source appeared: %s", qUtf8Printable(source.name));
        connected.append(source);
        infos.append({source.name});
    }
    for (const PlayerAlsaMIDISource &source : previous) {
        if (!containsSource(connected, source.id))
            qCInfo(lcMidi, "MIDI source gone: %s", qUtf8Printable(source.name));
    }
    {
        std::lock_guard lock(m_sourcesMutex);
        m_connectedSources = connected;
    }
    if (onSourcesChanged)
        onSourcesChanged(sortedByName(infos));
}

void PlayerAlsaMIDIInput::disconnectSources()
{
    for (const PlayerAlsaMIDISource &source : std::as_const(m_connectedSources))
        snd_seq_disconnect_from(m_seq, m_port, source.client, source.port);
    std::lock_guard lock(m_sourcesMutex);
    m_connectedSources.clear();
}

QList<PlayerAlsaMIDISource> PlayerAlsaMIDIInput::readableSources() const
{
    constexpr unsigned readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    auto client = allocated<snd_seq_client_info_t, snd_seq_client_info_malloc, snd_seq_client_info_free>();
    auto port = allocated<snd_seq_port_info_t, snd_seq_port_info_malloc, snd_seq_port_info_free>();
    QList<PlayerAlsaMIDISource> sources;
    if (!client || !port)
        return sources;
    snd_seq_client_info_set_client(client.get(), -1);
    while (snd_seq_query_next_client(m_seq, client.get()) >= 0) {
        const int clientNumber = snd_seq_client_info_get_client(client.get());
        if (clientNumber == m_clientID || clientNumber == SND_SEQ_CLIENT_SYSTEM)
            continue;
        const QString clientName = QString::fromUtf8(snd_seq_client_info_get_name(client.get()));
        const QString card = cardID(snd_seq_client_info_get_card(client.get()));
        snd_seq_port_info_set_client(port.get(), clientNumber);
        snd_seq_port_info_set_port(port.get(), -1);
        while (snd_seq_query_next_port(m_seq, port.get()) >= 0) {
            const unsigned capability = snd_seq_port_info_get_capability(port.get());
            if ((capability & readable) != readable || (capability & SND_SEQ_PORT_CAP_NO_EXPORT))
                continue;
            QString name = QString::fromUtf8(snd_seq_port_info_get_name(port.get()));
            if (name.isEmpty())
                name = u"MIDI Source "_s + QString::number(sources.size());
            sources.append({clientNumber, snd_seq_port_info_get_port(port.get()),
                sourceID(card, clientName, name), name});
        }
    }
    return sources;
}

void PlayerAlsaMIDIInput::stopPolling()
{
    const std::uint64_t wake = 1;
    while (write(m_wakeFd, &wake, sizeof wake) < 0 && errno == EINTR) { }
    m_pollThread.join();
    close(m_wakeFd);
    m_wakeFd = -1;
}

void PlayerAlsaMIDIInput::pollLoop()
{
    pthread_setname_np(pthread_self(), "player.midi");
    const int count = std::max(snd_seq_poll_descriptors_count(m_seq, POLLIN), 0);
    std::vector<pollfd> descriptors(count + 1);
    snd_seq_poll_descriptors(m_seq, descriptors.data(), count, POLLIN);
    descriptors[count] = {m_wakeFd, POLLIN, 0};
    for (;;) {
        if (poll(descriptors.data(), descriptors.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            qCWarning(lcMidi, "Waiting on the ALSA sequencer failed: %s", strerror(errno));
            return;
        }
        if (descriptors[count].revents & POLLIN)
            return;
        // A broken sequencer descriptor would wake the loop forever; leave it until stop.
        const bool broken = std::any_of(descriptors.begin(), descriptors.begin() + count,
            [](const pollfd &fd) { return fd.revents & (POLLERR | POLLNVAL); });
        if (broken) {
            qCWarning(lcMidi, "The ALSA sequencer stopped answering; MIDI input is deaf until restarted");
            return;
        }
        drainEvents();
    }
}

void PlayerAlsaMIDIInput::drainEvents()
{
    QList<PlayerMIDIEvent> events;
    bool sourcesChanged = false;
    for (;;) {
        snd_seq_event_t *event = nullptr;
        const int result = snd_seq_event_input(m_seq, &event);
        // The queue overflowed and events were lost; what follows is still good.
        if (result == -ENOSPC)
            continue;
        if (result < 0 || !event)
            break;
        if (isSourceAnnouncement(*event)) {
            sourcesChanged = sourcesChanged || event->data.addr.client != m_clientID;
            continue;
        }
        const auto word = channelVoiceWord(*event);
        const auto source = word ? connectedSource(event->source.client, event->source.port) : std::nullopt;
        if (!source)
            continue;
        PlayerMIDIEventPacket packet;
        packet.wordCount = 1;
        packet.words[0] = *word;
        events.append(parse({&packet, 1}, *source));
    }
    if (!events.isEmpty()) {
        m_mainQueue.post([self = m_self, events] {
            if (self && self->m_running && self->onEvents)
                self->onEvents(events);
        });
    }
    if (sourcesChanged) {
        m_mainQueue.post([self = m_self] {
            if (self)
                self->refreshSources();
        });
    }
}

std::optional<PlayerAlsaMIDISource> PlayerAlsaMIDIInput::connectedSource(int client, int port) const
{
    std::lock_guard lock(m_sourcesMutex);
    for (const PlayerAlsaMIDISource &source : m_connectedSources) {
        if (source.client == client && source.port == port)
            return source;
    }
    return std::nullopt;
}

QList<PlayerMIDIEvent> PlayerAlsaMIDIInput::parse(
    std::span<const PlayerMIDIEventPacket> packets, const PlayerAlsaMIDISource &source)
{
    QList<PlayerMIDIEvent> events;
    for (const PlayerMIDIEventPacket &packet : packets) {
        const std::uint32_t count = std::min(packet.wordCount, PlayerMIDIEventPacket::maxWords);
        std::uint32_t index = 0;
        while (index < count) {
            const std::uint32_t word = packet.words[index];
            const std::uint32_t type = word >> 28;
            if (type == midi1ChannelVoiceType) {
                if (auto event = decodeChannelVoice(word, source))
                    events.append(std::move(*event));
            }
            index += std::min<std::uint32_t>(wordsPerMessage[type], count - index);
        }
    }
    return events;
}

std::optional<std::uint32_t> PlayerAlsaMIDIInput::channelVoiceWord(const snd_seq_event &event)
{
    switch (event.type) {
    case SND_SEQ_EVENT_NOTEON:
        return packWord(
            noteOnStatus, event.data.note.channel, event.data.note.note, event.data.note.velocity);
    case SND_SEQ_EVENT_NOTEOFF:
        return packWord(
            noteOffStatus, event.data.note.channel, event.data.note.note, event.data.note.velocity);
    case SND_SEQ_EVENT_CONTROLLER:
        return packWord(controlChangeStatus, event.data.control.channel, event.data.control.param,
            event.data.control.value);
    default:
        return std::nullopt;
    }
}

QString PlayerAlsaMIDIInput::sourceID(
    const QString &cardID, const QString &clientName, const QString &portName)
{
    if (!cardID.isEmpty())
        return u"alsa:"_s + cardID + u'|' + portName;
    return u"alsa-name:"_s + clientName + u'|' + portName;
}

QList<PlayerMIDISourceInfo> PlayerAlsaMIDIInput::sortedByName(QList<PlayerMIDISourceInfo> infos)
{
    // The C locale collates by code point and ignores numeric mode; English collation is the neutral one.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(infos.begin(), infos.end(),
        [&](const auto &left, const auto &right) { return collator.compare(left.name, right.name) < 0; });
    return infos;
}

} // namespace pgw
