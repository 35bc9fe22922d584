// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppController.h"

#include "assets/AssetDirectory.h"
#include "link/PlayerAccessPIN.h"
#include "link/PlayerJoinLink.h"
#include "link/StandStatus.h"
#include "midi/PlayerMIDIInput.h"
#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"
#include "support/Json.h"
#include "support/Logging.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// The residue file is tiny; anything larger is not ours to trust.
constexpr qint64 maxResidueBytes = 4 * 1024 * 1024;

} // namespace

QString PlayerPINPrompt::explanation() const
{
    if (rejected)
        return u"That PIN did not match "_s + hostName
            + u". Ask the Host for the current PIN, or scan the Player QR code again."_s;
    return hostName
        + u" requires a PIN. Ask the Host, or scan the Player QR code—the PIN is included automatically."_s;
}

AppController::AppController(Environment environment, QObject *parent)
    : QObject(parent)
    , m_main(*environment.main)
    , m_healthInterval(environment.healthInterval)
    , m_defaults(*environment.defaults)
    , m_dataDirectory(environment.dataDirectory)
    , m_demoPagesFolder(environment.demoPagesFolder)
{
    QDir().mkpath(m_dataDirectory);
    const QDir data(m_dataDirectory);

    m_model = std::make_unique<ShowModel>(m_main);
    environment.connection.main = environment.main;
    m_connection = PlayerConnection::create(std::move(environment.connection));
    m_settings = std::make_unique<SettingsStore>(m_defaults);
    m_midi = std::make_unique<MIDIPageTurnController>(m_defaults, std::move(environment.midiInput));
    m_standClientInstanceID = StandClientIdentity::loadOrCreate(m_defaults);
    m_assets = AssetStore::create(
        data.filePath(u"Assets"_s), AssetStore::Environment {*environment.assetQueue, *environment.main});
    DownloadedShowLibrary::Environment libraryEnvironment = DownloadedShowLibrary::systemEnvironment();
    m_downloads = std::make_unique<DownloadedShowLibrary>(
        data.filePath(DownloadedShowLibrary::directoryName), m_assets, libraryEnvironment);
    m_privateAnnotations
        = std::make_unique<PrivateAnnotationStore>(data.filePath(u"PrivateAnnotations.json"_s));
    m_activity
        = environment.activity ? std::move(environment.activity) : std::make_unique<NullShowActivity>();
    m_model->setAssets(m_assets);
    m_readinessRail = std::make_unique<StageReadinessRail>(
        m_main, *m_model, [assets = m_assets](const QList<AssetStore::Want> &wants) {
            return assets->cachedPageCoverage(wants);
        });

    installConnectionCallbacks();
    useShowSource(ShowSource::live(m_connection));
    installModelCallbacks();
    purgeEphemeralResidue();
    installObservations();
    applyOptions(environment.options);
}

AppController::~AppController()
{
    m_standStatusWork.cancel();
    m_healthTimer.cancel();
    m_demoPeek.cancel();
    stopDemo();
}

void AppController::installConnectionCallbacks()
{
    QPointer self(this);
    m_connection->onMessage = [self](const QJsonObject &message) {
        if (!self)
            return;
        self->m_lastHostContactAt = self->m_main.now();
        self->m_model->handle(message);
        self->scheduleStandStatus(false);
    };
    m_connection->onStateChange = [self](const PlayerConnection::State &state) {
        if (self)
            self->handleState(state);
    };
    m_connection->onAuthenticationChange = [self](PlayerConnection::AuthenticationEvent event) {
        if (self)
            self->handleAuthentication(event);
    };
    m_connection->onHostsChange = [self](const QList<DiscoveredHost> &hosts) {
        if (self)
            self->setHosts(hosts);
    };
}

void AppController::useShowSource(ShowSource source)
{
    m_model->requestManifest = std::move(source.manifest);
    m_model->requestRenditionManifest = std::move(source.renditionManifest);
    m_assets->setNetwork(std::move(source.assets));
}

