#pragma once

#include "show/ShowIdentity.h"
#include "show/ShowPhase.h"
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
    Q_PROPERTY(int displayedPage READ displayedPage NOTIFY displayedPageChanged)
    Q_PROPERTY(qint64 displayedScoreToken READ displayedScoreToken NOTIFY displayedScoreTokenChanged)
    Q_PROPERTY(bool turnsPagesLocally READ turnsPagesLocally NOTIFY turnsPagesLocallyChanged)
    Q_PROPERTY(bool practiceMode READ practiceMode NOTIFY practiceModeChanged)
    Q_PROPERTY(int inkGeneration READ inkGeneration NOTIFY inkGenerationChanged)
    Q_PROPERTY(QString toast READ toast WRITE setToast NOTIFY toastChanged)
    Q_PROPERTY(bool ephemeralShow READ ephemeralShow NOTIFY ephemeralShowChanged)

public:
    static constexpr double reconcileInterval = 0.75;

    using ManifestAnswer = std::function<void(std::optional<QJsonObject>)>;

    explicit ShowModel(Scheduler &scheduler, QObject *parent = nullptr);
    ~ShowModel() override;

    // Asks the source for the current manifest; the answer arrives later on the main thread.
    std::function<void(ManifestAnswer)> requestManifest;
    std::function<void(const QJsonObject &)> acceptedManifestDidChange;

    InkModel ink;

    ShowPhase phase() const { return m_phase; }
    void setPhase(const ShowPhase &phase);
    bool blackout() const { return m_blackout; }
    QString presenceText() const { return m_presenceText; }
    QString bookline() const { return m_bookline; }
    int displayedPage() const { return m_displayedPage; }
    qint64 displayedScoreToken() const { return m_displayedScoreToken; }
    bool turnsPagesLocally() const { return m_turnsPagesLocally; }
    bool practiceMode() const { return m_practiceMode; }
    int inkGeneration() const { return m_inkGeneration; }
    QString toast() const { return m_toast; }
    void setToast(const QString &toast);
    bool ephemeralShow() const { return m_ephemeralShow; }

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

    // Whether a part rendition replaces the master pages (chosen for the musician's instruments).
    bool partSelected() const { return m_selectedPartOptionID.has_value(); }

    // The set-list item that shows the open score, from the show's current item or the Host's.
    std::optional<int> alignedCurrentSetlistIndex() const;
    // The show's set-list items; empty without a set list.
    QJsonArray setlistItems() const;
    QJsonObject openScore() const;

    // Brings the displayed page and its indices in line with the displayed position.
    void showDisplayedPage();

Q_SIGNALS:
    void phaseChanged();
    void blackoutChanged();
    void presenceTextChanged();
    void booklineChanged();
    void displayedPageChanged();
    void displayedScoreTokenChanged();
    void turnsPagesLocallyChanged();
    void practiceModeChanged();
    void inkGenerationChanged();
    void toastChanged();
    void ephemeralShowChanged();

private:
    template<typename T>
    void update(T &field, const T &value, void (ShowModel::*changed)());

    void handleHello(const QJsonObject &message);
    void handleNav(const QJsonObject &message);
    void handleStructure(const QJsonObject &message);
    void handleMarks(const QJsonObject &message);
    void handleInk(const QJsonObject &message);
    void updatePresence(std::optional<int> count, const QStringList &names);
    void refetchManifest();
    void acceptManifestAnswer(const std::optional<QJsonObject> &answer);
    void updateBookline();
    void syncInkGeneration();
    void reconcile();
    void armReconciler();
    void refreshStage();
    void enterOffline();

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
    bool m_practiceMode = false;
    int m_inkGeneration = 0;
    QString m_toast;
    bool m_ephemeralShow = false;

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

    std::optional<QString> m_selectedPartOptionID;
    std::optional<int> m_partLocalIndex;
};

} // namespace pgw
