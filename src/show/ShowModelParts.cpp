// SPDX-License-Identifier: GPL-3.0-or-later
// Parts: which rendition of the current song the musician sees, fetching it, and prefetching the
// renditions of the songs to come.
#include "show/ShowModel.h"

#include "show/ManifestLimits.h"
#include "support/Json.h"
#include "support/Logging.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

PartRenditionKey keyOf(const PlayerPartOption &option)
{
    return {option.optionID, option.ref};
}

} // namespace

bool ShowModel::partsCapability(const QJsonObject &manifest)
{
    const QJsonValue capabilities = manifest.value("capabilities"_L1);
    if (capabilities.isObject()) {
        const QJsonValue parts = capabilities.toObject().value("parts"_L1);
        return !parts.isUndefined() && !parts.isNull() && parts != QJsonValue(false);
    }
    return capabilities.isArray() && capabilities.toArray().contains(u"parts"_s);
}

std::optional<QJsonObject> ShowModel::normalizedRendition(
    const QJsonObject &descriptor, const PlayerPartOption &option)
{
    if (!json::optInt(descriptor, "scoreToken"_L1) || !json::nonEmptyString(descriptor, "scoreKey"_L1)
        || json::intOr(descriptor, "pageCount"_L1, 0) < 1 || json::arrayOr(descriptor, "pages"_L1).isEmpty())
        return std::nullopt;
    if (const auto violation = ManifestLimits::renditionViolation(descriptor)) {
        qCWarning(lcShow, "Refused the Host's part rendition: %s", qPrintable(*violation));
        return std::nullopt;
    }
    QJsonObject rendition = descriptor;
    rendition.insert("optionID"_L1, option.optionID);
    return rendition;
}

std::optional<int> ShowModel::partContextItem() const
{
    if (m_practiceMode)
        return itemInRange(m_practiceScoreIndex) ? m_practiceScoreIndex : std::nullopt;
    if (itemInRange(m_navScoreIndex) && m_navScoreKey && itemScoreKey(m_navScoreIndex) == m_navScoreKey)
        return m_navScoreIndex;
    if (m_manifest) {
        const auto current = json::optInt32(json::objectOr(*m_manifest, "show"_L1), "currentScoreIndex"_L1);
        if (itemInRange(current))
            return current;
    }
    return alignedCurrentSetlistIndex();
}

std::optional<SongPartContext> ShowModel::hostPartContext() const
{
    if (!m_manifest)
        return std::nullopt;
    const auto item = partContextItem();
    const QJsonObject itemObject = item ? setlistItems().at(*item).toObject() : QJsonObject();
    const QJsonObject score = openScore();

    std::optional<QString> songKey = json::nonEmptyString(itemObject, "songKey"_L1);
    if (!songKey)
        songKey = json::nonEmptyString(score, "songKey"_L1);
    if (!songKey && item)
        songKey = itemScoreKey(item);
    if (!songKey)
        songKey = ShowIdentity::scoreKey(score);
    if (!songKey)
        return std::nullopt;

    SongPartContext context;
    context.songKey = *songKey;
    context.occurrenceKey
        = json::nonEmptyString(itemObject, "occurrenceKey"_L1)
              .value_or(json::nonEmptyString(score, "occurrenceKey"_L1)
                            .value_or(*songKey + u"|item:"_s + QString::number(item.value_or(-1))));
    context.title = json::nonEmptyString(itemObject, "title"_L1)
                        .value_or(json::nonEmptyString(score, "title"_L1).value_or(u"this song"_s));
    if (partsCapability(*m_manifest)) {
        const QJsonValue options = itemObject.contains("partOptions"_L1) ? itemObject.value("partOptions"_L1)
                                                                         : score.value("partOptions"_L1);
        context.options = PlayerPartOption::parse(options);
    }
    return context;
}

QList<int> ShowModel::masterPagesForSong() const
{
    const auto item = partContextItem();
    if (item)
        return configuredPageIndices(setlistItems().at(*item).toObject());
    return sortedPageIndices(openScore());
}