void AppController::installModelCallbacks()
{
    QPointer self(this);
    m_model->acceptedManifestDidChange = [self](const QJsonObject &manifest) {
        if (!self || self->m_practicing)
            return;
        if (self->m_model->ephemeralShow() || json::boolOr(manifest, "ephemeral"_L1, false))
            self->noteEphemeralScoreKeys(manifest);
        else
            self->m_downloads->captureLiveManifest(manifest);
    };
    m_model->acceptedRenditionDidChange = [self](const QString &ref, const QJsonObject &descriptor) {
        if (!self || self->m_practicing)
            return;
        if (self->m_model->ephemeralShow()) {
            if (const auto key = json::nonEmptyString(descriptor, "scoreKey"_L1))
                self->rememberEphemeralScoreKeys({*key});
        } else {
            self->m_downloads->captureLiveRendition(ref, descriptor);
        }
    };
    m_model->savedPartChoice = [self](const QString &songKey) -> std::optional<QString> {
        if (!self || !self->m_settings->partChoicesBySongKey().contains(songKey))
            return std::nullopt;
        return self->m_settings->partChoicesBySongKey().value(songKey);
    };
    m_model->persistPartChoice = [self](const QString &choice, const QString &songKey) {
        if (self)
            self->m_settings->savePartChoice(choice, songKey);
    };
}

void AppController::installObservations()
{
    m_assets->setOnContentsChange([self = QPointer(this)] {
        if (!self)
            return;
        self->m_downloads->refresh();
        self->m_readinessRail->refresh();
        self->scheduleStandStatus(false);
    });

    auto applyAutoReturn
        = [this] { m_model->setAutoReturnAfter(m_settings->autoReturn() ? autoReturnSeconds : 0); };
    auto applyLayout = [this] {
        const int rows = pageLayoutRows(m_settings->pageLayout());
        m_model->configurePageBank(rows - 1, 2 * rows - 1);
    };
    auto applyInstruments = [this] { m_model->setMyInstrumentIDs(m_settings->myInstrumentIDs()); };
    applyAutoReturn();
    applyLayout();
    applyInstruments();
    m_model->setTurnsPagesLocally(m_settings->turnsPagesLocally());
    connect(m_settings.get(), &SettingsStore::autoReturnChanged, this, applyAutoReturn);
    connect(m_settings.get(), &SettingsStore::pageLayoutChanged, this, applyLayout);
    connect(m_settings.get(), &SettingsStore::myInstrumentIDsChanged, this, applyInstruments);
    connect(m_settings.get(), &SettingsStore::turnsPagesLocallyChanged, this,
        [this] { m_model->setTurnsPagesLocally(m_settings->turnsPagesLocally()); });
    connect(m_model.get(), &ShowModel::instrumentCatalogChanged, this, [this] {
        if (m_model->instrumentCatalog())
            m_settings->updateInstrumentCatalog(*m_model->instrumentCatalog());
    });

    m_midi->onTurn = [self = QPointer(this)](int step) {
        if (self)
            self->m_model->turnLocally(step);
    };

    auto report = [this] { scheduleStandStatus(false); };
    connect(m_model.get(), &ShowModel::phaseChanged, this, report);
    connect(m_model.get(), &ShowModel::turnsPagesLocallyChanged, this, report);
    connect(m_model.get(), &ShowModel::selectedPartLabelChanged, this, report);
    connect(m_model.get(), &ShowModel::partSelectionActiveChanged, this, report);
    connect(m_model.get(), &ShowModel::displayedPageChanged, this, report);
    connect(m_model.get(), &ShowModel::displayedScoreTokenChanged, this, report);
    armHealthTimer();
}

