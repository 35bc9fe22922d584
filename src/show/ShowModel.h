// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetStore.h"
#include "link/PlayerReadinessRailPolicy.h"
#include "show/PlayerInstrumentCatalog.h"
#include "show/PlayerPart.h"
#include "show/ShowIdentity.h"
#include "show/ShowPhase.h"
#include "show/StagePage.h"
#include "stage/InkModel.h"
#include "support/Scheduler.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

#include <functional>
#include <optional>

namespace pgw {

// A page plus the set-list item it belongs to (absent without a set list or inside a part rendition).
struct LocalPosition
{
    int page = -1;
    std::optional<int> item;
    bool operator==(const LocalPosition &) const = default;
};

// Everything the Player knows about the show it plays: phase, accepted manifest, the Host's position,
// the local positions and the texts around the stage. Main thread only.
class ShowModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(pgw::ShowPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(bool blackout READ blackout NOTIFY blackoutChanged)
    Q_PROPERTY(QString presenceText READ presenceText NOTIFY presenceTextChanged)
    Q_PROPERTY(QString bookline READ bookline NOTIFY booklineChanged)
    Q_PROPERTY(QByteArray basePNG READ basePNG NOTIFY basePNGChanged)
    Q_PROPERTY(QByteArray marksPNG READ marksPNG NOTIFY marksPNGChanged)
    Q_PROPERTY(int displayedPage READ displayedPage NOTIFY displayedPageChanged)
    Q_PROPERTY(qint64 displayedScoreToken READ displayedScoreToken NOTIFY displayedScoreTokenChanged)
    Q_PROPERTY(pgw::StagePageList stagePages READ stagePages NOTIFY stagePagesChanged)
    Q_PROPERTY(pgw::StagePageList bankPages READ bankPages NOTIFY bankPagesChanged)
    Q_PROPERTY(QString activePageKey READ activePageKey NOTIFY activePageKeyChanged)
    Q_PROPERTY(QString bankActivePageKey READ bankActivePageKey NOTIFY bankActivePageKeyChanged)
    Q_PROPERTY(bool turnsPagesLocally READ turnsPagesLocally NOTIFY turnsPagesLocallyChanged)
    Q_PROPERTY(bool practiceMode READ practiceMode NOTIFY practiceModeChanged)
    Q_PROPERTY(QString selectedPartLabel READ selectedPartLabel NOTIFY selectedPartLabelChanged)
    Q_PROPERTY(bool usingAlternatePart READ usingAlternatePart NOTIFY usingAlternatePartChanged)
    Q_PROPERTY(bool partSelectionActive READ partSelectionActive NOTIFY partSelectionActiveChanged)
    Q_PROPERTY(QList<pgw::PlayerPartOption> availablePartOptions READ availablePartOptions NOTIFY
            availablePartOptionsChanged)
    // Absent values read as an invalid variant.
    Q_PROPERTY(QVariant instrumentCatalog READ instrumentCatalogValue NOTIFY instrumentCatalogChanged)
    Q_PROPERTY(QVariant partChooser READ partChooserValue NOTIFY partChooserChanged)
    Q_PROPERTY(int inkGeneration READ inkGeneration NOTIFY inkGenerationChanged)
    Q_PROPERTY(QString toast READ toast WRITE setToast NOTIFY toastChanged)
    Q_PROPERTY(bool ephemeralShow READ ephemeralShow NOTIFY ephemeralShowChanged)
    Q_PROPERTY(QString hostPositionText READ hostPositionText NOTIFY hostPositionTextChanged)

public:
    static constexpr double reconcileInterval = 0.75;
    static constexpr double imageRetryDelay = 5.0;
    static constexpr double manifestRetryDelay = 1.0;
    static constexpr int pageMemoryLimit = 24;
    static constexpr int runwayLength = 3;

    using ManifestAnswer = std::function<void(std::optional<QJsonObject>)>;
    static inline const QString practicePresenceText
        = QStringLiteral("saved show — swipe, tap, pedal, or use the arrow keys");

    explicit ShowModel(Scheduler &scheduler, QObject *parent = nullptr);
    ~ShowModel() override;

    // Asks the source for the current manifest; the answer arrives later on the main thread.
    std::function<void(ManifestAnswer)> requestManifest;
    std::function<void(const QJsonObject &)> acceptedManifestDidChange;
    // Parts: the rendition requester answers a descriptor or nothing; choices are kept per song key.
    std::function<void(const QString &ref, ManifestAnswer)> requestRenditionManifest;
    std::function<std::optional<QString>(const QString &songKey)> savedPartChoice;
    std::function<void(const QString &choice, const QString &songKey)> persistPartChoice;
    std::function<void(const QString &ref, const QJsonObject &descriptor)> acceptedRenditionDidChange;

    InkModel ink;

    ShowPhase phase() const { return m_phase; }
    void setPhase(const ShowPhase &phase);
    bool blackout() const { return m_blackout; }
    QString presenceText() const { return m_presenceText; }
    QString bookline() const { return m_bookline; }
    // Images of the displayed page; a null array means none.
    QByteArray basePNG() const { return m_basePNG; }
    QByteArray marksPNG() const { return m_marksPNG; }
    bool displayedBaseIsExact() const { return m_displayedBaseIsExact; }
    bool displayedMarksAreExact() const { return m_displayedMarksAreExact; }
    int displayedPage() const { return m_displayedPage; }
    qint64 displayedScoreToken() const { return m_displayedScoreToken; }
    StagePageList stagePages() const { return m_stagePages; }
    StagePageList bankPages() const { return m_bankPages; }
    // Identity of the page the Host is on within each list; empty when it is not there.
    QString activePageKey() const { return m_activePageKey; }
    QString bankActivePageKey() const { return m_bankActivePageKey; }
    bool turnsPagesLocally() const { return m_turnsPagesLocally; }
    bool practiceMode() const { return m_practiceMode; }
    int inkGeneration() const { return m_inkGeneration; }
    QString toast() const { return m_toast; }
    void setToast(const QString &toast);
    bool ephemeralShow() const { return m_ephemeralShow; }
    const std::optional<PlayerInstrumentCatalog> &instrumentCatalog() const { return m_instrumentCatalog; }
    const std::optional<PlayerPartChooser> &partChooser() const { return m_partChooser; }
    QVariant instrumentCatalogValue() const
    {
        return m_instrumentCatalog ? QVariant::fromValue(*m_instrumentCatalog) : QVariant();
    }
    QVariant partChooserValue() const
    {
        return m_partChooser ? QVariant::fromValue(*m_partChooser) : QVariant();
    }
    QString selectedPartLabel() const { return m_selectedPartLabel; }
    bool usingAlternatePart() const { return m_usingAlternatePart; }
    bool partSelectionActive() const { return m_partSelectionActive; }
    const QList<PlayerPartOption> &availablePartOptions() const { return m_availablePartOptions; }
    const std::optional<PlayerPartOption> &selectedPartOption() const { return m_selectedPartOption; }
    const std::optional<QJsonObject> &alternateRendition() const { return m_alternateRendition; }
    std::optional<int> partLocalIndex() const { return m_partLocalIndex; }

    const std::optional<QJsonObject> &manifest() const { return m_manifest; }
    int structureVersion() const { return m_structureVersion; }
    int navIndex() const { return m_navIndex; }
    std::optional<int> navScoreIndex() const { return m_navScoreIndex; }
    std::optional<QString> navScoreKey() const { return m_navScoreKey; }
    bool isJoined() const { return m_joined; }
    bool manifestInFlight() const { return m_manifestInFlight; }
    bool manifestQueued() const { return m_manifestQueued; }

    // Session.
    void handle(const QJsonObject &message);
    void didJoin();
    void leaveShow();
    void connectionState(bool connected, const std::optional<QString> &endedReason);
    // A saved show is practised: pages always turn locally.
    void beginPractice();

    // Status texts.
    QString liveChipText() const;
    QString hostPositionText() const;
    qint64 standStatusHostScoreToken() const;

    // Navigation.
    int displayedIndex() const;
    std::optional<int> displayedScoreIndex() const;
    std::optional<LocalPosition> currentLocalPosition() const;
    std::optional<LocalPosition> adjacentLocalPosition(const LocalPosition &from, int direction) const;
    void turnLocally(int step);
    void setTurnsPagesLocally(bool on);
    void returnToLive(const QString &toast = {});
    void seedManualPositionFromHost();
    void reconcileManualPosition();
    bool canProvisionallyDisplay(
        std::optional<int> scoreIndex, const std::optional<QString> &scoreKey, int pageIndex) const;
    double autoReturnAfter() const { return m_autoReturnAfter; }
    void setAutoReturnAfter(double seconds) { m_autoReturnAfter = seconds; }
    std::optional<LocalPosition> manualPosition() const;
    std::optional<LocalPosition> peekPosition() const;
    std::optional<LocalPosition> offlinePosition() const;
    std::optional<int> practiceScoreIndex() const { return m_practiceScoreIndex; }
    int practiceTransitionDirection() const { return m_practiceTransitionDirection; }

    struct PageRange
    {
        int start = 0;
        int end = 0;
        bool operator==(const PageRange &) const = default;
    };
    // The playable range of an item: "startPage" to "endPage" clamped to the pages it has.
    static std::optional<PageRange> configuredBounds(const QJsonObject &item);
    // The item's page indices within its playable range, ascending.
    static QList<int> configuredPageIndices(const QJsonObject &item);
    // All page indices of a score, item or rendition, ascending.
    static QList<int> sortedPageIndices(const QJsonObject &owner);

    // Parts.
    bool partSelected() const { return m_selectedPartOption.has_value(); }
    void selectPart(const QString &optionID);
    // Offers the song's charts again, with the one in use checked; nothing without a song that has any.
    void openPartChooser();
    void dismissPartChooser() { removePartChooser(); }
    void setMyInstrumentIDs(const QSet<QString> &ids);
    void reconcileSongPartContext(bool forceResolution);
    void refreshPartPrefetchPlan();
    QSet<QString> expectedPracticeRenditionRefs() const;
    bool transitionPracticePartBoundary(int direction);
    static bool partsCapability(const QJsonObject &manifest);
    static std::optional<QJsonObject> normalizedRendition(
        const QJsonObject &descriptor, const PlayerPartOption &option);

    // The set-list item that shows the open score, from the show's current item or the Host's.
    std::optional<int> alignedCurrentSetlistIndex() const;
    // The show's set-list items; empty without a set list.
    QJsonArray setlistItems() const;
    QJsonObject openScore() const;

    // Stage pages.
    void setAssets(std::shared_ptr<AssetStore> assets) { m_assets = std::move(assets); }
    void configurePageBank(int maxLookBehind, int maxLookAhead);
    void rebuildStagePages();
    // Brings the displayed images and indices in line with the displayed position.
    void showDisplayedPage();
    // Recomputes what the asset store should have and hands it over.
    void schedulePump();
    std::optional<QString> expectedShownKey() const;
    QString shownKey() const { return m_shownKey; }
    std::optional<QString> displayedChartIdentity() const;
    const QList<AssetStore::Want> &currentWants() const { return m_currentWants; }
    // Identifies the set of files the rail is counting, so a confirmed scope is not announced twice.
    QString readinessCoverageScopeFingerprint() const;
    PlayerReadinessCompletionTracker readinessTracker;

Q_SIGNALS:
    void phaseChanged();
    void blackoutChanged();
    void presenceTextChanged();
    void booklineChanged();
    void basePNGChanged();
    void marksPNGChanged();
    void displayedPageChanged();
    void displayedScoreTokenChanged();
    void stagePagesChanged();
    void bankPagesChanged();
    void activePageKeyChanged();
    void bankActivePageKeyChanged();
    void turnsPagesLocallyChanged();
    void practiceModeChanged();
    void instrumentCatalogChanged();
    void partChooserChanged();
    void selectedPartLabelChanged();
    void usingAlternatePartChanged();
    void partSelectionActiveChanged();
    void availablePartOptionsChanged();
    void inkGenerationChanged();
    void toastChanged();
    void ephemeralShowChanged();
    void hostPositionTextChanged();
    // The files the pump works through changed, and with them the readiness the stage reports.
    void currentWantsChanged();

private:
    template<typename T>
    void update(T &field, const T &value, void (ShowModel::*changed)())
    {
        if (field == value)
            return;
        field = value;
        Q_EMIT(this->*changed)();
    }

    void handleHello(const QJsonObject &message);
    void handleNav(const QJsonObject &message);
    void handleStructure(const QJsonObject &message);
    void handleMarks(const QJsonObject &message);
    void handleInk(const QJsonObject &message);
    void updatePresence(std::optional<int> count, const QStringList &names);
    void refetchManifest();
    void acceptManifestAnswer(const std::optional<QJsonObject> &answer);
    void updateBookline();
    void refreshHostPositionText();
    void syncInkGeneration();
    void reconcile();
    void armReconciler();
    void refreshStage();
    void enterOffline();
    // "p." and the page's number; a page index from the Host may be the largest int.
    static QString pageLabel(int pageIndex);

    // Part helpers.
    struct PartRenditionInFlight
    {
        int serial = 0;
        PartRenditionRequest request;
    };
    std::optional<int> partContextItem() const;
    std::optional<SongPartContext> hostPartContext() const;
    QList<int> masterPagesForSong() const;
    QList<int> partPageIndices() const;
    void beginPart(const PlayerPartOption &option);
    void settlePartRequest(
        const std::optional<QJsonObject> &rendition, const PlayerPartOption &option, int generation);
    void clearPartPlayback();
    void showPartChooser(const SongPartContext &context);
    void removePartChooser();
    void enqueueRenditionRequest(const PlayerPartOption &option, bool foreground, bool kick,
        std::optional<int> prefetchGeneration = std::nullopt);
    void kickRenditionQueue();
    void finishRenditionRequest(int serial, const std::optional<QJsonObject> &descriptor);
    void enqueueMissingPartPrefetchRequests();
    void resetPartSession(bool clearCatalog);
    std::optional<QString> savedChoiceFor(const QString &songKey) const;

    // Stage page helpers.
    struct ChartSource
    {
        QJsonObject owner;
        ShowIdentity::ScoreAddress address;
        std::optional<int> itemIndex;
        QString occurrenceId;
        bool isRendition = false;
        // Pages that can be drawn (an integer "index" and a text "baseVersion"), by index.
        QList<QJsonObject> pages;
        // For set-list items: the pages within the configured range.
        std::optional<PageRange> range;
    };
    std::optional<ChartSource> chartSource(
        const QJsonObject &owner, std::optional<int> itemIndex, bool isRendition) const;
    std::optional<ChartSource> displayedChart() const;
    StagePage makeStagePage(const ChartSource &chart, const QJsonObject &page, int ordinal) const;
    StagePageList runwaySkeleton(const std::optional<ChartSource> &chart) const;
    StagePageList bankSkeleton(const std::optional<ChartSource> &chart) const;
    StagePage mergeStagePage(StagePage page) const;
    std::optional<QString> hostActivePageKey(const StagePageList &pages) const;
    void rememberStagePage(const StagePage &page);
    void loadFollowingStagePages();
    void updateStageLayer(const QString &pageKey, const QString &kind, const QByteArray &data, bool exact);
    void retrieveDisplayedBase(const StagePage &page, const QString &pendingKey);
    void retrieveDisplayedMarks(const StagePage &page, const QString &pendingKey);
    void publishDisplayedIndices(const StagePage &page);
    bool offlineLoads() const { return m_phase.is(ShowPhase::Offline); }
    void clearStage();

    // Navigation helpers.
    std::optional<LocalPosition> stepWithinItems(const LocalPosition &from, int direction) const;
    std::optional<QString> itemScoreKey(std::optional<int> item) const;
    std::optional<QString> itemFingerprint(std::optional<int> item) const;
    bool itemInRange(std::optional<int> item) const;
    void setManualPosition(const std::optional<LocalPosition> &position);
    void clearManualPosition();
    void clearPeekPosition();
    void clearOfflinePosition();
    void armPeekTimer();
    void stopPeekTimer();
    bool manualItemMatches(int item) const;

    Scheduler &m_scheduler;
    TaskHandle m_reconciler;
    TaskHandle m_peekTimer;

    ShowPhase m_phase;
    bool m_blackout = false;
    QString m_presenceText;
    QString m_bookline;
    int m_displayedPage = -1;
    qint64 m_displayedScoreToken = -1;
    bool m_turnsPagesLocally = false;
    bool m_masterTurnsPagesLocally = false;
    // The player's own choice, kept while practice forces local turning.
    bool m_userTurnsPagesLocally = false;
    bool m_practiceMode = false;
    int m_inkGeneration = 0;
    QString m_toast;
    bool m_ephemeralShow = false;
    QString m_hostPositionText;

    std::optional<QJsonObject> m_manifest;
    int m_structureVersion = 0;
    double m_lastNavT = -1.0;
    int m_navIndex = -1;
    std::optional<int> m_navScoreIndex;
    std::optional<QString> m_navScoreKey;
    std::optional<int> m_provisionalScoreIndex;
    std::optional<qint64> m_lastScoreToken;
    QString m_shownKey;
    bool m_manifestInFlight = false;
    bool m_manifestQueued = false;
    // Bumped when a session ends, so a manifest answer from the old session is dropped.
    int m_manifestSession = 0;
    QString m_reconcilerKey;
    int m_reconcilerTries = 0;
    bool m_joined = false;

    std::optional<int> m_manualIndex;
    std::optional<int> m_manualScoreIndex;
    std::optional<QString> m_manualScoreKey;
    std::optional<QString> m_manualOccurrenceFingerprint;
    std::optional<int> m_peekIndex;
    std::optional<int> m_peekScoreIndex;
    std::optional<int> m_offlineIndex;
    std::optional<int> m_offlineScoreIndex;
    std::optional<QString> m_offlineScoreKey;
    std::optional<QString> m_offlineOccurrenceFingerprint;
    std::optional<int> m_practiceScoreIndex;
    int m_practiceTransitionDirection = 0;
    double m_autoReturnAfter = 0;

    std::shared_ptr<AssetStore> m_assets;
    QByteArray m_basePNG;
    QByteArray m_marksPNG;
    bool m_displayedBaseIsExact = false;
    bool m_displayedMarksAreExact = false;
    StagePageList m_stagePages;
    StagePageList m_bankPages;
    QString m_activePageKey;
    QString m_bankActivePageKey;
    int m_bankLookBehind = 0;
    int m_bankLookAhead = 2;
    QHash<QString, StagePage> m_pageMemory;
    QStringList m_pageMemoryOrder;
    QSet<QString> m_loadsInFlight;
    QHash<QString, double> m_retryAfter;
    QList<AssetStore::Want> m_currentWants;

    std::optional<PlayerInstrumentCatalog> m_instrumentCatalog;
    std::optional<PlayerPartChooser> m_partChooser;
    QString m_selectedPartLabel = QStringLiteral("Master");
    bool m_usingAlternatePart = false;
    bool m_partSelectionActive = false;
    QList<PlayerPartOption> m_availablePartOptions;
    QSet<QString> m_myInstrumentIDs;
    std::optional<SongPartContext> m_songPartContext;
    std::optional<PlayerPartOption> m_selectedPartOption;
    std::optional<QJsonObject> m_alternateRendition;
    std::optional<int> m_partLocalIndex;
    int m_partRequestGeneration = 0;
    int m_renditionSessionGeneration = 0;
    int m_renditionRequestSerial = 0;
    std::optional<PartRenditionInFlight> m_renditionInFlight;
    QList<PartRenditionRequest> m_renditionQueue;
    QHash<PartRenditionKey, QJsonObject> m_renditionCache;
    QHash<PartRenditionKey, PlayerPartOption> m_desiredPartPrefetchOptions;
    QList<PartRenditionKey> m_partPrefetchOrder;
    QSet<PartRenditionKey> m_partPrefetchAttemptedKeys;
    int m_partPrefetchPlanGeneration = 0;
};

} // namespace pgw
