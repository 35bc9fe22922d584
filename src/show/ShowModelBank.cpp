// SPDX-License-Identifier: GPL-3.0-or-later
// The pages the stage can draw: the runway after the displayed page, the bank around it, their
// images, and what the asset store should fetch next.
#include "show/ShowModel.h"

#include "support/Json.h"

#include <QPointer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

const QString baseKind = u"base.png"_s;
const QString marksKind = u"marks.png"_s;

QString loadKey(const QString &pageKey, const QString &kind, const QString &version)
{
    return pageKey + u'|' + kind + u'|' + version;
}

int positionOf(const QList<QJsonObject> &pages, int pageIndex)
{
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (json::optInt32(pages[i], "index"_L1) == pageIndex)
            return int(i);
    }
    return -1;
}

} // namespace

void ShowModel::configurePageBank(int maxLookBehind, int maxLookAhead)
{
    if (maxLookBehind == m_bankLookBehind && maxLookAhead == m_bankLookAhead)
        return;
    m_bankLookBehind = std::max(maxLookBehind, 0);
    m_bankLookAhead = std::max(maxLookAhead, 0);
    if (m_joined)
        rebuildStagePages();
}

std::optional<ShowModel::ChartSource> ShowModel::chartSource(
    const QJsonObject &owner, std::optional<int> itemIndex, bool isRendition) const
{
    const auto address = ShowIdentity::scoreAddress(owner);
    if (!address)
        return std::nullopt;
    ChartSource chart;
    chart.owner = owner;
    chart.address = *address;
    chart.itemIndex = itemIndex;
    chart.isRendition = isRendition;
    chart.occurrenceId = ShowIdentity::occurrenceId(owner, address->scoreKey, itemIndex);
    for (const QJsonValue &value : json::arrayOr(owner, "pages"_L1)) {
        const QJsonObject page = value.toObject();
        if (json::optInt32(page, "index"_L1) && json::optString(page, "baseVersion"_L1))
            chart.pages.append(page);
    }
    std::stable_sort(chart.pages.begin(), chart.pages.end(), [](const QJsonObject &a, const QJsonObject &b) {
        return json::int32Or(a, "index"_L1, 0) < json::int32Or(b, "index"_L1, 0);
    });
    if (itemIndex)
        chart.range = configuredBounds(owner);
    return chart;
}

std::optional<ShowModel::ChartSource> ShowModel::displayedChart() const
{
    if (partSelected() && m_alternateRendition)
        return chartSource(*m_alternateRendition, std::nullopt, true);
    const QJsonArray items = setlistItems();
    const auto item = displayedScoreIndex();
    if (itemInRange(item)) {
        if (auto chart = chartSource(items.at(*item).toObject(), item, false))
            return chart;
    }
    if (!m_manifest || !m_manifest->value("score"_L1).isObject())
        return std::nullopt;
    return chartSource(openScore(), std::nullopt, false);
}

StagePage ShowModel::makeStagePage(const ChartSource &chart, const QJsonObject &page, int ordinal) const
{
    StagePage stagePage;
    stagePage.scoreKey = chart.address.scoreKey;
    stagePage.annotationScoreKey = chart.address.annotationScoreKey;
    stagePage.scoreToken = chart.address.scoreToken;
    stagePage.itemIndex = chart.itemIndex;
    stagePage.pageIndex = json::int32Or(page, "index"_L1, 0);
    stagePage.baseVersion = json::stringOr(page, "baseVersion"_L1);
    stagePage.key = ShowIdentity::pageIdentity(
        chart.occurrenceId, stagePage.scoreKey, stagePage.pageIndex, stagePage.baseVersion);
    if (partSelected()) {
        const QString context = m_songPartContext ? m_songPartContext->occurrenceKey : chart.occurrenceId;
        stagePage.chartIdentity = ShowIdentity::partChartIdentity(m_selectedPartOption->optionID, context);
    } else {
        stagePage.chartIdentity = ShowIdentity::masterChartIdentity(chart.occurrenceId, stagePage.scoreKey);
    }
    stagePage.ordinal = ordinal;
    // A rendition is another engraving: the master's marks do not belong on it.
    if (!chart.isRendition)
        stagePage.marksVersion = json::optString(page, "marksVersion"_L1);
    stagePage.pixelWidth = json::numberOr(page, "pixelWidth"_L1, 0);
    stagePage.pixelHeight = json::numberOr(page, "pixelHeight"_L1, 0);
    stagePage.marksAreExact = !stagePage.marksVersion;
    return stagePage;
}

