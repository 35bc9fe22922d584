// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ByteStream.h"
#include "link/DiscoveredHost.h"
#include "link/DnsSd.h"
#include "link/NetworkEndpoint.h"
#include "link/PlayerRequestTracker.h"
#include "support/Scheduler.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace pgw {

class PlayerSecureChannel;
struct Frame;

// The Player's link to one Host: a control connection for the session and an assets connection for
// page images, each optionally sealed, guarded by a dial gate, a hello gate and a watchdog, and
// re-dialled along a jittered ladder when the control connection drops. It also browses for Hosts,
// and finds the joined Host again by its service name when its endpoint fails. All work runs on
// the connection queue; every callback and completion is delivered on the main thread in the order
// it was issued.
class PlayerConnection : public std::enable_shared_from_this<PlayerConnection>
{
public:
    struct State
    {
        enum class Kind { Idle, Connecting, Connected, Ended };
        Kind kind = Kind::Idle;
        QString reason; // for Ended only
        bool operator==(const State &) const = default;

        static State idle() { return {Kind::Idle, {}}; }
        static State connecting() { return {Kind::Connecting, {}}; }
        static State connected() { return {Kind::Connected, {}}; }
        static State ended(const QString &reason) { return {Kind::Ended, reason}; }
    };

    enum class AuthenticationEvent { Required, Rejected, Accepted };

    struct Environment
    {
        Scheduler *queue = nullptr; // the "player.connection" queue
        Scheduler *main = nullptr;
        ByteStreamFactory streams;
        JitterSource jitter;
        // Called on the connection queue: a browser for every browsing run, and one resolver the
        // first time a service endpoint is dialled. Without them there is no browsing and service
        // endpoints go to `streams` as they are.
        DnsSdBrowserFactory browsers;
        DnsSdResolverFactory resolvers;
    };

    using ManifestCompletion = std::function<void(std::optional<QJsonObject>)>;
    using AssetCompletion = std::function<void(
        qint64 status, const std::optional<QString> &fingerprint, const std::optional<QByteArray> &data)>;

    static constexpr double dialGateDelay = 6.0;
    static constexpr double helloGateDelay = 3.0;
    static constexpr double watchdogDelay = 12.0;
    static constexpr std::array<double, 5> ladder {0.25, 0.5, 1.0, 2.0, 3.5};
    static constexpr double ladderCeiling = 5.0;
    static constexpr std::array<double, 6> browserLadder {0.5, 1.0, 2.0, 5.0, 10.0, 30.0};
    static constexpr double browserLadderCeiling = 30.0;
    // Past this many bytes waiting to be written, a connection counts as stalled: a Host that stops
    // reading must not make the Player hold every later message.
    static constexpr qint64 maxBytesToWrite = 4 * 1024 * 1024;
    // A JSON message with more marks than this (see json::markCount) is dropped unparsed: parsing
    // builds up to about 75 bytes a mark, so a frame of tiny objects would cost many times its size.
    static constexpr qsizetype maxMessageMarks = 400'000;

    // TCP sockets and Avahi, all living on the thread of `queue`.
    static Environment systemEnvironment(Scheduler &queue, Scheduler &main);
    static std::shared_ptr<PlayerConnection> create(Environment environment);
    // Tears everything down on the connection queue; the queue must still be running.
    ~PlayerConnection();
    PlayerConnection(const PlayerConnection &) = delete;
    PlayerConnection &operator=(const PlayerConnection &) = delete;

    // Set by the owner before use; absent callbacks are skipped.
    std::function<void(const State &)> onStateChange;
    std::function<void(const QJsonObject &)> onMessage;
    // The browsed Hosts, sorted by name, after every change.
    std::function<void(const QList<DiscoveredHost> &)> onHostsChange;
    std::function<void(AuthenticationEvent)> onAuthenticationChange;
    std::function<void(bool encrypted)> onEncryptionChange;

    void startBrowsing();
    void stopBrowsing();

    void join(const NetworkEndpoint &endpoint, const QString &name,
        const std::optional<QString> &recoveryServiceName, const std::optional<QString> &pin,
        const std::optional<QByteArray> &key, bool supportsEncryption);
    // Ignored unless the PIN normalises.
    void retryAuthentication(const QString &pin);
    void leave();
    void reconnectNow();
    void sendControl(const QJsonObject &message);

    void requestManifest(ManifestCompletion completion);
    void requestRenditionManifest(const QString &ref, ManifestCompletion completion);
    void requestAsset(qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version,
        bool urgent, AssetCompletion completion);
    void readinessStalledRequestCount(std::function<void(int)> completion);

    // Synchronous; must not be called on the connection queue.
    void shutdownForProcessExit();

private:
    struct Lane;
    struct SecureContext
    {
        QString kid;
        QByteArray keyMaterial;
    };

    explicit PlayerConnection(Environment environment);