QList<int> ShowModel::partPageIndices() const
{
    return m_alternateRendition ? sortedPageIndices(*m_alternateRendition) : masterPagesForSong();
}

std::optional<QString> ShowModel::savedChoiceFor(const QString &songKey) const
{
    return savedPartChoice ? savedPartChoice(songKey) : std::nullopt;
}

void ShowModel::reconcileSongPartContext(bool forceResolution)
{
    const auto context = hostPartContext();
    if (!context) {
        removePartChooser();
        if (m_partSelectionActive)
            clearPartPlayback();
        update(m_availablePartOptions, QList<PlayerPartOption>(), &ShowModel::availablePartOptionsChanged);
        m_songPartContext.reset();
        return;
    }
    if (context == m_songPartContext && !forceResolution)
        return;
    m_songPartContext = context;
    update(m_availablePartOptions, context->options, &ShowModel::availablePartOptionsChanged);
    const auto resolution
        = PlayerPartResolver::resolve(context->options, m_myInstrumentIDs, savedChoiceFor(context->songKey));
    if (const auto *automatic = std::get_if<PlayerPartResolution::Automatic>(&resolution)) {
        beginPart(automatic->option);
    } else {
        if (m_partSelectionActive)
            clearPartPlayback();
        if (std::holds_alternative<PlayerPartResolution::Choose>(resolution))
            showPartChooser(*context);
        else
            removePartChooser();
    }
    refreshPartPrefetchPlan();
}

void ShowModel::openPartChooser()
{
    if (m_songPartContext && !m_songPartContext->options.isEmpty())
        showPartChooser(*m_songPartContext);
}

void ShowModel::showPartChooser(const SongPartContext &context)
{
    PlayerPartChooser chooser {context.songKey, context.occurrenceKey, context.title, context.options, {},
        m_selectedPartOption ? m_selectedPartOption->optionID : PlayerPartResolver::masterChoice};
    for (const PlayerPartOption &option : PlayerPartResolver::matching(context.options, m_myInstrumentIDs))
        chooser.matchingOptionIDs.insert(option.optionID);
    update(m_partChooser, std::optional(chooser), &ShowModel::partChooserChanged);
}

void ShowModel::removePartChooser()
{
    update(m_partChooser, std::optional<PlayerPartChooser>(), &ShowModel::partChooserChanged);
}

void ShowModel::selectPart(const QString &optionID)
{
    if (!m_songPartContext)
        return;
    const SongPartContext context = *m_songPartContext;
    if (optionID == PlayerPartResolver::masterChoice) {
        if (persistPartChoice)
            persistPartChoice(PlayerPartResolver::masterChoice, context.songKey);
        if (m_partSelectionActive)
            clearPartPlayback();
        removePartChooser();
        refreshPartPrefetchPlan();
        refreshStage();
        return;
    }
    const auto option = std::find_if(context.options.begin(), context.options.end(),
        [&](const PlayerPartOption &o) { return o.optionID == optionID; });
    if (option == context.options.end())
        return;
    const bool matches = PlayerPartResolver::matching(context.options, m_myInstrumentIDs).contains(*option);
    if (persistPartChoice)
        persistPartChoice(matches ? optionID : PlayerPartResolver::allPrefix + optionID, context.songKey);
    beginPart(*option);
    refreshPartPrefetchPlan();
}