void AppController::applyOptions(const LaunchOptions &options)
{
    if (options.name)
        m_defaults.setValue(DefaultsKeys::playerName, *options.name);
    if (options.paper)
        m_settings->setInvert(false);
    if (options.invert)
        m_settings->setInvert(true);
    if (options.demo) {
        m_main.post([self = QPointer(this)] {
            if (self)
                self->startDemo();
        });
        if (options.peek) {
            m_demoPeek = m_main.postAfter(demoPeekDelay, [self = QPointer(this)] {
                if (self)
                    self->m_model->turnLocally(+1);
            });
        }
    }
}

void AppController::start()
{
    if (m_started)
        return;
    m_started = true;
    m_midi->start();
    if (!m_joined)
        m_connection->startBrowsing();
}

void AppController::join(const DiscoveredHost &host, const QString &name, bool turnsPagesLocally)
{
    m_practicing = false;
    m_downloads->endLiveSession();
    m_connectionConnected = false;
    m_successfulConnections = 0;
    m_stalledRequestCount = 0;
    m_lastHostContactAt.reset();
    m_settings->setTurnsPagesLocally(turnsPagesLocally);
    m_joined = true;
    m_currentJoinHostName = host.recoveryServiceName.value_or(host.name);
    setPinPrompt(std::nullopt);
    m_model->didJoin();
    // The setting may already hold this value and then reports no change; the model must hear it anyway.
    m_model->setTurnsPagesLocally(turnsPagesLocally);
    m_model->setPhase(ShowPhase::connecting());
    m_connection->join(
        host.endpoint, name, host.recoveryServiceName, host.pin, host.key, host.supportsEncryption);
    updateShowActivity();
}

void AppController::backToLobby()
{
    setPinPrompt(std::nullopt);
    sendStandStatus(false);
    if (m_demo || m_practicing) {
        stopDemo();
        m_practicing = false;
        useShowSource(ShowSource::live(m_connection));
    }
    m_joined = false;
    m_downloads->endLiveSession();
    purgeEphemeralResidue();
    m_model->leaveShow();
    m_connection->leave();
    m_connection->startBrowsing();
    updateShowActivity();
}

void AppController::handleState(const PlayerConnection::State &state)
{
    if (m_practicing)
        return;
    using Kind = PlayerConnection::State::Kind;
    switch (state.kind) {
    case Kind::Idle:
    case Kind::Connecting:
        m_connectionConnected = false;
        m_model->connectionState(false, std::nullopt);
        break;
    case Kind::Connected:
        m_connectionConnected = true;
        ++m_successfulConnections;
        break;
    case Kind::Ended:
        m_connectionConnected = false;
        m_joined = false;
        setPinPrompt(std::nullopt);
        purgeEphemeralResidue();
        if (!m_model->practiceMode())
            m_model->setPhase(ShowPhase::ended(state.reason));
        m_connection->startBrowsing();
        updateShowActivity();
        break;
    }
    scheduleStandStatus(state.kind == Kind::Connected);
}

void AppController::handleAuthentication(PlayerConnection::AuthenticationEvent event)
{
    using Event = PlayerConnection::AuthenticationEvent;
    switch (event) {
    case Event::Required:
        // A refusal stays on screen until the player tries again.
        if (!(m_pinPrompt && m_pinPrompt->rejected))
            setPinPrompt(PlayerPINPrompt {m_currentJoinHostName, false});
        break;
    case Event::Rejected:
        setPinPrompt(PlayerPINPrompt {m_currentJoinHostName, true});
        break;
    case Event::Accepted:
        setPinPrompt(std::nullopt);
        break;
    }
}

void AppController::retryAuthentication(const QString &pin)
{
    if (const auto normalized = PlayerAccessPIN::normalized(pin))
        m_connection->retryAuthentication(*normalized);
}

void AppController::setPinPrompt(const std::optional<PlayerPINPrompt> &prompt)
{
    if (m_pinPrompt == prompt)
        return;
    m_pinPrompt = prompt;
    Q_EMIT pinPromptChanged();
}