    void onQueue(std::function<void(PlayerConnection &)> work);
    Scheduler::Task weakTask(std::function<void(PlayerConnection &)> work);
    void deliver(std::function<void(PlayerConnection &)> delivery);
    void report(const State &state);
    void deliverAuthentication(AuthenticationEvent event);
    void deliverHosts();

    // Browsing, and finding the joined service again.
    void startBrowser();
    void stopBrowser();
    void scheduleBrowserRestart();
    bool browserRestartsAtCeiling() const { return m_browserAttempts > int(browserLadder.size()); }
    void browserStateChanged(qint64 generation, DnsSdBrowser::State state);
    void browseResults(
        qint64 generation, const QList<DnsSdResult> &results, const QList<DnsSdChange> &changes);
    std::optional<DiscoveredHost> freshService(qint64 generation, const QList<DnsSdChange> &changes);
    void controlWaiting(const std::shared_ptr<Lane> &lane);
    void recoverAt(const NetworkEndpoint &endpoint);

    // Dialling and the life of the two connections.
    void joinOnQueue(const NetworkEndpoint &endpoint, const QString &name,
        const std::optional<QString> &recoveryServiceName, const std::optional<QString> &pin,
        const std::optional<QByteArray> &key, bool supportsEncryption);
    void openControl();
    void openAssets();
    std::shared_ptr<Lane> makeLane(bool control);
    std::shared_ptr<ByteStream> dial(const NetworkEndpoint &endpoint);
    std::optional<SecureContext> secureContext();
    void laneStateChanged(const std::shared_ptr<Lane> &lane, ByteStream::State state);
    void controlReady();
    void controlDropped();
    void scheduleReconnect();
    // The first step at the ladder's ceiling still counts as climbing; later ones only repeat it.
    bool reconnectsAtCeiling() const { return m_attempts > int(ladder.size()); }
    void tearDown();
    void forgetJoin();
    void cancelLane(Lane &lane);
    // Cancels a lane for a reason worth a warning in the log.
    void cutOff(Lane &lane, const char *reason);
    void recycleLane(quint64 laneId);
    bool isCurrent(const Lane &lane) const;
    static bool isReady(const std::shared_ptr<Lane> &lane);

    // Sending.
    void sendOpening(Lane &lane);
    void send(Lane &lane, QJsonObject message);
    void dropIfStalled(Lane &lane);
    QString nextRequestId(QChar prefix);

    // Receiving (PlayerConnectionReceive.cpp).
    void laneData(const std::shared_ptr<Lane> &lane, const QByteArray &bytes);
    void readFrames(const std::shared_ptr<Lane> &lane);
    void handleFrame(Lane &lane, Frame frame);
    void dispatch(Lane &lane, quint8 type, QByteArray payload);
    void route(Lane &lane, const QJsonObject &message);
    void roomOpened(Lane &lane);
    // The Host made the link secret, or has sealed a frame on this join.
    bool hostHoldsTheKey() const { return m_playerKey || m_joinSawEncrypted; }
    void authenticationDemanded(AuthenticationEvent event);
    void helloReceived();
    void armWatchdog();
    void scheduleWatchdogCheck(double delay);

    Scheduler &m_queue;
    Scheduler &m_main;
    ByteStreamFactory m_streams;
    JitterSource m_jitter;
    DnsSdBrowserFactory m_browsers;
    DnsSdResolverFactory m_resolvers;

    std::unique_ptr<DnsSdBrowser> m_browser;
    qint64 m_browserGeneration = 0;
    std::optional<qint64> m_firstRecoverySnapshotGeneration;
    std::unique_ptr<DnsSdResolver> m_resolver;

    std::shared_ptr<Lane> m_control;
    std::shared_ptr<Lane> m_assets;
    quint64 m_laneCounter = 0;
    std::optional<NetworkEndpoint> m_endpoint;
    std::optional<QString> m_joinedServiceName;
    QString m_playerName;
    std::optional<QString> m_playerPIN;
    bool m_awaitingAuthentication = false;
    std::optional<QByteArray> m_playerKey;
    bool m_hostSupportsEncryption = false;
    bool m_hostRoomIsOpen = false;
    bool m_assumeLegacyHost = false;
    int m_secureDialFailures = 0;
    bool m_controlSawEncrypted = false;
    bool m_joinSawEncrypted = false;
    std::optional<std::pair<QString, QByteArray>> m_cachedPINIKM;
    int m_attempts = 0;
    int m_browserAttempts = 0;
    TaskHandle m_reconnectWork;
    TaskHandle m_browserRetryWork;
    TaskHandle m_dialGateWork;
    TaskHandle m_watchdogWork;
    double m_watchdogDeadline = 0;
    TaskHandle m_helloGateWork;
    bool m_sawHello = false;
    bool m_awaitingFreshService = false;
    bool m_intentionallyClosed = false;
    QList<DiscoveredHost> m_latestHosts;
    qint64 m_nextRequestId = 0;
    PlayerRequestTracker m_requests;
};

} // namespace pgw
