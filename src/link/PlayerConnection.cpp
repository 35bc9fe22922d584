// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerConnection.h"

#include "link/PlayerAccessPIN.h"
#include "link/PlayerConnectionLane.h"
#include "link/PlayerCrypto.h"
#include "link/ServiceByteStream.h"
#include "link/TcpByteStream.h"
#include "support/Logging.h"

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

QString withReason(const QString &line, const ByteStream &stream)
{
    const QString reason = stream.errorText();
    return reason.isEmpty() ? line : line + u": "_s + reason;
}

} // namespace

PlayerConnection::Environment PlayerConnection::systemEnvironment(Scheduler &queue, Scheduler &main)
{
    return {&queue, &main, TcpByteStream::factory(queue), systemJitter(),
        [] { return makeAvahiBrowser(NetworkEndpoint::serviceType); }, makeAvahiResolver};
}

std::shared_ptr<PlayerConnection> PlayerConnection::create(Environment environment)
{
    return std::shared_ptr<PlayerConnection>(new PlayerConnection(std::move(environment)));
}

PlayerConnection::PlayerConnection(Environment environment)
    : m_queue(*environment.queue)
    , m_main(*environment.main)
    , m_streams(std::move(environment.streams))
    , m_jitter(environment.jitter ? std::move(environment.jitter) : systemJitter())
    , m_browsers(std::move(environment.browsers))
    , m_resolvers(std::move(environment.resolvers))
    , m_requests(*environment.queue)
{ }

PlayerConnection::~PlayerConnection()
{
    // Streams, the browser and the resolver must be released on the queue that owns their sockets.
    m_queue.runSync([this] {
        m_intentionallyClosed = true;
        stopBrowser();
        tearDown();
        m_resolver.reset();
        PlayerCrypto::releaseThreadState();
    });
}

// MARK: hopping between the queue and the main thread

void PlayerConnection::onQueue(std::function<void(PlayerConnection &)> work)
{
    m_queue.post(weakTask(std::move(work)));
}

Scheduler::Task PlayerConnection::weakTask(std::function<void(PlayerConnection &)> work)
{
    return [weak = weak_from_this(), work = std::move(work)] {
        if (auto self = weak.lock())
            work(*self);
    };
}

void PlayerConnection::deliver(std::function<void(PlayerConnection &)> delivery)
{
    m_main.post(weakTask(std::move(delivery)));
}

void PlayerConnection::report(const State &state)
{
    deliver([state](PlayerConnection &self) {
        if (self.onStateChange)
            self.onStateChange(state);
    });
}

void PlayerConnection::deliverAuthentication(AuthenticationEvent event)
{
    deliver([event](PlayerConnection &self) {
        if (self.onAuthenticationChange)
            self.onAuthenticationChange(event);
    });
}

// MARK: public operations

void PlayerConnection::startBrowsing()
{
    onQueue([](PlayerConnection &self) { self.startBrowser(); });
}

void PlayerConnection::stopBrowsing()
{
    onQueue([](PlayerConnection &self) { self.stopBrowser(); });
}

void PlayerConnection::join(const NetworkEndpoint &endpoint, const QString &name,
    const std::optional<QString> &recoveryServiceName, const std::optional<QString> &pin,
    const std::optional<QByteArray> &key, bool supportsEncryption)
{
    onQueue([=](PlayerConnection &self) {
        self.joinOnQueue(endpoint, name, recoveryServiceName, pin, key, supportsEncryption);
    });
}

void PlayerConnection::retryAuthentication(const QString &pin)
{
    const auto normalized = PlayerAccessPIN::normalized(pin);
    if (!normalized)
        return;
    onQueue([normalized](PlayerConnection &self) {
        if (!self.m_endpoint || self.m_intentionallyClosed)
            return;
        qCInfo(lcLink, "Retrying with a new PIN");
        self.m_playerPIN = normalized;
        self.m_awaitingAuthentication = false;
        self.m_reconnectWork.cancel();
        self.m_attempts = 0;
        self.openControl();
    });
}