void AppController::setHosts(const QList<DiscoveredHost> &browsed)
{
    m_browsedHosts = browsed;
    const QList<DiscoveredHost> merged = PlayerJoinLink::mergedHosts(m_linkedHosts, m_browsedHosts);
    // Hosts compare by id; a changed flag or endpoint must still reach the lobby.
    m_hosts = merged;
    Q_EMIT hostsChanged();
}

void AppController::handleDeepLink(const QUrl &url)
{
    const auto host = PlayerJoinLink::discoveredHost(url);
    if (!host)
        return;
    const qsizetype existing = m_linkedHosts.indexOf(*host);
    if (existing >= 0)
        m_linkedHosts[existing] = *host;
    else
        m_linkedHosts.append(*host);
    setHosts(m_browsedHosts);
    const QString name = storedPlayerName();
    if (!name.isEmpty() && !m_joined)
        join(*host, name, m_settings->turnsPagesLocally());
}

QString AppController::storedPlayerName() const
{
    const QVariant name = m_defaults.value(DefaultsKeys::playerName);
    return name.typeId() == QMetaType::QString ? name.toString() : QString();
}

void AppController::startDemo()
{
    if (m_demo || m_joined)
        return;
    auto *demo = new DemoShow(m_main, m_demoPagesFolder, this);
    if (!demo->load()) {
        delete demo;
        return;
    }
    m_demo = demo;
    m_practicing = false;
    m_downloads->endLiveSession();
    m_joined = true;
    m_model->didJoin();
    useShowSource(ShowSource::demo(m_main, demo));
    demo->onMessage = [self = QPointer(this)](const QJsonObject &message) {
        if (self)
            self->m_model->handle(message);
    };
    demo->start();
    updateShowActivity();
}

void AppController::stopDemo()
{
    if (!m_demo)
        return;
    m_demo->stop();
    delete m_demo.data();
    m_demo.clear();
}

bool AppController::startPractice(const QString &showID)
{
    const auto summary = m_downloads->summary(showID);
    const auto record = m_downloads->record(showID);
    if (!summary || !record || !summary->isOpenable())
        return false;
    stopDemo();
    m_downloads->endLiveSession();
    m_practicing = true;
    m_joined = true;
    m_connection->leave();
    m_connection->stopBrowsing();
    m_model->didJoin();
    m_model->beginPractice();

    const QJsonObject stored = record->manifest;
    QJsonObject state;
    std::optional<int> firstItem;
    const QJsonArray items = json::arrayOr(json::objectOr(stored, "show"_L1), "items"_L1);
    for (int i = 0; i < items.size(); ++i) {
        const QList<int> pages = ShowModel::configuredPageIndices(items.at(i).toObject());
        if (!pages.isEmpty()) {
            firstItem = i;
            state = QJsonObject {{"pageIndex"_L1, pages.first()}, {"scoreIndex"_L1, i},
                {"scoreKey"_L1, items.at(i).toObject().value("scoreKey"_L1)}};
            break;
        }
    }
    QJsonObject practiceManifest = stored;
    if (firstItem) {
        QJsonObject show = json::objectOr(stored, "show"_L1);
        show.insert("currentScoreIndex"_L1, *firstItem);
        practiceManifest.insert("show"_L1, show);
        practiceManifest.insert("score"_L1, items.at(*firstItem));
    } else {
        const QList<int> pages = ShowModel::sortedPageIndices(json::objectOr(stored, "score"_L1));
        if (!pages.isEmpty())
            state = QJsonObject {{"pageIndex"_L1, pages.first()}};
    }
    practiceManifest.insert("state"_L1, state);

    useShowSource(ShowSource::saved(m_main, practiceManifest,
        [downloads = QPointer(m_downloads.get()), showID](const QString &ref) -> std::optional<QJsonObject> {
            return downloads ? downloads->rendition(ref, showID) : std::nullopt;
        }));
    m_model->handle(QJsonObject {{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, 1},
        {"structureVersion"_L1, json::intOr(stored, "structureVersion"_L1, 0)}, {"state"_L1, state}});
    updateShowActivity();
    return true;
}

