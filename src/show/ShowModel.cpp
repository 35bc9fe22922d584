// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/ShowModel.h"

#include "link/Wire.h"
#include "show/ManifestLimits.h"
#include "support/Json.h"
#include "support/Logging.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace pgw {

ShowModel::ShowModel(Scheduler &scheduler, QObject *parent)
    : QObject(parent)
    , m_scheduler(scheduler)
{
    // The text follows the Host's page, the displayed page, blackout and practice; the Host's page has no
    // signal of its own and is refreshed where it changes.
    for (const auto signal : {&ShowModel::displayedPageChanged, &ShowModel::blackoutChanged,
             &ShowModel::practiceModeChanged, &ShowModel::phaseChanged})
        connect(this, signal, this, &ShowModel::refreshHostPositionText);
    m_hostPositionText = hostPositionText();
    armReconciler();
}

ShowModel::~ShowModel()
{
    m_reconciler.cancel();
    m_peekTimer.cancel();
}

void ShowModel::setPhase(const ShowPhase &phase)
{
    update(m_phase, phase, &ShowModel::phaseChanged);
}

void ShowModel::setToast(const QString &toast)
{
    update(m_toast, toast, &ShowModel::toastChanged);
}

QJsonArray ShowModel::setlistItems() const
{
    if (!m_manifest)
        return {};
    return json::arrayOr(json::objectOr(*m_manifest, "show"_L1), "items"_L1);
}

QJsonObject ShowModel::openScore() const
{
    return m_manifest ? json::objectOr(*m_manifest, "score"_L1) : QJsonObject();
}

void ShowModel::handle(const QJsonObject &message)
{
    const QString type = json::stringOr(message, "type"_L1);
    if (type == MessageType::hello)
        handleHello(message);
    else if (type == MessageType::nav)
        handleNav(message);
    else if (type == MessageType::structure)
        handleStructure(message);
    else if (type == MessageType::marks)
        handleMarks(message);
    else if (type == MessageType::ink)
        handleInk(message);
    else if (type == MessageType::blackout)
        update(m_blackout, json::boolOr(message, "on"_L1, false), &ShowModel::blackoutChanged);
    else if (type == MessageType::presence) {
        QStringList names;
        for (const QJsonValue &name : json::arrayOr(message, "names"_L1)) {
            if (name.isString())
                names.append(name.toString());
        }
        updatePresence(json::optInt32(message, "count"_L1), names);
    } else if (type == MessageType::end)
        setPhase(ShowPhase::ended(json::stringOr(message, "reason"_L1, EndReason::ended)));
    refreshHostPositionText();
}

void ShowModel::handleHello(const QJsonObject &message)
{
    if (json::optInt(message, "protocolVersion"_L1) != Wire::protocolVersion) {
        setPhase(ShowPhase::ended(EndReason::version));
        return;
    }
    m_lastNavT = -1.0;
    m_provisionalScoreIndex.reset();
    update(m_ephemeralShow, json::boolOr(message, "ephemeral"_L1, false), &ShowModel::ephemeralShowChanged);
    m_structureVersion = json::int32Or(message, "structureVersion"_L1, 0);
    const bool manifestIsCurrent
        = m_manifest && json::optInt32(*m_manifest, "structureVersion"_L1) == m_structureVersion;

    const ShowPhase previous = m_phase;
    const auto offline = offlinePosition();
    const auto offlineKey = m_offlineScoreKey;
    const auto offlineFingerprint = m_offlineOccurrenceFingerprint;
    clearOfflinePosition();
    clearPeekPosition();

    if (const auto state = json::optObject(message, "state"_L1)) {
        m_navIndex = json::int32Or(*state, "pageIndex"_L1, -1);
        m_navScoreIndex = json::optInt32(*state, "scoreIndex"_L1);
        m_navScoreKey = json::optString(*state, "scoreKey"_L1);
        update(m_blackout, json::boolOr(*state, "blackout"_L1, false), &ShowModel::blackoutChanged);
        updatePresence(json::optInt32(*state, "followers"_L1), {});
    }

    if (!partSelected()) {
        if (!m_turnsPagesLocally) {
            clearManualPosition();
        } else if (previous.is(ShowPhase::Offline) && offline) {
            m_manualIndex = offline->page;
            m_manualScoreIndex = offline->item;
            m_manualScoreKey = offlineKey;
            m_manualOccurrenceFingerprint = offlineFingerprint;
        } else if (!m_manualIndex && m_navIndex >= 0) {
            seedManualPositionFromHost();
        }
    }

    ink.clearAll();
    syncInkGeneration();
    if (m_joined)
        setPhase(ShowPhase::live());
    if (previous.is(ShowPhase::Offline)) {
        m_retryAfter.clear();
        setToast(m_turnsPagesLocally ? u"back online — turning independently"_s
                                     : u"back with the band — following the Host"_s);
    }

    refetchManifest();
    if (manifestIsCurrent) {
        refreshStage();
    } else if (canProvisionallyDisplay(m_navScoreIndex, m_navScoreKey, m_navIndex)) {
        m_provisionalScoreIndex = m_navScoreIndex;
        refreshStage();
    }
}