void PlayerConnection::leave()
{
    onQueue([](PlayerConnection &self) {
        if (self.m_endpoint)
            qCInfo(lcLink, "Leaving %s", qUtf8Printable(self.m_endpoint->description()));
        self.m_intentionallyClosed = true;
        self.forgetJoin();
        self.tearDown();
        self.report(State::idle());
    });
}

void PlayerConnection::reconnectNow()
{
    onQueue([](PlayerConnection &self) {
        if (!self.m_endpoint || self.m_intentionallyClosed || self.m_awaitingAuthentication
            || isReady(self.m_control))
            return;
        self.m_reconnectWork.cancel();
        self.m_attempts = 0;
        self.openControl();
    });
}

void PlayerConnection::sendControl(const QJsonObject &message)
{
    onQueue([message](PlayerConnection &self) {
        if (isReady(self.m_control))
            self.send(*self.m_control, message);
    });
}

void PlayerConnection::shutdownForProcessExit()
{
    m_queue.runSync([this] {
        m_intentionallyClosed = true;
        forgetJoin();
        stopBrowser();
        tearDown();
        m_resolver.reset();
        PlayerCrypto::releaseThreadState();
    });
}

// MARK: requests

void PlayerConnection::requestManifest(ManifestCompletion completion)
{
    onQueue([completion = std::move(completion)](PlayerConnection &self) {
        Scheduler &main = self.m_main;
        auto onMain = [&main, completion](std::optional<QJsonObject> manifest) {
            main.post([completion, manifest] { completion(manifest); });
        };
        if (!isReady(self.m_control)) {
            onMain(std::nullopt);
            return;
        }
        const QString id = self.nextRequestId(u'm');
        self.m_requests.addManifest(id, onMain);
        self.send(*self.m_control, {{"type"_L1, MessageType::manifest}, {"requestId"_L1, id}});
    });
}

void PlayerConnection::requestRenditionManifest(const QString &ref, ManifestCompletion completion)
{
    onQueue([ref, completion = std::move(completion)](PlayerConnection &self) {
        Scheduler &main = self.m_main;
        auto onMain = [&main, completion](std::optional<QJsonObject> descriptor) {
            main.post([completion, descriptor] { completion(descriptor); });
        };
        if (!isReady(self.m_control) || ref.isEmpty()) {
            onMain(std::nullopt);
            return;
        }
        const QString id = self.nextRequestId(u'r');
        self.m_requests.addRenditionManifest(id, ref, onMain);
        self.send(*self.m_control,
            {{"type"_L1, MessageType::renditionManifest}, {"requestId"_L1, id}, {"ref"_L1, ref}});
    });
}

void PlayerConnection::requestAsset(qint64 scoreToken, qint64 pageIndex, const QString &kind,
    const QString &version, bool urgent, AssetCompletion completion)
{
    onQueue([=, completion = std::move(completion)](PlayerConnection &self) {
        Scheduler &main = self.m_main;
        auto onMain = [&main, completion](AssetReply reply) {
            main.post([completion, reply] { completion(reply.status, reply.fingerprint, reply.data); });
        };
        const std::shared_ptr<Lane> lane
            = isReady(self.m_assets) ? self.m_assets : (isReady(self.m_control) ? self.m_control : nullptr);
        if (!lane) {
            onMain({});
            return;
        }
        const QString id = self.nextRequestId(u'a');
        const quint64 laneId = lane->id;
        self.m_requests.addAsset(
            id, laneId, onMain, self.weakTask([id, laneId](PlayerConnection &connection) {
                qCInfo(lcLink, "Asset request %s timed out", qUtf8Printable(id));
                connection.recycleLane(laneId);
            }));
        self.send(*lane,
            {{"type"_L1, MessageType::asset}, {"requestId"_L1, id}, {"scoreToken"_L1, scoreToken},
                {"pageIndex"_L1, pageIndex}, {"kind"_L1, kind}, {"version"_L1, version},
                {"urgent"_L1, urgent}});
    });
}

void PlayerConnection::readinessStalledRequestCount(std::function<void(int)> completion)
{
    onQueue([completion = std::move(completion)](PlayerConnection &self) {
        self.m_main.post([completion, count = self.m_requests.stalledCount()] { completion(count); });
    });
}

