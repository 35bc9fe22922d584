// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationStore.h"
#include "app/LaunchOptions.h"
#include "app/SettingsStore.h"
#include "app/ShowActivity.h"
#include "app/ShowSource.h"
#include "assets/AssetStore.h"
#include "link/DiscoveredHost.h"
#include "link/PlayerConnection.h"
#include "link/StandStatus.h"
#include "midi/MIDIPageTurnController.h"
#include "saved/DemoShow.h"
#include "saved/DownloadedShowLibrary.h"
#include "show/ShowModel.h"
#include "stage/StageReadinessRail.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <memory>
#include <optional>

namespace pgw {

class DefaultsStore;
class PlayerMIDIInput;

// Shown while the Host demands a PIN.
struct PlayerPINPrompt
{
    QString hostName;
    // The last PIN was refused.
    bool rejected = false;
    bool operator==(const PlayerPINPrompt &) const = default;

    static constexpr QLatin1StringView rejectedHeading {"PIN not accepted"};
    static inline const QString fieldPrompt = QStringLiteral("4–8 digit Host PIN");
    QString explanation() const;
};

// The Player's coordinator: owns every service, wires them together and runs the join, leave, demo
// and practice flows, the stand status report and the ephemeral-show clean-up. Main thread only.
class AppController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool joined READ isJoined NOTIFY joinedChanged)
    Q_PROPERTY(bool practicing READ isPracticing NOTIFY practicingChanged)
    Q_PROPERTY(bool demoRunning READ isDemoRunning NOTIFY demoRunningChanged)
    Q_PROPERTY(QString playerName READ playerName WRITE setPlayerName NOTIFY playerNameChanged)

public:
    enum class ScenePhase { Active, Inactive, Background };

    static constexpr double healthInterval = 2.0;
    static constexpr double statusDebounce = 0.12;
    static constexpr double autoReturnSeconds = 10.0;
    static constexpr double demoPeekDelay = 5.0;
    static inline const QString defaultHostName = QStringLiteral("the Host");
    static inline const QString residueFileName = QStringLiteral("EphemeralResidue.json");

    // Where the services live and how they reach the world; tests substitute every part.
    struct Environment
    {
        QString dataDirectory;
        DefaultsStore *defaults = nullptr;
        Scheduler *main = nullptr;
        Scheduler *assetQueue = nullptr;
        // Its queue, streams, jitter and DNS-SD; the main scheduler is filled in from `main`.
        PlayerConnection::Environment connection;
        std::unique_ptr<PlayerMIDIInput> midiInput;
        std::unique_ptr<ShowActivity> activity;
        QString demoPagesFolder;
        // Join links among them are left to the shell, which opens them once the window shows.
        LaunchOptions options;
        // How often the link's health is reported even when nothing else changes.
        double healthInterval = AppController::healthInterval;
    };

    explicit AppController(Environment environment, QObject *parent = nullptr);
    ~AppController() override;

    ShowModel &model() { return *m_model; }
    SettingsStore &settings() { return *m_settings; }
    MIDIPageTurnController &midi() { return *m_midi; }
    PlayerConnection &connection() { return *m_connection; }
    AssetStore &assets() { return *m_assets; }
    DownloadedShowLibrary &downloads() { return *m_downloads; }
    PrivateAnnotationStore &privateAnnotations() { return *m_privateAnnotations; }
    StageReadinessRail &readinessRail() { return *m_readinessRail; }

    const QList<DiscoveredHost> &hosts() const { return m_hosts; }
    const std::optional<PlayerPINPrompt> &pinPrompt() const { return m_pinPrompt; }
    bool isJoined() const { return m_joined; }
    bool isPracticing() const { return m_practicing; }
    bool isDemoRunning() const { return m_demo != nullptr; }
    bool isShowActivityHeld() const { return m_activity->isHeld(); }
    QString standClientInstanceID() const { return m_standClientInstanceID; }
    // The name shown to the Host, kept in the defaults store.
    QString playerName() const { return storedPlayerName(); }
    void setPlayerName(const QString &name);

    void start();
    void join(const DiscoveredHost &host, const QString &name, bool turnsPagesLocally);
    void backToLobby();
    void startDemo();
    bool startPractice(const QString &showID);
    void saveCurrentShowForPractice();
    void scenePhaseChanged(ScenePhase phase);
    void prepareForTermination();
    void handleDeepLink(const QUrl &url);
    void retryAuthentication(const QString &pin);

Q_SIGNALS:
    void hostsChanged();
    void pinPromptChanged();
    void joinedChanged();
    void practicingChanged();
    void demoRunningChanged();
    void playerNameChanged();

private:
    void installConnectionCallbacks();
    // The model and the asset store ask this source from now on.
    void useShowSource(ShowSource source);
    void installModelCallbacks();
    void installObservations();
    void applyOptions(const LaunchOptions &options);
    void handleState(const PlayerConnection::State &state);
    void handleAuthentication(PlayerConnection::AuthenticationEvent event);
    void setPinPrompt(const std::optional<PlayerPINPrompt> &prompt);
    void setHosts(const QList<DiscoveredHost> &browsed);
    void stopDemo();
    // Holds the display awake while joined and tells observers which way into a show is taken.
    void updateShowActivity();
    void armHealthTimer();
    void scheduleStandStatus(bool immediate);
    void sendStandStatus(std::optional<bool> joinedOverride = std::nullopt);
    StandStatusSnapshot standStatusSnapshot(bool joined) const;
    void noteEphemeralScoreKeys(const QJsonObject &manifest);
    void rememberEphemeralScoreKeys(const QSet<QString> &keys);
    void purgeEphemeralResidue();
    QString residuePath() const;
    QString storedPlayerName() const;

    Scheduler &m_main;
    double m_healthInterval;
    DefaultsStore &m_defaults;
    QString m_dataDirectory;
    QString m_demoPagesFolder;
    std::unique_ptr<ShowModel> m_model;
    std::shared_ptr<PlayerConnection> m_connection;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<MIDIPageTurnController> m_midi;
    std::shared_ptr<AssetStore> m_assets;
    std::unique_ptr<DownloadedShowLibrary> m_downloads;
    std::unique_ptr<PrivateAnnotationStore> m_privateAnnotations;
    std::unique_ptr<ShowActivity> m_activity;
    std::unique_ptr<StageReadinessRail> m_readinessRail;

    QList<DiscoveredHost> m_hosts;
    std::optional<PlayerPINPrompt> m_pinPrompt;
    QList<DiscoveredHost> m_browsedHosts;
    QList<DiscoveredHost> m_linkedHosts;
    bool m_joined = false;
    // What observers were last told.
    bool m_publishedJoined = false;
    bool m_publishedPracticing = false;
    bool m_publishedDemoRunning = false;
    QString m_currentJoinHostName = defaultHostName;
    bool m_practicing = false;
    bool m_started = false;
    QPointer<DemoShow> m_demo;
    QString m_standClientInstanceID;
    TaskHandle m_standStatusWork;
    TaskHandle m_healthTimer;
    TaskHandle m_demoPeek;
    bool m_connectionConnected = false;
    int m_successfulConnections = 0;
    std::optional<double> m_lastHostContactAt;
    int m_stalledRequestCount = 0;
    QSet<QString> m_ephemeralScoreKeys;
};

} // namespace pgw