StagePageList ShowModel::runwaySkeleton(const std::optional<ChartSource> &chart) const
{
    const int displayed = displayedIndex();
    if (!chart || displayed < 0)
        return {};
    int start = positionOf(chart->pages, displayed);
    if (chart->isRendition) {
        // A rendition may number its pages differently: start at the first one not before the page.
        const auto first = std::find_if(chart->pages.begin(), chart->pages.end(),
            [displayed](const QJsonObject &p) { return json::int32Or(p, "index"_L1, 0) >= displayed; });
        start = first == chart->pages.end() ? -1 : int(first - chart->pages.begin());
    }
    if (start < 0)
        return {};
    StagePageList runway;
    for (int i = start; i < chart->pages.size() && runway.size() < runwayLength; ++i) {
        const QJsonObject &page = chart->pages[i];
        const int index = json::int32Or(page, "index"_L1, 0);
        if (i > start && chart->range && index < chart->range->start)
            continue;
        if (i > start && chart->range && index > chart->range->end)
            break;
        runway.append(makeStagePage(*chart, page, i));
    }
    if (partSelected() || !chart->itemIndex)
        return runway;
    // Keep reading into the next songs of the book.
    const QJsonArray items = setlistItems();
    for (int item = *chart->itemIndex + 1; item < items.size() && runway.size() < runwayLength; ++item) {
        const auto next = chartSource(items.at(item).toObject(), item, false);
        if (!next)
            continue;
        const QList<int> playable = configuredPageIndices(next->owner);
        for (int i = 0; i < next->pages.size() && runway.size() < runwayLength; ++i) {
            if (playable.contains(json::int32Or(next->pages[i], "index"_L1, -1)))
                runway.append(makeStagePage(*next, next->pages[i], i));
        }
    }
    return runway;
}

StagePageList ShowModel::bankSkeleton(const std::optional<ChartSource> &chart) const
{
    if (!chart)
        return {};
    QList<QJsonObject> pages = chart->pages;
    if (chart->range) {
        pages.removeIf([&](const QJsonObject &page) {
            const int index = json::int32Or(page, "index"_L1, 0);
            return index < chart->range->start || index > chart->range->end;
        });
    }
    const int position = positionOf(pages, displayedIndex());
    if (position < 0)
        return {};
    StagePageList bank;
    const int first = std::max(position - m_bankLookBehind, 0);
    const int last = int(std::min<qint64>(qint64(position) + m_bankLookAhead, pages.size() - 1));
    for (int i = first; i <= last; ++i)
        bank.append(makeStagePage(*chart, pages[i], i));
    return bank;
}

StagePage ShowModel::mergeStagePage(StagePage page) const
{
    const StagePage *known = nullptr;
    for (const StagePageList *list : {&m_stagePages, &m_bankPages}) {
        for (const StagePage &candidate : *list) {
            if (candidate.key == page.key) {
                known = &candidate;
                break;
            }
        }
        if (known)
            break;
    }
    if (!known) {
        const auto remembered = m_pageMemory.constFind(page.key);
        if (remembered != m_pageMemory.constEnd())
            known = &*remembered;
    }
    if (!known)
        return page;
    if (known->baseVersion == page.baseVersion) {
        page.basePNG = known->basePNG;
        page.baseIsExact = known->baseIsExact;
    }
    if (known->marksVersion == page.marksVersion) {
        page.marksPNG = known->marksPNG;
        page.marksAreExact = known->marksAreExact;
    }
    return page;
}

std::optional<QString> ShowModel::hostActivePageKey(const StagePageList &pages) const
{
    if (m_navIndex < 0 || !m_manifest)
        return std::nullopt;
    std::optional<int> hostItem;
    if (itemInRange(m_navScoreIndex) && m_navScoreKey && itemScoreKey(m_navScoreIndex) == m_navScoreKey)
        hostItem = m_navScoreIndex;
    else
        hostItem = alignedCurrentSetlistIndex();
    const auto hostKey = itemScoreKey(hostItem);
    for (const StagePage &page : pages) {
        if (page.scoreKey == hostKey && page.pageIndex == m_navIndex)
            return page.key;
    }
    return std::nullopt;
}