QString PlayerConnection::nextRequestId(QChar prefix)
{
    return prefix + QString::number(++m_nextRequestId);
}

// MARK: dialling

void PlayerConnection::joinOnQueue(const NetworkEndpoint &endpoint, const QString &name,
    const std::optional<QString> &recoveryServiceName, const std::optional<QString> &pin,
    const std::optional<QByteArray> &key, bool supportsEncryption)
{
    m_endpoint = endpoint;
    m_joinedServiceName = recoveryServiceName && !recoveryServiceName->isEmpty() ? recoveryServiceName
                                                                                 : endpoint.serviceName();
    m_playerName = name;
    m_playerPIN = PlayerAccessPIN::normalized(pin);
    m_playerKey = key && !key->isEmpty() ? key : std::nullopt;
    m_hostSupportsEncryption = supportsEncryption || m_playerKey.has_value();
    m_hostRoomIsOpen = false;
    m_joinSawEncrypted = false;
    m_assumeLegacyHost = false;
    m_awaitingAuthentication = false;
    m_intentionallyClosed = false;
    m_awaitingFreshService = false;
    m_secureDialFailures = 0;
    m_attempts = 0;
    qCInfo(lcLink, "Joining %s (PIN: %s, link key: %s)", qUtf8Printable(endpoint.description()),
        m_playerPIN ? "yes" : "no", m_playerKey ? "yes" : "no");
    openControl();
}

void PlayerConnection::forgetJoin()
{
    m_awaitingFreshService = false;
    m_joinedServiceName.reset();
    m_endpoint.reset();
    m_playerPIN.reset();
    m_playerKey.reset();
    m_cachedPINIKM.reset();
    m_hostSupportsEncryption = false;
    m_hostRoomIsOpen = false;
    m_joinSawEncrypted = false;
    m_assumeLegacyHost = false;
    m_awaitingAuthentication = false;
}

std::optional<PlayerConnection::SecureContext> PlayerConnection::secureContext()
{
    if (m_playerKey)
        return SecureContext {u"k"_s, *m_playerKey};
    if (!m_playerPIN || m_assumeLegacyHost || m_hostRoomIsOpen)
        return std::nullopt;
    if (!m_cachedPINIKM || m_cachedPINIKM->first != *m_playerPIN) {
        const auto ikm = PlayerCrypto::ikmForJoinPIN(*m_playerPIN);
        if (!ikm)
            return SecureContext {u"pin"_s, {}};
        m_cachedPINIKM = std::pair(*m_playerPIN, *ikm);
    }
    return SecureContext {u"pin"_s, m_cachedPINIKM->second};
}

std::shared_ptr<PlayerConnection::Lane> PlayerConnection::makeLane(bool control)
{
    auto lane = std::make_shared<Lane>();
    lane->control = control;
    lane->id = ++m_laneCounter;
    if (const auto context = secureContext()) {
        // Never fall back to plain text when the channel cannot be made: that would send the PIN in clear.
        const auto nonce = PlayerCrypto::randomConnectionNonce();
        if (nonce && !context->keyMaterial.isEmpty())
            lane->channel = PlayerSecureChannel::create(context->kid, context->keyMaterial, *nonce);
        if (!lane->channel) {
            qCWarning(
                lcLink, "Could not set up a sealed channel for the %s lane; not dialling", lane->name());
            return nullptr;
        }
    }
    logRetry(lcLink(), control && reconnectsAtCeiling(),
        u"Dialling %1 (%2 lane)"_s.arg(m_endpoint->description(), QLatin1StringView(lane->name())));
    lane->stream = dial(*m_endpoint);
    if (!lane->stream)
        return nullptr;
    std::weak_ptr<Lane> weakLane = lane;
    auto weak = weak_from_this();
    lane->stream->onState = [weak, weakLane](ByteStream::State state) {
        auto self = weak.lock();
        auto lane = weakLane.lock();
        if (self && lane)
            self->laneStateChanged(lane, state);
    };
    lane->stream->onData = [weak, weakLane](const QByteArray &bytes) {
        auto self = weak.lock();
        auto lane = weakLane.lock();
        if (self && lane)
            self->laneData(lane, bytes);
    };
    return lane;
}

