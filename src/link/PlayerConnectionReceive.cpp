// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerConnection.h"

#include "link/PlayerConnectionLane.h"
#include "support/Json.h"
#include "support/Logging.h"

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// What one turn of the connection queue reads from a lane before other work gets its turn.
constexpr int framesPerTurn = 1024;
constexpr qsizetype bytesPerTurn = 1024 * 1024;

std::optional<QJsonObject> parseMessage(const QByteArray &payload)
{
    const qsizetype marks = json::markCount(payload);
    if (marks <= PlayerConnection::maxMessageMarks)
        return json::parseObject(payload);
    qCWarning(lcLink, "Dropped a message of %lld JSON marks, more than %lld", qlonglong(marks),
        qlonglong(PlayerConnection::maxMessageMarks));
    return std::nullopt;
}

} // namespace

void PlayerConnection::laneData(const std::shared_ptr<Lane> &lane, const QByteArray &bytes)
{
    if (lane->cancelled || !isCurrent(*lane))
        return;
    lane->reader.append(bytes);
    // A posted turn reads these after the frames before them.
    if (!lane->readPosted)
        readFrames(lane);
}

void PlayerConnection::readFrames(const std::shared_ptr<Lane> &lane)
{
    lane->readPosted = false;
    int frames = 0;
    qsizetype bytes = 0;
    while (!lane->cancelled && isCurrent(*lane)) {
        if (frames == framesPerTurn || bytes >= bytesPerTurn) {
            // The rest waits for a later turn, so a flooding Host cannot hold up the queue.
            lane->readPosted = true;
            onQueue([weakLane = std::weak_ptr(lane)](PlayerConnection &self) {
                const auto lane = weakLane.lock();
                if (lane && !lane->cancelled && self.isCurrent(*lane))
                    self.readFrames(lane);
            });
            return;
        }
        auto frame = lane->reader.next();
        if (!frame)
            break;
        ++frames;
        bytes += frame->payload.size();
        handleFrame(*lane, std::move(*frame));
    }
    if (lane->reader.hasError() && !lane->cancelled)
        cutOff(*lane, "frame length out of bounds");
}

void PlayerConnection::armWatchdog()
{
    // A frame only moves the deadline: posting a timer for every frame would let a flood of tiny
    // frames pile up timers and delay everything queued behind them.
    m_watchdogDeadline = m_queue.now() + watchdogDelay;
    if (!m_watchdogWork.isActive())
        scheduleWatchdogCheck(watchdogDelay);
}

void PlayerConnection::scheduleWatchdogCheck(double delay)
{
    std::weak_ptr<Lane> lane = m_control;
    m_watchdogWork = m_queue.postAfter(delay, weakTask([lane](PlayerConnection &self) {
        const auto control = lane.lock();
        if (!control || control != self.m_control)
            return;
        const double remaining = self.m_watchdogDeadline - self.m_queue.now();
        if (remaining > 0)
            self.scheduleWatchdogCheck(remaining);
        else
            self.cutOff(*control, "the Host went silent");
    }));
}

void PlayerConnection::handleFrame(Lane &lane, Frame frame)
{
    if (lane.control)
        armWatchdog();
    qCDebug(lcLink, "%s lane: frame of type %u, %lld bytes", lane.name(), unsigned(frame.type),
        qint64(frame.payload.size()));

    if (frame.type == Wire::SealedFrame) {
        if (!lane.channel) {
            cutOff(lane, "sealed frame on a plain connection");
            return;
        }
        auto plaintext = lane.channel->open(std::move(frame.payload));
        if (!plaintext) {
            cutOff(lane, "sealed frame did not open (bad tag or out of sequence)");
            return;
        }
        if (plaintext->isEmpty() || plaintext->size() > Wire::maxPlaintextLength) {
            cutOff(lane, "sealed frame with an empty or oversized message");
            return;
        }
        if (lane.control)
            m_controlSawEncrypted = true;
        m_joinSawEncrypted = true;
        const quint8 innerType = quint8(plaintext->at(0));
        plaintext->remove(0, 1);
        dispatch(lane, innerType, std::move(*plaintext));
        return;
    }
    if (!lane.channel) {
        dispatch(lane, frame.type, std::move(frame.payload));
        return;
    }
    // With a channel, the Host may only speak plainly to say it wants a PIN, rejects one, opens the
    // room or ends the session, and on the control connection only before its first sealed frame.
    // Opening the room turns the channel off, so a Host known to hold the key must say it sealed:
    // anyone on the path can write a plain frame.
    const auto message
        = frame.type == Wire::JsonMessage ? parseMessage(frame.payload) : std::optional<QJsonObject>();
    const QString type = message ? json::stringOr(*message, "type"_L1) : QString();
    const bool opensRoom
        = type == MessageType::auth && json::stringOr(*message, "status"_L1) == AuthStatus::open;
    if (type != MessageType::auth && type != MessageType::end) {
        cutOff(lane, "plain frame on a sealed connection");
        return;
    }
    if (lane.control && m_controlSawEncrypted) {
        cutOff(lane, "plain frame after sealed ones");
        return;
    }
    if (opensRoom && hostHoldsTheKey()) {
        cutOff(lane, "plain room opening from a Host that holds the key");
        return;
    }
    route(lane, *message);
}