void AppController::saveCurrentShowForPractice()
{
    if (m_model->ephemeralShow()) {
        m_model->setToast(u"this is an ephemeral show — the host asked players to keep nothing"_s);
        return;
    }
    if (m_downloads->saveCurrentShow(m_model->expectedPracticeRenditionRefs())) {
        m_model->setToast(
            u"Saving for practice—score pages and selected parts will finish downloading in the background."_s);
    } else {
        m_model->setToast(m_downloads->lastSaveFailure().value_or(u"the show could not be saved"_s));
    }
}

void AppController::scenePhaseChanged(ScenePhase phase)
{
    switch (phase) {
    case ScenePhase::Background:
        // A live show keeps looking for its Host; otherwise nobody is watching the lobby.
        if (!(m_joined && !m_practicing))
            m_connection->stopBrowsing();
        break;
    case ScenePhase::Inactive:
        break;
    case ScenePhase::Active:
        start();
        if (m_practicing)
            m_connection->stopBrowsing();
        else if (!m_joined)
            m_connection->startBrowsing();
        else
            m_connection->reconnectNow();
        updateShowActivity();
        break;
    }
}

void AppController::prepareForTermination()
{
    stopDemo();
    m_joined = false;
    m_connection->shutdownForProcessExit();
    m_midi->stop();
    updateShowActivity();
}

void AppController::updateShowActivity()
{
    if (m_joined && !m_activity->isHeld())
        m_activity->begin();
    else if (!m_joined && m_activity->isHeld())
        m_activity->end();
    const auto publish = [this](bool &published, bool now, void (AppController::*changed)()) {
        if (std::exchange(published, now) != now)
            Q_EMIT(this->*changed)();
    };
    publish(m_publishedJoined, m_joined, &AppController::joinedChanged);
    publish(m_publishedPracticing, m_practicing, &AppController::practicingChanged);
    publish(m_publishedDemoRunning, isDemoRunning(), &AppController::demoRunningChanged);
}

void AppController::setPlayerName(const QString &name)
{
    if (name == storedPlayerName())
        return;
    m_defaults.setValue(DefaultsKeys::playerName, name);
    Q_EMIT playerNameChanged();
}

void AppController::armHealthTimer()
{
    m_healthTimer = m_main.postAfter(m_healthInterval, [this] {
        m_connection->readinessStalledRequestCount([self = QPointer(this)](int count) {
            if (!self)
                return;
            self->m_stalledRequestCount = count;
            self->sendStandStatus();
        });
        armHealthTimer();
    });
}

void AppController::scheduleStandStatus(bool immediate)
{
    m_standStatusWork.cancel();
    m_standStatusWork = m_main.postAfter(immediate ? 0 : statusDebounce, [this] { sendStandStatus(); });
}