void ShowModel::rebuildStagePages()
{
    const auto chart = displayedChart();
    StagePageList runway = runwaySkeleton(chart);
    StagePageList bank = bankSkeleton(chart);
    for (StagePage &page : runway)
        page = mergeStagePage(std::move(page));
    for (StagePage &page : bank)
        page = mergeStagePage(std::move(page));
    update(m_stagePages, runway, &ShowModel::stagePagesChanged);
    update(m_bankPages, bank, &ShowModel::bankPagesChanged);
    update(m_activePageKey, hostActivePageKey(m_stagePages).value_or(QString()),
        &ShowModel::activePageKeyChanged);
    update(m_bankActivePageKey, hostActivePageKey(m_bankPages).value_or(QString()),
        &ShowModel::bankActivePageKeyChanged);
    for (const StagePageList *list : {&m_stagePages, &m_bankPages}) {
        for (const StagePage &page : *list)
            rememberStagePage(page);
    }
    loadFollowingStagePages();
}

void ShowModel::rememberStagePage(const StagePage &page)
{
    if (!page.basePNG && !page.marksPNG)
        return;
    m_pageMemory.insert(page.key, page);
    m_pageMemoryOrder.removeOne(page.key);
    m_pageMemoryOrder.append(page.key);
    while (m_pageMemoryOrder.size() > pageMemoryLimit)
        m_pageMemory.remove(m_pageMemoryOrder.takeFirst());
}

void ShowModel::loadFollowingStagePages()
{
    if (!m_assets)
        return;
    const std::optional<QString> displayedKey
        = expectedShownKey() ? std::optional(m_stagePages.first().key) : std::nullopt;
    QSet<QString> handled;
    const StagePageList pages = m_stagePages + m_bankPages;
    for (const StagePage &page : pages) {
        if (page.key == displayedKey || handled.contains(page.key))
            continue;
        handled.insert(page.key);
        QList<std::pair<QString, QString>> layers;
        if (!page.baseIsExact)
            layers.append({baseKind, page.baseVersion});
        if (page.marksVersion && !page.marksAreExact)
            layers.append({marksKind, *page.marksVersion});
        for (const auto &[kind, version] : layers) {
            const QString key = loadKey(page.key, kind, version);
            if (m_loadsInFlight.contains(key) || m_retryAfter.value(key, 0) > m_scheduler.now())
                continue;
            m_loadsInFlight.insert(key);
            // `kind` is copied by an init-capture: clang before 16 cannot capture a structured binding.
            m_assets->retrieve(page.scoreKey, page.scoreToken, page.pageIndex, kind, version,
                AssetStore::RetrievalPriority::lookAhead, offlineLoads(),
                [self = QPointer(this), key, pageKey = page.key, kind = kind](
                    const std::optional<QByteArray> &data, bool exact) {
                    if (!self || !self->m_loadsInFlight.remove(key))
                        return;
                    if (data && exact)
                        self->m_retryAfter.remove(key);
                    else
                        self->m_retryAfter.insert(key, self->m_scheduler.now() + imageRetryDelay);
                    if (data)
                        self->updateStageLayer(pageKey, kind, *data, exact);
                });
        }
    }
}

void ShowModel::updateStageLayer(
    const QString &pageKey, const QString &kind, const QByteArray &data, bool exact)
{
    for (auto [list, signal] : {std::pair {&m_stagePages, &ShowModel::stagePagesChanged},
             std::pair {&m_bankPages, &ShowModel::bankPagesChanged}}) {
        bool changed = false;
        for (StagePage &page : *list) {
            if (page.key != pageKey)
                continue;
            if (kind == baseKind) {
                page.basePNG = data;
                page.baseIsExact = exact;
            } else {
                page.marksPNG = data;
                page.marksAreExact = exact;
            }
            rememberStagePage(page);
            changed = true;
        }
        if (changed)
            Q_EMIT(this->*signal)();
    }
}

std::optional<QString> ShowModel::expectedShownKey() const
{
    if (m_stagePages.isEmpty() || m_stagePages.first().pageIndex != displayedIndex())
        return std::nullopt;
    const StagePage &page = m_stagePages.first();
    return page.key + u"|marks:"_s + page.marksVersion.value_or(u"-"_s);
}