void ShowModel::beginPart(const PlayerPartOption &option)
{
    ++m_partRequestGeneration;
    m_selectedPartOption = option;
    update(m_partSelectionActive, true, &ShowModel::partSelectionActiveChanged);
    m_alternateRendition.reset();
    update(m_usingAlternatePart, false, &ShowModel::usingAlternatePartChanged);
    update(m_selectedPartLabel, option.label, &ShowModel::selectedPartLabelChanged);
    removePartChooser();

    const QList<int> pages = masterPagesForSong();
    m_partLocalIndex = pages.isEmpty()
        ? std::nullopt
        : std::optional(m_practiceTransitionDirection < 0 ? pages.last() : pages.first());
    update(m_turnsPagesLocally, true, &ShowModel::turnsPagesLocallyChanged);
    ink.clearAll();
    syncInkGeneration();
    update(m_marksPNG, QByteArray(), &ShowModel::marksPNGChanged);
    m_shownKey.clear();
    refreshStage();

    const auto cached = m_renditionCache.constFind(keyOf(option));
    if (cached != m_renditionCache.constEnd())
        settlePartRequest(*cached, option, m_partRequestGeneration);
    else if (requestRenditionManifest)
        enqueueRenditionRequest(option, true, true);
    else
        settlePartRequest(std::nullopt, option, m_partRequestGeneration);
}

void ShowModel::settlePartRequest(
    const std::optional<QJsonObject> &rendition, const PlayerPartOption &option, int generation)
{
    if (generation != m_partRequestGeneration)
        return;
    const bool backward = m_practiceTransitionDirection < 0;
    if (rendition) {
        m_alternateRendition = rendition;
        update(m_usingAlternatePart, true, &ShowModel::usingAlternatePartChanged);
    } else {
        update(m_usingAlternatePart, false, &ShowModel::usingAlternatePartChanged);
        update(m_selectedPartLabel, u"Master"_s, &ShowModel::selectedPartLabelChanged);
        setToast(option.label + u" unavailable — using local Master"_s);
    }
    const QList<int> pages = partPageIndices();
    m_partLocalIndex
        = pages.isEmpty() ? std::nullopt : std::optional(backward ? pages.last() : pages.first());
    m_practiceTransitionDirection = 0;
    m_shownKey.clear();
    update(m_stagePages, StagePageList(), &ShowModel::stagePagesChanged);
    update(m_bankPages, StagePageList(), &ShowModel::bankPagesChanged);
    update(m_marksPNG, QByteArray(), &ShowModel::marksPNGChanged);
    refreshStage();
}

void ShowModel::clearPartPlayback()
{
    update(m_selectedPartLabel, u"Master"_s, &ShowModel::selectedPartLabelChanged);
    update(m_usingAlternatePart, false, &ShowModel::usingAlternatePartChanged);
    update(m_partSelectionActive, false, &ShowModel::partSelectionActiveChanged);
    m_selectedPartOption.reset();
    m_alternateRendition.reset();
    m_partLocalIndex.reset();
    if (m_masterTurnsPagesLocally && !m_manualIndex && m_joined)
        seedManualPositionFromHost();
    update(m_turnsPagesLocally, m_masterTurnsPagesLocally, &ShowModel::turnsPagesLocallyChanged);
    ink.clearAll();
    syncInkGeneration();
    update(m_marksPNG, QByteArray(), &ShowModel::marksPNGChanged);
}

void ShowModel::enqueueRenditionRequest(
    const PlayerPartOption &option, bool foreground, bool kick, std::optional<int> prefetchGeneration)
{
    const PartRenditionKey key = keyOf(option);
    if (m_renditionCache.contains(key) || (m_renditionInFlight && m_renditionInFlight->request.key == key))
        return;
    const auto queued = std::find_if(m_renditionQueue.begin(), m_renditionQueue.end(),
        [&](const PartRenditionRequest &r) { return r.key == key; });
    if (queued != m_renditionQueue.end()) {
        if (!foreground && queued->prefetchGeneration && prefetchGeneration) {
            // Still wanted by the new plan: keep its place but do not let the old plan's tag drop it.
            queued->prefetchGeneration = prefetchGeneration;
        } else if (foreground) {
            PartRenditionRequest request = *queued;
            // Someone is waiting for it now: it must not be dropped with a stale prefetch plan.
            request.prefetchGeneration.reset();
            m_renditionQueue.erase(queued);
            m_renditionQueue.prepend(request);
        }
    } else {
        PartRenditionRequest request {
            key, option, m_renditionSessionGeneration, foreground ? std::nullopt : prefetchGeneration};
        if (foreground)
            m_renditionQueue.prepend(request);
        else
            m_renditionQueue.append(request);
    }
    if (kick)
        kickRenditionQueue();
}