void ShowModel::handleNav(const QJsonObject &message)
{
    const auto version = json::optInt32(message, "structureVersion"_L1);
    if (version && *version < m_structureVersion)
        return;
    const double t = json::numberOr(message, "t"_L1, 0);
    if (!(t > m_lastNavT))
        return;
    m_lastNavT = t;
    if (const auto page = json::optInt32(message, "pageIndex"_L1))
        m_navIndex = *page;
    const bool namesItem = message.contains("scoreIndex"_L1);
    if (namesItem) {
        m_navScoreIndex = json::optInt32(message, "scoreIndex"_L1);
        m_navScoreKey = json::optString(message, "scoreKey"_L1);
    }

    reconcileSongPartContext(false);
    if (version && *version > m_structureVersion) {
        m_structureVersion = *version;
        refreshPartPrefetchPlan();
        refetchManifest();
    }
    if (m_manifest
        && json::optInt32(*m_manifest, "structureVersion"_L1) == version.value_or(m_structureVersion)) {
        m_provisionalScoreIndex.reset();
        refreshStage();
    } else if (namesItem && m_navScoreKey
        && canProvisionallyDisplay(m_navScoreIndex, m_navScoreKey, m_navIndex)) {
        m_provisionalScoreIndex = m_navScoreIndex;
        refreshStage();
    } else {
        update(m_activePageKey, hostActivePageKey(m_stagePages).value_or(QString()),
            &ShowModel::activePageKeyChanged);
    }
}

void ShowModel::handleStructure(const QJsonObject &message)
{
    const int version = json::int32Or(message, "structureVersion"_L1, 0);
    if (version <= m_structureVersion)
        return;
    m_structureVersion = version;
    refreshPartPrefetchPlan();
    refetchManifest();
}

void ShowModel::handleMarks(const QJsonObject &message)
{
    if (!m_manifest || !m_manifest->value("score"_L1).isObject()
        || json::optInt32(message, "structureVersion"_L1) != m_structureVersion) {
        refetchManifest();
        return;
    }
    const QJsonArray entries = json::arrayOr(message, "pages"_L1);
    auto patch = [&entries](QJsonObject owner) {
        QJsonArray pages = json::arrayOr(owner, "pages"_L1);
        for (const QJsonValue &entryValue : entries) {
            const QJsonObject entry = entryValue.toObject();
            const auto index = json::optInt(entry, "index"_L1);
            if (!index)
                continue;
            for (qsizetype i = 0; i < pages.size(); ++i) {
                QJsonObject page = pages.at(i).toObject();
                if (json::optInt(page, "index"_L1) != index)
                    continue;
                if (entry.contains("marksVersion"_L1))
                    page.insert("marksVersion"_L1, entry.value("marksVersion"_L1));
                else
                    page.remove("marksVersion"_L1);
                pages.replace(i, page);
            }
        }
        owner.insert("pages"_L1, pages);
        return owner;
    };
    const QJsonObject score = openScore();
    m_manifest->insert("score"_L1, patch(score));
    // The stage draws set-list items from their own page lists: the open score's items need the marks too.
    QJsonObject show = json::objectOr(*m_manifest, "show"_L1);
    QJsonArray items = json::arrayOr(show, "items"_L1);
    const auto scoreKey = ShowIdentity::scoreKey(score);
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (scoreKey && ShowIdentity::scoreKey(items.at(i).toObject()) == scoreKey)
            items.replace(i, patch(items.at(i).toObject()));
    }
    if (!items.isEmpty()) {
        show.insert("items"_L1, items);
        m_manifest->insert("show"_L1, show);
    }
    refreshStage();
}