std::optional<QString> ShowModel::displayedChartIdentity() const
{
    if (!expectedShownKey())
        return std::nullopt;
    return m_stagePages.first().chartIdentity;
}

void ShowModel::publishDisplayedIndices(const StagePage &page)
{
    update(m_displayedPage, page.pageIndex, &ShowModel::displayedPageChanged);
    update(m_displayedScoreToken, page.scoreToken, &ShowModel::displayedScoreTokenChanged);
}

void ShowModel::showDisplayedPage()
{
    rebuildStagePages();
    const auto expected = expectedShownKey();
    if (!expected)
        return;
    const StagePage page = m_stagePages.first();
    const bool marksWanted = page.marksVersion && !m_displayedMarksAreExact;
    if (m_shownKey == *expected && m_displayedPage == page.pageIndex) {
        if (marksWanted)
            retrieveDisplayedMarks(page, *expected);
        return;
    }
    if (!page.basePNG) {
        retrieveDisplayedBase(page, *expected);
        return;
    }
    update(m_marksPNG, page.marksPNG.value_or(QByteArray()), &ShowModel::marksPNGChanged);
    update(m_basePNG, *page.basePNG, &ShowModel::basePNGChanged);
    publishDisplayedIndices(page);
    m_displayedBaseIsExact = page.baseIsExact;
    m_displayedMarksAreExact = !page.marksVersion || page.marksAreExact;
    m_shownKey = page.baseIsExact ? *expected : u"stale|"_s + *expected;
    if (!page.baseIsExact)
        retrieveDisplayedBase(page, *expected);
    if (page.marksVersion && !m_displayedMarksAreExact)
        retrieveDisplayedMarks(page, *expected);
}

void ShowModel::retrieveDisplayedBase(const StagePage &page, const QString &pendingKey)
{
    if (!m_assets)
        return;
    m_assets->retrieve(page.scoreKey, page.scoreToken, page.pageIndex, baseKind, page.baseVersion,
        AssetStore::RetrievalPriority::displayed, offlineLoads(),
        [self = QPointer(this), page, pendingKey](const std::optional<QByteArray> &data, bool exact) {
            if (!self || !data || self->expectedShownKey() != pendingKey)
                return;
            const QString shown = exact ? pendingKey : u"stale|"_s + pendingKey;
            if (!exact && self->m_shownKey == shown)
                return;
            self->publishDisplayedIndices(page);
            self->update(self->m_basePNG, *data, &ShowModel::basePNGChanged);
            self->update(self->m_marksPNG, QByteArray(), &ShowModel::marksPNGChanged);
            self->m_shownKey = shown;
            self->m_displayedBaseIsExact = exact;
            self->m_displayedMarksAreExact = !page.marksVersion;
            self->updateStageLayer(page.key, baseKind, *data, exact);
            if (page.marksVersion)
                self->retrieveDisplayedMarks(page, pendingKey);
        });
}

void ShowModel::retrieveDisplayedMarks(const StagePage &page, const QString &pendingKey)
{
    if (!m_assets || !page.marksVersion)
        return;
    m_assets->retrieve(page.scoreKey, page.scoreToken, page.pageIndex, marksKind, *page.marksVersion,
        AssetStore::RetrievalPriority::displayed, offlineLoads(),
        [self = QPointer(this), page, pendingKey](const std::optional<QByteArray> &data, bool exact) {
            if (!self || !data || self->expectedShownKey() != pendingKey)
                return;
            self->update(self->m_marksPNG, *data, &ShowModel::marksPNGChanged);
            self->m_displayedMarksAreExact = exact;
            self->updateStageLayer(page.key, marksKind, *data, exact);
            // The marks image now holds what the Host drew live on this page.
            self->ink.clearEnded(page.pageIndex);
            self->syncInkGeneration();
        });
}