void PlayerConnection::dispatch(Lane &lane, quint8 type, QByteArray payload)
{
    switch (type) {
    case Wire::JsonMessage:
        if (const auto message = parseMessage(payload))
            route(lane, *message);
        break;
    case Wire::AssetResponseFrame:
        if (const auto response = AssetResponse::parse(std::move(payload)))
            m_requests.assetResponse(*response);
        break;
    case Wire::AssetChunkFrame:
        if (const auto chunk = AssetChunk::parse(std::move(payload)))
            m_requests.assetChunk(*chunk);
        break;
    default:
        break;
    }
}

void PlayerConnection::route(Lane &lane, const QJsonObject &message)
{
    const QString type = json::stringOr(message, "type"_L1);
    const auto requestId = json::optString(message, "requestId"_L1);

    if (type == MessageType::auth) {
        const QString status = json::stringOr(message, "status"_L1);
        if (status == AuthStatus::open) {
            roomOpened(lane);
            return;
        }
        if (status == AuthStatus::required || status == AuthStatus::rejected) {
            authenticationDemanded(status == AuthStatus::required ? AuthenticationEvent::Required
                                                                  : AuthenticationEvent::Rejected);
            return;
        }
    } else if (type == MessageType::manifest && requestId) {
        m_requests.resolveManifest(*requestId, json::optObject(message, "manifest"_L1));
        return;
    } else if (type == MessageType::renditionManifest && requestId) {
        m_requests.resolveRenditionManifest(*requestId, message);
        return;
    } else if (type == MessageType::hello && lane.control) {
        helloReceived();
    } else if (type == MessageType::ping && message.contains("t"_L1)) {
        if (isReady(m_control))
            send(*m_control, {{"type"_L1, MessageType::pong}, {"t"_L1, message.value("t"_L1)}});
    } else if (type == MessageType::end) {
        const QString reason = json::stringOr(message, "reason"_L1, EndReason::ended);
        qCInfo(lcLink, "The Host ended the session%s",
            reason == EndReason::version ? " (protocol version mismatch)" : "");
        m_intentionallyClosed = true;
        report(State::ended(reason));
    }

    if (lane.control) {
        deliver([message](PlayerConnection &self) {
            if (self.onMessage)
                self.onMessage(message);
        });
    }
}

void PlayerConnection::roomOpened(Lane &lane)
{
    qCInfo(lcLink, "The Host's room is open: the %s lane continues plain", lane.name());
    lane.channel.reset();
    m_hostRoomIsOpen = true;
    if (lane.control)
        m_controlSawEncrypted = false;
    sendOpening(lane);
}

void PlayerConnection::authenticationDemanded(AuthenticationEvent event)
{
    // The room is closed again: later dials are sealed when there is a PIN, never plain with it.
    const bool roomWasOpen = std::exchange(m_hostRoomIsOpen, false);
    if (roomWasOpen && event == AuthenticationEvent::Required && m_playerPIN && m_control) {
        qCInfo(lcLink, "The Host closed its room; dialling again sealed with the PIN");
        cancelLane(*m_control);
        return;
    }
    m_awaitingAuthentication = true;
    if (event == AuthenticationEvent::Required)
        qCInfo(lcLink, "The Host requires a PIN");
    if (event == AuthenticationEvent::Rejected) {
        qCWarning(lcLink, "The Host rejected the PIN");
        m_playerPIN.reset();
        m_cachedPINIKM.reset();
    }
    m_helloGateWork.cancel();
    m_watchdogWork.cancel();
    report(State::connecting());
    deliverAuthentication(event);
}

void PlayerConnection::helloReceived()
{
    m_sawHello = true;
    m_awaitingAuthentication = false;
    m_attempts = 0;
    m_secureDialFailures = 0;
    m_awaitingFreshService = false;
    m_helloGateWork.cancel();
    stopBrowser();
    qCInfo(lcLink, "Connected to %s (%s)", qUtf8Printable(m_endpoint->description()),
        m_controlSawEncrypted ? "sealed" : "plain");
    report(State::connected());
    deliverAuthentication(AuthenticationEvent::Accepted);
    deliver([encrypted = m_controlSawEncrypted](PlayerConnection &self) {
        if (self.onEncryptionChange)
            self.onEncryptionChange(encrypted);
    });
}

} // namespace pgw