StandStatusSnapshot AppController::standStatusSnapshot(bool joined) const
{
    StandStatusSnapshot snapshot;
    snapshot.joined = joined;
    const ShowPhase phase = m_model->phase();
    if (phase.is(ShowPhase::Offline))
        snapshot.mode = StandStatusSnapshot::Mode::Offline;
    else if (phase.is(ShowPhase::Peek))
        snapshot.mode = StandStatusSnapshot::Mode::Peek;
    else
        snapshot.mode = m_model->turnsPagesLocally() ? StandStatusSnapshot::Mode::SelfTurn
                                                     : StandStatusSnapshot::Mode::Follow;
    const bool partActive = m_model->partSelectionActive();
    snapshot.chart = partActive ? StandStatusSnapshot::ChartSelection::Part
                                : StandStatusSnapshot::ChartSelection::Master;
    snapshot.partID = m_model->selectedPartOption() ? m_model->selectedPartOption()->optionID : QString();
    snapshot.masterFallback = partActive && !m_model->usingAlternatePart();
    const AssetStore::PageCoverage coverage = m_assets->cachedPageCoverage(m_model->currentWants());
    snapshot.cacheReady = coverage.ready;
    snapshot.cacheTotal = coverage.total;
    snapshot.displayedPage = m_model->displayedPage();
    snapshot.hostPage = m_model->navIndex();
    snapshot.displayedScoreToken = m_model->displayedScoreToken();
    snapshot.hostScoreToken = m_model->standStatusHostScoreToken();
    snapshot.connected = m_connectionConnected;
    snapshot.reconnects = std::max(m_successfulConnections - 1, 0);
    snapshot.stalledRequests = m_stalledRequestCount;
    snapshot.lastHostContactAgeMilliseconds
        = m_lastHostContactAt ? qint64(std::max(m_main.now() - *m_lastHostContactAt, 0.0) * 1000) : 3'600'000;
    return snapshot;
}

void AppController::sendStandStatus(std::optional<bool> joinedOverride)
{
    if (m_practicing || m_demo || !m_connectionConnected)
        return;
    const StandStatusSnapshot snapshot = standStatusSnapshot(joinedOverride.value_or(m_joined));
    m_connection->sendControl(snapshot.wireMessage(m_standClientInstanceID, StandClient::platform,
        StandClient::version(), StandClient::build(), StandClient::transport));
}

QString AppController::residuePath() const
{
    return QDir(m_dataDirectory).filePath(residueFileName);
}

void AppController::noteEphemeralScoreKeys(const QJsonObject &manifest)
{
    QSet<QString> keys;
    if (const auto key = json::nonEmptyString(json::objectOr(manifest, "score"_L1), "scoreKey"_L1))
        keys.insert(*key);
    for (const QJsonValue &item : json::arrayOr(json::objectOr(manifest, "show"_L1), "items"_L1)) {
        if (const auto key = json::nonEmptyString(item.toObject(), "scoreKey"_L1))
            keys.insert(*key);
    }
    rememberEphemeralScoreKeys(keys);
}

void AppController::rememberEphemeralScoreKeys(const QSet<QString> &keys)
{
    const qsizetype before = m_ephemeralScoreKeys.size();
    m_ephemeralScoreKeys.unite(keys);
    if (m_ephemeralScoreKeys.size() == before)
        return;
    QStringList sorted(m_ephemeralScoreKeys.begin(), m_ephemeralScoreKeys.end());
    std::sort(sorted.begin(), sorted.end());
    // Written at once, so the keys survive a crash and are purged at the next start; a failure is only
    // logged, since the show plays on either way.
    AssetDirectory::writeAtomically(residuePath(),
        QJsonDocument(QJsonArray::fromStringList(sorted)).toJson(QJsonDocument::Compact), lcFiles());
}

void AppController::purgeEphemeralResidue()
{
    QSet<QString> keys = m_ephemeralScoreKeys;
    QFile file(residuePath());
    if (file.open(QIODevice::ReadOnly) && file.size() <= maxResidueBytes) {
        const QJsonDocument document = QJsonDocument::fromJson(file.read(maxResidueBytes));
        const QJsonArray array = document.array();
        const bool allStrings = std::all_of(
            array.begin(), array.end(), [](const QJsonValue &value) { return value.isString(); });
        if (document.isArray() && allStrings) {
            for (const QJsonValue &value : array)
                keys.insert(value.toString());
        }
    }
    file.close();
    if (keys.isEmpty())
        return;
    m_assets->removeAssets(QStringList(keys.begin(), keys.end()));
    QFile::remove(residuePath());
    m_ephemeralScoreKeys.clear();
}

} // namespace pgw