void ShowModel::schedulePump()
{
    if (!m_assets)
        return;
    QList<AssetStore::Want> wants;
    QSet<QString> seen;
    auto want = [&](const QString &scoreKey, qint64 token, int pageIndex, const QString &kind,
                    const QString &version) {
        AssetStore::Want w = AssetStore::Want::make(scoreKey, token, pageIndex, kind, version);
        if (!seen.contains(w.cacheFileName)) {
            seen.insert(w.cacheFileName);
            wants.append(w);
        }
    };
    auto addChart = [&](const ChartSource &chart, const QList<int> &allowed, bool withMarks) {
        for (const QJsonObject &page : chart.pages) {
            const int index = json::int32Or(page, "index"_L1, 0);
            if (!allowed.contains(index))
                continue;
            want(chart.address.scoreKey, chart.address.scoreToken, index, baseKind,
                json::stringOr(page, "baseVersion"_L1));
            if (withMarks) {
                if (const auto marks = json::optString(page, "marksVersion"_L1))
                    want(chart.address.scoreKey, chart.address.scoreToken, index, marksKind, *marks);
            }
        }
    };

    const auto chart = displayedChart();
    if (chart) {
        QList<int> indices;
        for (const QJsonObject &page : chart->pages) {
            const int index = json::int32Or(page, "index"_L1, 0);
            if (!chart->range || (index >= chart->range->start && index <= chart->range->end))
                indices.append(index);
        }
        // Nearest first; at equal distance the page after before the page before. Two int indices can be
        // further apart than an int holds.
        const qint64 centre = std::max(displayedIndex(), 0);
        std::stable_sort(indices.begin(), indices.end(), [centre](int a, int b) {
            const qint64 da = std::abs(a - centre);
            const qint64 db = std::abs(b - centre);
            return da != db ? da < db : a > b;
        });
        for (int index : std::as_const(indices)) {
            const QJsonObject &page = chart->pages[positionOf(chart->pages, index)];
            want(chart->address.scoreKey, chart->address.scoreToken, index, baseKind,
                json::stringOr(page, "baseVersion"_L1));
            if (!partSelected()) {
                if (const auto marks = json::optString(page, "marksVersion"_L1))
                    want(chart->address.scoreKey, chart->address.scoreToken, index, marksKind, *marks);
            }
        }
    }
    for (const PartRenditionKey &key : std::as_const(m_partPrefetchOrder)) {
        const auto rendition = m_renditionCache.constFind(key);
        if (rendition == m_renditionCache.constEnd())
            continue;
        if (const auto renditionChart = chartSource(*rendition, std::nullopt, true))
            addChart(*renditionChart, sortedPageIndices(*rendition), false);
    }
    const QJsonArray items = setlistItems();
    if (!partSelected() && !items.isEmpty()) {
        const int current = chart && chart->itemIndex ? *chart->itemIndex : -1;
        for (qsizetype step = 1; step <= items.size(); ++step) {
            const int item = int((current + step + items.size()) % items.size());
            if (const auto itemChart = chartSource(items.at(item).toObject(), item, false))
                addChart(*itemChart, configuredPageIndices(itemChart->owner), true);
        }
    }
    const bool changed = wants != m_currentWants;
    m_currentWants = wants;
    m_assets->pump(m_currentWants, ShowIdentity::scoreKey(openScore()));
    if (changed)
        Q_EMIT currentWantsChanged();
}

QString ShowModel::readinessCoverageScopeFingerprint() const
{
    QStringList names;
    names.reserve(m_currentWants.size());
    for (const AssetStore::Want &want : m_currentWants)
        names.append(want.cacheFileName);
    return PlayerReadinessRailPolicy::scopeFingerprint(names);
}

void ShowModel::clearStage()
{
    m_shownKey.clear();
    update(m_basePNG, QByteArray(), &ShowModel::basePNGChanged);
    update(m_marksPNG, QByteArray(), &ShowModel::marksPNGChanged);
    m_displayedBaseIsExact = false;
    m_displayedMarksAreExact = false;
    update(m_displayedPage, -1, &ShowModel::displayedPageChanged);
    update(m_displayedScoreToken, qint64(-1), &ShowModel::displayedScoreTokenChanged);
    update(m_stagePages, StagePageList(), &ShowModel::stagePagesChanged);
    update(m_bankPages, StagePageList(), &ShowModel::bankPagesChanged);
    update(m_activePageKey, QString(), &ShowModel::activePageKeyChanged);
    update(m_bankActivePageKey, QString(), &ShowModel::bankActivePageKeyChanged);
    m_pageMemory.clear();
    m_pageMemoryOrder.clear();
    m_loadsInFlight.clear();
    m_retryAfter.clear();
    if (!m_currentWants.isEmpty()) {
        m_currentWants.clear();
        Q_EMIT currentWantsChanged();
    }
}

} // namespace pgw