void ShowModel::handleInk(const QJsonObject &message)
{
    // A part rendition is another engraving: the Host's ink on the master would land in the wrong place.
    if (partSelected())
        return;
    ink.handle(message, m_scheduler.now());
    ink.expireStaleEnded(m_scheduler.now());
    syncInkGeneration();
}

void ShowModel::syncInkGeneration()
{
    update(m_inkGeneration, ink.generation(), &ShowModel::inkGenerationChanged);
}

void ShowModel::updatePresence(std::optional<int> count, const QStringList &names)
{
    if (!count)
        return;
    QString text = *count == 1 ? u"1 player"_s : QString::number(*count) + u" players"_s;
    if (!names.isEmpty())
        text += u" · "_s + names.join(u" · "_s);
    update(m_presenceText, text, &ShowModel::presenceTextChanged);
}

void ShowModel::refetchManifest()
{
    if (!requestManifest)
        return;
    if (m_manifestInFlight) {
        m_manifestQueued = true;
        return;
    }
    m_manifestInFlight = true;
    requestManifest([self = QPointer(this), session = m_manifestSession](std::optional<QJsonObject> answer) {
        if (self && self->m_manifestSession == session)
            self->acceptManifestAnswer(answer);
    });
}

void ShowModel::acceptManifestAnswer(const std::optional<QJsonObject> &answer)
{
    m_manifestInFlight = false;
    const auto version = answer ? json::optInt32(*answer, "structureVersion"_L1) : std::nullopt;
    const auto violation = answer ? ManifestLimits::showViolation(*answer) : std::nullopt;
    if (!answer) {
        qCDebug(lcShow, "No manifest came back; asking again");
        m_manifestQueued = true;
    } else if (violation) {
        // Not asked for again at once: the Host would send the same. A change of structure asks again.
        qCWarning(lcShow, "Refused the Host's manifest: %s", qPrintable(*violation));
    } else if (!version || *version < m_structureVersion) {
        if (version) {
            qCInfo(lcShow, "Refused a manifest of structure version %d, older than %d; asking again",
                *version, m_structureVersion);
        } else {
            qCWarning(lcShow, "Refused a manifest without a structure version; asking again");
        }
        m_manifestQueued = true;
    } else {
        const auto oldScoreToken = m_lastScoreToken;
        m_manifest = *answer;
        m_provisionalScoreIndex.reset();
        m_structureVersion = *version;
        const QJsonObject score = openScore();
        m_lastScoreToken = json::optInt(score, "scoreToken"_L1);

        const QJsonArray items = setlistItems();
        if (!m_practiceMode) {
            const auto state = json::optObject(*m_manifest, "state"_L1);
            if (state) {
                if (const auto page = json::optInt32(*state, "pageIndex"_L1))
                    m_navIndex = *page;
            }
            if (state && state->contains("scoreIndex"_L1)) {
                m_navScoreIndex = json::optInt32(*state, "scoreIndex"_L1);
                m_navScoreKey = json::optString(*state, "scoreKey"_L1);
            } else {
                m_navScoreIndex.reset();
                m_navScoreKey.reset();
            }
        } else if (!m_practiceScoreIndex) {
            const auto current
                = json::optInt32(json::objectOr(*m_manifest, "show"_L1), "currentScoreIndex"_L1);
            if (m_manualScoreIndex)
                m_practiceScoreIndex = m_manualScoreIndex;
            else if (m_navScoreIndex)
                m_practiceScoreIndex = m_navScoreIndex;
            else if (current && *current >= 0 && *current < items.size())
                m_practiceScoreIndex = current;
        }

        const bool parts = partsCapability(*m_manifest);
        const auto catalog = parts ? PlayerInstrumentCatalog::parse(m_manifest->value("instrumentCatalog"_L1))
                                   : std::nullopt;
        const PlayerInstrumentCatalog effective = catalog.value_or(PlayerInstrumentCatalog::builtIn());
        if (m_instrumentCatalog != effective) {
            m_instrumentCatalog = effective;
            Q_EMIT instrumentCatalogChanged();
        }
        reconcileSongPartContext(false);
        refreshPartPrefetchPlan();
        reconcileManualPosition();
        if (oldScoreToken && m_lastScoreToken != oldScoreToken && m_phase.is(ShowPhase::Peek)) {
            const auto title = json::nonEmptyString(score, "title"_L1);
            returnToLive(title ? u"next: "_s + *title : QString());
        }
        updateBookline();
        refreshStage();
        refreshHostPositionText();
        if (acceptedManifestDidChange)
            acceptedManifestDidChange(*m_manifest);
    }
    if (m_manifestQueued) {
        qCDebug(lcShow, "Asking the Host for the manifest again");
        m_manifestQueued = false;
        // Posted rather than called, so a source that answers synchronously cannot recurse without end. A
        // request that got no answer at all (no link) waits a moment: asked at once, it would spin while
        // offline.
        const auto again = [self = QPointer(this)] {
            if (self)
                self->refetchManifest();
        };
        if (answer)
            m_scheduler.post(again);
        else
            m_scheduler.postAfter(manifestRetryDelay, again);
    }
}