std::shared_ptr<ByteStream> PlayerConnection::dial(const NetworkEndpoint &endpoint)
{
    const auto *service = endpoint.asService();
    if (service && !m_resolver && m_resolvers)
        m_resolver = m_resolvers();
    if (service && m_resolver)
        return std::make_shared<ServiceByteStream>(m_queue, *m_resolver, *service, m_streams);
    return m_streams(endpoint);
}

void PlayerConnection::openControl()
{
    if (!m_endpoint)
        return;
    tearDown();
    report(State::connecting());
    m_sawHello = false;
    m_controlSawEncrypted = false;
    m_control = makeLane(true);
    if (!m_control) {
        controlDropped();
        return;
    }
    std::weak_ptr<Lane> lane = m_control;
    m_control->stream->start();
    m_dialGateWork = m_queue.postAfter(dialGateDelay, weakTask([lane](PlayerConnection &self) {
        auto control = lane.lock();
        if (control && control == self.m_control && !control->ready) {
            logRetry(lcLink(), self.reconnectsAtCeiling(),
                u"No answer from %1 within %2 s"_s.arg(self.m_endpoint->description()).arg(dialGateDelay));
            self.cancelLane(*control);
        }
    }));
}

void PlayerConnection::openAssets()
{
    if (!m_endpoint)
        return;
    m_assets = makeLane(false);
    if (m_assets)
        m_assets->stream->start();
}

bool PlayerConnection::isCurrent(const Lane &lane) const
{
    return &lane == m_control.get() || &lane == m_assets.get();
}

bool PlayerConnection::isReady(const std::shared_ptr<Lane> &lane)
{
    return lane && lane->ready && !lane->cancelled;
}

void PlayerConnection::cancelLane(Lane &lane)
{
    lane.cancelled = true;
    lane.stream->cancel();
}

void PlayerConnection::cutOff(Lane &lane, const char *reason)
{
    qCWarning(lcLink, "Cutting off the %s lane: %s", lane.name(), reason);
    cancelLane(lane);
}

void PlayerConnection::laneStateChanged(const std::shared_ptr<Lane> &lane, ByteStream::State state)
{
    using S = ByteStream::State;
    if (lane == m_control) {
        if (state == S::Ready) {
            controlReady();
        } else if (state == S::Waiting) {
            logRetry(lcLink(), reconnectsAtCeiling(),
                withReason(m_endpoint->description() + u" is not reachable for now"_s, *lane->stream));
            controlWaiting(lane);
        } else if (state == S::Failed || state == S::Cancelled) {
            if (state == S::Failed) {
                logRetry(lcLink(), reconnectsAtCeiling(),
                    withReason(u"Lost the control lane to "_s + m_endpoint->description(), *lane->stream));
            }
            controlDropped();
        }
    } else if (lane == m_assets) {
        if (state == S::Ready) {
            lane->ready = true;
            sendOpening(*lane);
        } else if (state == S::Failed || state == S::Cancelled) {
            if (state == S::Failed) {
                qCInfo(lcLink).noquote()
                    << withReason(u"Lost the assets lane to "_s + m_endpoint->description(), *lane->stream);
            }
            m_assets.reset();
            m_requests.failLane(lane->id);
        }
    }
}

void PlayerConnection::controlReady()
{
    m_control->ready = true;
    m_dialGateWork.cancel();
    sendOpening(*m_control);
    std::weak_ptr<Lane> lane = m_control;
    m_helloGateWork = m_queue.postAfter(helloGateDelay, weakTask([lane](PlayerConnection &self) {
        auto control = lane.lock();
        if (control && control == self.m_control && !self.m_sawHello)
            self.cutOff(*control, "no hello from the Host");
    }));
    openAssets();
}