void ShowModel::kickRenditionQueue()
{
    if (m_renditionInFlight || !requestRenditionManifest)
        return;
    while (!m_renditionQueue.isEmpty()) {
        const PartRenditionRequest request = m_renditionQueue.takeFirst();
        if (request.sessionGeneration != m_renditionSessionGeneration)
            continue;
        if (request.prefetchGeneration
            && (*request.prefetchGeneration != m_partPrefetchPlanGeneration
                || !m_desiredPartPrefetchOptions.contains(request.key)))
            continue;
        const int serial = ++m_renditionRequestSerial;
        m_renditionInFlight = PartRenditionInFlight {serial, request};
        requestRenditionManifest(
            request.key.ref, [self = QPointer(this), serial](std::optional<QJsonObject> answer) {
                if (self)
                    self->finishRenditionRequest(serial, answer);
            });
        return;
    }
}

void ShowModel::finishRenditionRequest(int serial, const std::optional<QJsonObject> &descriptor)
{
    if (!m_renditionInFlight || m_renditionInFlight->serial != serial)
        return;
    const PartRenditionRequest request = m_renditionInFlight->request;
    m_renditionInFlight.reset();
    const auto rendition = descriptor ? normalizedRendition(*descriptor, request.option) : std::nullopt;
    if (!descriptor)
        qCInfo(lcShow, "No rendition came back for part %s", qUtf8Printable(request.key.ref));
    else if (!rendition)
        qCWarning(lcShow, "Refused rendition %s: no score token, score key or pages",
            qUtf8Printable(request.key.ref));
    if (rendition) {
        m_renditionCache.insert(request.key, *rendition);
        if (acceptedRenditionDidChange)
            acceptedRenditionDidChange(request.key.ref, *descriptor);
    }
    if (m_selectedPartOption && keyOf(*m_selectedPartOption) == request.key)
        settlePartRequest(rendition, request.option, m_partRequestGeneration);
    schedulePump();
    enqueueMissingPartPrefetchRequests();
    kickRenditionQueue();
}

void ShowModel::refreshPartPrefetchPlan()
{
    ++m_partPrefetchPlanGeneration;
    m_desiredPartPrefetchOptions.clear();
    m_partPrefetchOrder.clear();
    m_partPrefetchAttemptedKeys.clear();
    const QJsonArray items = setlistItems();
    if (m_manifest && partsCapability(*m_manifest) && !items.isEmpty()) {
        const auto current = partContextItem();
        for (int item = current ? *current + 1 : 0; item < items.size(); ++item) {
            const QJsonObject itemObject = items.at(item).toObject();
            const auto songKey = json::nonEmptyString(itemObject, "songKey"_L1)
                                     .value_or(itemScoreKey(item).value_or(QString()));
            const QList<PlayerPartOption> options
                = PlayerPartOption::parse(itemObject.value("partOptions"_L1));
            if (options.isEmpty() || songKey.isEmpty())
                continue;
            const auto resolution
                = PlayerPartResolver::resolve(options, m_myInstrumentIDs, savedChoiceFor(songKey));
            if (const auto *automatic = std::get_if<PlayerPartResolution::Automatic>(&resolution)) {
                const PartRenditionKey key = keyOf(automatic->option);
                if (!m_desiredPartPrefetchOptions.contains(key)) {
                    m_desiredPartPrefetchOptions.insert(key, automatic->option);
                    m_partPrefetchOrder.append(key);
                }
            }
        }
    }
    const std::optional<PartRenditionKey> selected
        = m_selectedPartOption ? std::optional(keyOf(*m_selectedPartOption)) : std::nullopt;
    m_renditionCache.removeIf([&](const auto &entry) {
        return !m_desiredPartPrefetchOptions.contains(entry.key()) && entry.key() != selected;
    });
    enqueueMissingPartPrefetchRequests();
    kickRenditionQueue();
    schedulePump();
}