void ShowModel::updateBookline()
{
    QString text;
    if (!m_manifest) {
        text = u"finding the host…"_s;
    } else if (!m_manifest->value("score"_L1).isObject()) {
        text = u"the host has no score open yet"_s;
    } else {
        const QJsonObject score = openScore();
        text = json::nonEmptyString(score, "title"_L1).value_or(u"the score"_s);
        const qint64 pageCount = json::intOr(score, "pageCount"_L1, 0);
        if (pageCount >= 1)
            text += u" · "_s + QString::number(pageCount) + u" pages"_s;
        const qsizetype itemCount = setlistItems().size();
        if (itemCount >= 2)
            text = QString::number(itemCount) + u" charts · "_s + text;
        text = u"the book: "_s + text;
    }
    update(m_bookline, text, &ShowModel::booklineChanged);
}

void ShowModel::didJoin()
{
    m_joined = true;
    update(m_practiceMode, false, &ShowModel::practiceModeChanged);
    update(m_ephemeralShow, false, &ShowModel::ephemeralShowChanged);
    m_practiceScoreIndex.reset();
    m_practiceTransitionDirection = 0;
    clearManualPosition();
    readinessTracker.acknowledgedScopes.clear();
    resetPartSession(false);
}

void ShowModel::beginPractice()
{
    m_userTurnsPagesLocally = m_masterTurnsPagesLocally;
    update(m_practiceMode, true, &ShowModel::practiceModeChanged);
    m_masterTurnsPagesLocally = true;
    update(m_turnsPagesLocally, true, &ShowModel::turnsPagesLocallyChanged);
    update(m_presenceText, practicePresenceText, &ShowModel::presenceTextChanged);
}

void ShowModel::leaveShow()
{
    stopPeekTimer();
    m_joined = false;
    ++m_manifestSession;
    m_manifestInFlight = false;
    m_manifestQueued = false;
    m_practiceScoreIndex.reset();
    m_practiceTransitionDirection = 0;
    m_manifest.reset();
    m_structureVersion = 0;
    m_lastNavT = -1.0;
    m_navIndex = -1;
    m_navScoreIndex.reset();
    m_navScoreKey.reset();
    m_provisionalScoreIndex.reset();
    clearManualPosition();
    clearPeekPosition();
    clearOfflinePosition();
    m_lastScoreToken.reset();
    if (m_practiceMode) {
        // Practice forces local turning; the next live show follows the player's own choice again.
        m_masterTurnsPagesLocally = m_userTurnsPagesLocally;
    }
    update(m_practiceMode, false, &ShowModel::practiceModeChanged);
    setPhase(ShowPhase::lobby());
    clearStage();
    update(m_presenceText, QString(), &ShowModel::presenceTextChanged);
    setToast(QString());
    update(m_blackout, false, &ShowModel::blackoutChanged);
    ink.clearAll();
    syncInkGeneration();
    resetPartSession(true);
    updateBookline();
}

void ShowModel::connectionState(bool connected, const std::optional<QString> &endedReason)
{
    if (m_practiceMode)
        return;
    if (endedReason) {
        setPhase(ShowPhase::ended(*endedReason));
        return;
    }
    if (connected)
        return;
    if (!m_joined)
        setPhase(ShowPhase::lobby());
    else if (m_phase.is(ShowPhase::Live) || m_phase.is(ShowPhase::Peek))
        enterOffline();
    else if (!m_phase.is(ShowPhase::Offline))
        setPhase(ShowPhase::connecting());
}

void ShowModel::enterOffline()
{
    const int page = displayedIndex();
    const auto item = displayedScoreIndex();
    stopPeekTimer();
    clearOfflinePosition();
    if (page >= 0) {
        m_offlineIndex = page;
        m_offlineScoreIndex = item;
        m_offlineScoreKey = itemScoreKey(item);
        m_offlineOccurrenceFingerprint = itemFingerprint(item);
    }
    setPhase(ShowPhase::offline());
    setToast(u"connection lost — cached pages remain. swipe or tap the edges while Player reconnects."_s);
}