void PlayerConnection::controlDropped()
{
    if (m_intentionallyClosed)
        return;
    m_dialGateWork.cancel();
    if (m_control && m_control->ready && m_control->channel && !m_controlSawEncrypted
        && !m_awaitingAuthentication && !hostHoldsTheKey() && !m_hostSupportsEncryption) {
        // A Host that accepts sealed dials and drops them before answering probably cannot read them;
        // one that has sealed on this join can, and must never get the PIN in plain.
        if (++m_secureDialFailures >= 2 && !m_assumeLegacyHost) {
            qCInfo(lcLink, "The Host dropped sealed dials unanswered; trying plain");
            m_assumeLegacyHost = true;
        }
    }
    if (m_control)
        cancelLane(*m_control);
    m_control.reset();
    if (m_assets)
        cancelLane(*m_assets);
    m_assets.reset();
    m_helloGateWork.cancel();
    m_watchdogWork.cancel();
    m_requests.failAll();
    if (m_awaitingAuthentication) {
        report(State::connecting());
        return;
    }
    if (m_joinedServiceName) {
        m_awaitingFreshService = true;
        startBrowser();
    }
    scheduleReconnect();
}

void PlayerConnection::scheduleReconnect()
{
    if (m_reconnectWork.isActive() || m_intentionallyClosed)
        return;
    const double step = m_attempts < int(ladder.size()) ? ladder[size_t(m_attempts)] : ladderCeiling;
    const double delay = step * m_jitter(0.8, 1.2);
    logRetry(lcLink(), reconnectsAtCeiling(),
        u"Reconnecting in %1 s (attempt %2)"_s.arg(delay, 0, 'f', 2).arg(m_attempts + 1));
    ++m_attempts;
    report(State::connecting());
    m_reconnectWork = m_queue.postAfter(delay, weakTask([](PlayerConnection &self) {
        self.m_reconnectWork = {};
        self.openControl();
    }));
}

void PlayerConnection::tearDown()
{
    m_reconnectWork.cancel();
    m_dialGateWork.cancel();
    m_watchdogWork.cancel();
    m_helloGateWork.cancel();
    for (auto *lane : {&m_control, &m_assets}) {
        if (*lane)
            cancelLane(**lane);
        lane->reset();
    }
    m_requests.failAll();
}

void PlayerConnection::recycleLane(quint64 laneId)
{
    if (!m_assets || m_assets->id != laneId)
        return;
    cancelLane(*m_assets);
    m_assets.reset();
    m_requests.failLane(laneId);
    if (!m_intentionallyClosed && m_endpoint && isReady(m_control))
        openAssets();
}

// MARK: sending

void PlayerConnection::sendOpening(Lane &lane)
{
    if (lane.channel)
        lane.stream->send(Wire::frame(Wire::SecureHelloFrame,
            Wire::secureHelloPayload(lane.channel->kid(), lane.channel->connectionNonce())));
    send(
        lane, lane.control ? Wire::hiMessage(m_playerName, std::nullopt) : Wire::attachMessage(std::nullopt));
}

void PlayerConnection::send(Lane &lane, QJsonObject message)
{
    if (lane.channel) {
        if (const auto frame = lane.channel->sealFrame(Wire::JsonMessage, {Wire::encodeMessage(message)}))
            lane.stream->send(*frame);
    } else {
        // An open room does not need the PIN, and a plain frame would show it to anyone on the path.
        if (!m_hostRoomIsOpen)
            message = PlayerAccessPIN::adding(std::move(message), m_playerPIN);
        lane.stream->send(Wire::frame(Wire::JsonMessage, Wire::encodeMessage(message)));
    }
    dropIfStalled(lane);
}

void PlayerConnection::dropIfStalled(Lane &lane)
{
    if (lane.stream->bytesToWrite() <= maxBytesToWrite)
        return;
    qCWarning(lcLink, "Cutting off the %s lane: %lld bytes wait to be sent", lane.name(),
        qint64(lane.stream->bytesToWrite()));
    // The control connection's drop brings the reconnect ladder; the assets one is replaced.
    if (lane.control)
        cancelLane(lane);
    else
        recycleLane(lane.id);
}

} // namespace pgw