void ShowModel::enqueueMissingPartPrefetchRequests()
{
    for (const PartRenditionKey &key : std::as_const(m_partPrefetchOrder)) {
        const auto queued = std::find_if(m_renditionQueue.begin(), m_renditionQueue.end(),
            [&](const PartRenditionRequest &r) { return r.key == key; });
        // A prefetch queued under an older plan is still wanted: retag it, or the queue would drop it.
        if (queued != m_renditionQueue.end() && queued->prefetchGeneration)
            queued->prefetchGeneration = m_partPrefetchPlanGeneration;
        if (m_partPrefetchAttemptedKeys.contains(key) || m_renditionCache.contains(key)
            || queued != m_renditionQueue.end()
            || (m_renditionInFlight && m_renditionInFlight->request.key == key))
            continue;
        m_partPrefetchAttemptedKeys.insert(key);
        enqueueRenditionRequest(
            m_desiredPartPrefetchOptions.value(key), false, false, m_partPrefetchPlanGeneration);
    }
}

QSet<QString> ShowModel::expectedPracticeRenditionRefs() const
{
    QSet<QString> refs;
    if (m_selectedPartOption)
        refs.insert(m_selectedPartOption->ref);
    for (const PartRenditionKey &key : m_desiredPartPrefetchOptions.keys())
        refs.insert(key.ref);
    return refs;
}

void ShowModel::setMyInstrumentIDs(const QSet<QString> &ids)
{
    QSet<QString> cleaned;
    for (const QString &id : ids) {
        if (!id.trimmed().isEmpty())
            cleaned.insert(id.trimmed());
    }
    if (cleaned == m_myInstrumentIDs)
        return;
    m_myInstrumentIDs = cleaned;
    reconcileSongPartContext(true);
}

bool ShowModel::transitionPracticePartBoundary(int direction)
{
    if (!m_practiceMode || !partSelected() || !m_practiceScoreIndex)
        return false;
    const int next = *m_practiceScoreIndex + direction;
    if (!itemInRange(next))
        return false;
    const QList<int> pages = configuredPageIndices(setlistItems().at(next).toObject());
    if (pages.isEmpty())
        return false;
    setManualPosition(LocalPosition {direction > 0 ? pages.first() : pages.last(), next});
    m_practiceTransitionDirection = direction;
    m_practiceScoreIndex = next;
    reconcileSongPartContext(true);
    if (!partSelected())
        m_practiceTransitionDirection = 0;
    return true;
}

void ShowModel::resetPartSession(bool clearCatalog)
{
    ++m_partRequestGeneration;
    ++m_renditionSessionGeneration;
    ++m_partPrefetchPlanGeneration;
    m_songPartContext.reset();
    m_selectedPartOption.reset();
    m_alternateRendition.reset();
    m_partLocalIndex.reset();
    m_desiredPartPrefetchOptions.clear();
    m_partPrefetchOrder.clear();
    m_partPrefetchAttemptedKeys.clear();
    m_renditionQueue.clear();
    m_renditionCache.clear();
    // An answer still on its way belongs to the old session and must not fill the new cache.
    m_renditionInFlight.reset();
    removePartChooser();
    update(m_selectedPartLabel, u"Master"_s, &ShowModel::selectedPartLabelChanged);
    update(m_usingAlternatePart, false, &ShowModel::usingAlternatePartChanged);
    update(m_partSelectionActive, false, &ShowModel::partSelectionActiveChanged);
    update(m_availablePartOptions, QList<PlayerPartOption>(), &ShowModel::availablePartOptionsChanged);
    if (clearCatalog && m_instrumentCatalog) {
        m_instrumentCatalog.reset();
        Q_EMIT instrumentCatalogChanged();
    }
    update(m_turnsPagesLocally, m_masterTurnsPagesLocally, &ShowModel::turnsPagesLocallyChanged);
}

} // namespace pgw