QString ShowModel::pageLabel(int pageIndex)
{
    return u"p."_s + QString::number(qint64(pageIndex) + 1);
}

void ShowModel::refreshHostPositionText()
{
    update(m_hostPositionText, hostPositionText(), &ShowModel::hostPositionTextChanged);
}

QString ShowModel::liveChipText() const
{
    QString text = m_navIndex < 0 ? u"LIVE —"_s : u"LIVE "_s + pageLabel(m_navIndex);
    if (m_blackout)
        text += u" · blackout"_s;
    return text;
}

QString ShowModel::hostPositionText() const
{
    if (m_practiceMode) {
        const int page = displayedIndex();
        return page < 0 ? u"PRACTICE waiting…"_s : u"PRACTICE "_s + pageLabel(page);
    }
    QString text = m_navIndex < 0 ? u"HOST waiting…"_s : u"HOST "_s + pageLabel(m_navIndex);
    if (m_blackout)
        text += u" · blackout"_s;
    return text;
}

qint64 ShowModel::standStatusHostScoreToken() const
{
    const QJsonArray items = setlistItems();
    if (m_navScoreIndex && *m_navScoreIndex >= 0 && *m_navScoreIndex < items.size()) {
        if (const auto token = json::optInt(items.at(*m_navScoreIndex).toObject(), "scoreToken"_L1))
            return *token;
    }
    return json::optInt(openScore(), "scoreToken"_L1).value_or(-1);
}

std::optional<int> ShowModel::alignedCurrentSetlistIndex() const
{
    const auto scoreKey = ShowIdentity::scoreKey(openScore());
    if (!scoreKey || !m_manifest)
        return std::nullopt;
    const QJsonArray items = setlistItems();
    QList<int> candidates;
    if (const auto current = json::optInt32(json::objectOr(*m_manifest, "show"_L1), "currentScoreIndex"_L1))
        candidates.append(*current);
    if (m_navScoreKey && itemInRange(m_navScoreIndex) && itemScoreKey(m_navScoreIndex) == m_navScoreKey
        && !candidates.contains(*m_navScoreIndex)) {
        candidates.append(*m_navScoreIndex);
    }
    for (int candidate : candidates) {
        if (itemInRange(candidate) && itemScoreKey(candidate) == scoreKey)
            return candidate;
    }
    return std::nullopt;
}

std::optional<int> ShowModel::displayedScoreIndex() const
{
    if (partSelected()) {
        if (m_practiceMode)
            return m_practiceScoreIndex;
        if (itemInRange(m_navScoreIndex))
            return m_navScoreIndex;
        return alignedCurrentSetlistIndex();
    }
    if (m_phase.is(ShowPhase::Offline))
        return m_offlineScoreIndex;
    if (m_turnsPagesLocally && m_manualScoreIndex)
        return m_manualScoreIndex;
    if (m_phase.is(ShowPhase::Peek))
        return m_peekScoreIndex;
    if (!m_manifest || !m_manifest->value("score"_L1).isObject())
        return std::nullopt;
    if (m_provisionalScoreIndex)
        return m_provisionalScoreIndex;
    return alignedCurrentSetlistIndex();
}

void ShowModel::armReconciler()
{
    m_reconciler = m_scheduler.postAfter(reconcileInterval, [this] {
        reconcile();
        armReconciler();
    });
}

void ShowModel::reconcile()
{
    ink.expireStaleEnded(m_scheduler.now());
    syncInkGeneration();
    rebuildStagePages();
    const auto expected = expectedShownKey();
    if (!expected || *expected == m_shownKey) {
        m_reconcilerKey.clear();
        m_reconcilerTries = 0;
        return;
    }
    if (*expected != m_reconcilerKey) {
        m_reconcilerKey = *expected;
        m_reconcilerTries = 0;
        showDisplayedPage();
        return;
    }
    // A page that keeps failing is retried less and less often.
    ++m_reconcilerTries;
    if (m_reconcilerTries < 5 || m_reconcilerTries % 5 == 0)
        showDisplayedPage();
}

void ShowModel::refreshStage()
{
    showDisplayedPage();
    schedulePump();
}

} // namespace pgw
