// SPDX-License-Identifier: GPL-3.0-or-later
// Which page is displayed and why: the Host's position, a peek, a manual or offline position, and
// the local turn that moves them.
#include "show/ShowModel.h"

#include "support/Json.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

int ShowModel::displayedIndex() const
{
    if (partSelected() && m_partLocalIndex)
        return *m_partLocalIndex;
    if (m_phase.is(ShowPhase::Offline) && m_offlineIndex)
        return *m_offlineIndex;
    if (m_turnsPagesLocally && m_manualIndex)
        return *m_manualIndex;
    if (m_phase.is(ShowPhase::Peek) && m_peekIndex)
        return *m_peekIndex;
    return m_navIndex;
}

std::optional<LocalPosition> ShowModel::currentLocalPosition() const
{
    const int page = displayedIndex();
    if (page < 0)
        return std::nullopt;
    if (partSelected())
        return LocalPosition {page, std::nullopt};
    if (m_phase.is(ShowPhase::Offline))
        return LocalPosition {page, m_offlineScoreIndex};
    if (m_turnsPagesLocally)
        return LocalPosition {page, m_manualScoreIndex ? m_manualScoreIndex : displayedScoreIndex()};
    if (m_phase.is(ShowPhase::Peek))
        return LocalPosition {page, m_peekScoreIndex};
    return LocalPosition {page, displayedScoreIndex()};
}

std::optional<LocalPosition> ShowModel::manualPosition() const
{
    return m_manualIndex ? std::optional(LocalPosition {*m_manualIndex, m_manualScoreIndex}) : std::nullopt;
}

std::optional<LocalPosition> ShowModel::peekPosition() const
{
    return m_peekIndex ? std::optional(LocalPosition {*m_peekIndex, m_peekScoreIndex}) : std::nullopt;
}

std::optional<LocalPosition> ShowModel::offlinePosition() const
{
    return m_offlineIndex ? std::optional(LocalPosition {*m_offlineIndex, m_offlineScoreIndex})
                          : std::nullopt;
}

QList<int> ShowModel::sortedPageIndices(const QJsonObject &owner)
{
    QList<int> indices;
    for (const QJsonValue &page : json::arrayOr(owner, "pages"_L1)) {
        if (const auto index = json::optInt32(page.toObject(), "index"_L1))
            indices.append(*index);
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}

std::optional<ShowModel::PageRange> ShowModel::configuredBounds(const QJsonObject &item)
{
    const QList<int> indices = sortedPageIndices(item);
    if (indices.isEmpty())
        return std::nullopt;
    const qint64 highest = indices.last();
    // A negative count reads as none, so that `count - 1` cannot overflow.
    const qint64 count = std::max(json::intOr(item, "pageCount"_L1, highest + 1), qint64(0));
    const qint64 last = std::min(std::max(count - 1, qint64(0)), highest);
    if (last < 0)
        return std::nullopt;
    const qint64 start = std::clamp(json::intOr(item, "startPage"_L1, 0), qint64(0), last);
    const auto endPage = json::optInt(item, "endPage"_L1);
    const qint64 end = endPage && start <= *endPage && *endPage < last ? *endPage : last;
    return PageRange {int(start), int(end)};
}

QList<int> ShowModel::configuredPageIndices(const QJsonObject &item)
{
    const auto bounds = configuredBounds(item);
    if (!bounds)
        return {};
    QList<int> indices = sortedPageIndices(item);
    indices.removeIf([&](int index) { return index < bounds->start || index > bounds->end; });
    return indices;
}

bool ShowModel::itemInRange(std::optional<int> item) const
{
    return item && *item >= 0 && *item < setlistItems().size();
}

std::optional<QString> ShowModel::itemScoreKey(std::optional<int> item) const
{
    if (!item)
        return ShowIdentity::scoreKey(openScore());
    if (!itemInRange(item))
        return std::nullopt;
    return ShowIdentity::scoreKey(setlistItems().at(*item).toObject());
}

std::optional<QString> ShowModel::itemFingerprint(std::optional<int> item) const
{
    return ShowIdentity::occurrenceFingerprint(setlistItems(), item);
}

namespace {

std::optional<int> neighbour(const QList<int> &pages, int page, int direction)
{
    const qsizetype at = pages.indexOf(page);
    if (at < 0 || at + direction < 0 || at + direction >= pages.size())
        return std::nullopt;
    return pages.at(at + direction);
}

} // namespace

std::optional<LocalPosition> ShowModel::stepWithinItems(const LocalPosition &from, int direction) const
{
    const QJsonArray items = setlistItems();
    const QList<int> pages = configuredPageIndices(items.at(*from.item).toObject());
    if (const auto next = neighbour(pages, from.page, direction))
        return LocalPosition {*next, from.item};
    if (!pages.isEmpty() && !pages.contains(from.page)) {
        if (direction > 0 && from.page < pages.first())
            return LocalPosition {pages.first(), from.item};
        if (direction < 0 && from.page > pages.last())
            return LocalPosition {pages.last(), from.item};
    }
    const int nextItem = *from.item + direction;
    if (nextItem < 0 || nextItem >= items.size())
        return std::nullopt;
    const QList<int> nextPages = configuredPageIndices(items.at(nextItem).toObject());
    if (nextPages.isEmpty())
        return std::nullopt;
    return LocalPosition {direction > 0 ? nextPages.first() : nextPages.last(), nextItem};
}

std::optional<LocalPosition> ShowModel::adjacentLocalPosition(const LocalPosition &from, int direction) const
{
    if (partSelected()) {
        const auto next = neighbour(partPageIndices(), from.page, direction);
        return next ? std::optional(LocalPosition {*next, std::nullopt}) : std::nullopt;
    }
    if (!setlistItems().isEmpty() && itemInRange(from.item))
        return stepWithinItems(from, direction);
    const auto next = neighbour(sortedPageIndices(openScore()), from.page, direction);
    if (!next)
        return std::nullopt;
    return LocalPosition {*next, from.item};
}

void ShowModel::setManualPosition(const std::optional<LocalPosition> &position)
{
    if (!position || position->page < 0) {
        clearManualPosition();
        return;
    }
    m_manualIndex = position->page;
    m_manualScoreIndex = position->item;
    m_manualScoreKey = itemScoreKey(position->item);
    m_manualOccurrenceFingerprint = itemFingerprint(position->item);
}

void ShowModel::clearManualPosition()
{
    m_manualIndex.reset();
    m_manualScoreIndex.reset();
    m_manualScoreKey.reset();
    m_manualOccurrenceFingerprint.reset();
}

void ShowModel::clearPeekPosition()
{
    m_peekIndex.reset();
    m_peekScoreIndex.reset();
}

void ShowModel::clearOfflinePosition()
{
    m_offlineIndex.reset();
    m_offlineScoreIndex.reset();
    m_offlineScoreKey.reset();
    m_offlineOccurrenceFingerprint.reset();
}

void ShowModel::turnLocally(int step)
{
    if (step == 0)
        return;
    const auto start = currentLocalPosition();
    if (!start)
        return;
    const int direction = step > 0 ? 1 : -1;
    LocalPosition position = *start;
    for (qint64 i = 0; i < std::abs(qint64(step)); ++i) {
        const auto next = adjacentLocalPosition(position, direction);
        if (!next)
            break;
        position = *next;
    }
    if (position == *start) {
        if (transitionPracticePartBoundary(direction))
            refreshStage();
        return;
    }

    const bool liveOrPeek = m_phase.is(ShowPhase::Live) || m_phase.is(ShowPhase::Peek);
    if (partSelected()) {
        m_partLocalIndex = position.page;
        stopPeekTimer();
        clearPeekPosition();
        if (m_phase.is(ShowPhase::Peek))
            setPhase(ShowPhase::live());
    } else if (m_phase.is(ShowPhase::Offline)) {
        m_offlineIndex = position.page;
        m_offlineScoreIndex = position.item;
        m_offlineScoreKey = itemScoreKey(position.item);
        m_offlineOccurrenceFingerprint = itemFingerprint(position.item);
    } else if (m_turnsPagesLocally && (m_practiceMode || liveOrPeek)) {
        setManualPosition(position);
        stopPeekTimer();
        clearPeekPosition();
        setPhase(ShowPhase::live());
        if (m_practiceMode && m_practiceScoreIndex != position.item) {
            // The stage reads the direction for its transition; a part also starts on its last page going
            // back.
            m_practiceTransitionDirection = direction;
            m_practiceScoreIndex = position.item;
            reconcileSongPartContext(true);
            if (!partSelected())
                m_practiceTransitionDirection = 0;
        }
    } else if (!m_turnsPagesLocally && liveOrPeek) {
        m_peekIndex = position.page;
        m_peekScoreIndex = position.item;
        setPhase(ShowPhase::peek());
        armPeekTimer();
    } else {
        return;
    }
    refreshStage();
}

void ShowModel::armPeekTimer()
{
    stopPeekTimer();
    if (m_turnsPagesLocally || m_autoReturnAfter <= 0)
        return;
    m_peekTimer = m_scheduler.postAfter(m_autoReturnAfter,
        [this] { returnToLive(u"back with the band — "_s + pageLabel(std::max(m_navIndex, 0))); });
}

void ShowModel::stopPeekTimer()
{
    m_peekTimer.cancel();
}

void ShowModel::returnToLive(const QString &toast)
{
    stopPeekTimer();
    if (!m_phase.is(ShowPhase::Peek))
        return;
    clearPeekPosition();
    setPhase(ShowPhase::live());
    if (!toast.isEmpty())
        setToast(toast);
    showDisplayedPage();
}

void ShowModel::setTurnsPagesLocally(bool on)
{
    if (m_practiceMode) {
        m_userTurnsPagesLocally = on;
        if (!m_masterTurnsPagesLocally) {
            m_masterTurnsPagesLocally = true;
            update(m_turnsPagesLocally, true, &ShowModel::turnsPagesLocallyChanged);
        }
        return;
    }
    if (on == m_masterTurnsPagesLocally)
        return;
    if (partSelected()) {
        // A part always turns locally; the choice applies again once the master is shown.
        m_masterTurnsPagesLocally = on;
        setToast(
            on ? u"Master will keep your page turns too"_s : m_selectedPartLabel + u" pages stay local"_s);
        return;
    }

    const bool showing
        = m_phase.is(ShowPhase::Live) || m_phase.is(ShowPhase::Peek) || m_phase.is(ShowPhase::Offline);
    const auto start = m_joined && showing
        ? std::optional(LocalPosition {displayedIndex(), displayedScoreIndex()})
        : std::nullopt;
    stopPeekTimer();
    if (!on) {
        clearManualPosition();
    } else {
        setManualPosition(start);
        // Without a page yet, the item is still where the player is.
        if (start && start->page < 0)
            m_manualScoreIndex = start->item;
        clearPeekPosition();
        if (m_phase.is(ShowPhase::Peek))
            setPhase(ShowPhase::live());
    }
    m_masterTurnsPagesLocally = on;
    update(m_turnsPagesLocally, on, &ShowModel::turnsPagesLocallyChanged);

    if (m_joined && (m_phase.is(ShowPhase::Live) || m_phase.is(ShowPhase::Peek))) {
        setToast(on ? u"your pages — the amber ACTIVE cue still follows the Mac"_s
                    : u"following the host again — "_s + pageLabel(std::max(m_navIndex, 0)));
        refreshStage();
    }
}

void ShowModel::seedManualPositionFromHost()
{
    if (m_navIndex < 0) {
        clearManualPosition();
        m_manualScoreKey = m_navScoreKey;
        return;
    }
    std::optional<int> item;
    if (itemInRange(m_navScoreIndex) && (!m_navScoreKey || itemScoreKey(m_navScoreIndex) == m_navScoreKey))
        item = m_navScoreIndex;
    else
        item = alignedCurrentSetlistIndex();
    m_manualIndex = m_navIndex;
    m_manualScoreIndex = item;
    m_manualScoreKey = m_navScoreKey ? m_navScoreKey : itemScoreKey(item);
    m_manualOccurrenceFingerprint = itemFingerprint(item);
}

bool ShowModel::manualItemMatches(int item) const
{
    if (!itemInRange(item))
        return false;
    if (!configuredPageIndices(setlistItems().at(item).toObject()).contains(*m_manualIndex))
        return false;
    if (m_manualScoreKey && itemScoreKey(item) != m_manualScoreKey)
        return false;
    return !m_manualOccurrenceFingerprint || itemFingerprint(item) == m_manualOccurrenceFingerprint;
}

void ShowModel::reconcileManualPosition()
{
    if (!m_turnsPagesLocally || !m_manualIndex)
        return;
    const QJsonArray items = setlistItems();
    if (items.isEmpty()) {
        if (!sortedPageIndices(openScore()).contains(*m_manualIndex))
            seedManualPositionFromHost();
        return;
    }
    if (m_manualScoreIndex && manualItemMatches(*m_manualScoreIndex))
        return;
    for (int item = 0; item < items.size(); ++item) {
        if (manualItemMatches(item)) {
            m_manualScoreIndex = item;
            m_manualScoreKey = itemScoreKey(item);
            m_manualOccurrenceFingerprint = itemFingerprint(item);
            return;
        }
    }
    seedManualPositionFromHost();
}

bool ShowModel::canProvisionallyDisplay(
    std::optional<int> scoreIndex, const std::optional<QString> &scoreKey, int pageIndex) const
{
    if (pageIndex < 0 || !itemInRange(scoreIndex) || !scoreKey)
        return false;
    const QJsonObject item = setlistItems().at(*scoreIndex).toObject();
    if (!ShowIdentity::scoreAddress(item) || ShowIdentity::scoreKey(item) != scoreKey)
        return false;
    const auto bounds = configuredBounds(item);
    if (!bounds || pageIndex < bounds->start || pageIndex > bounds->end)
        return false;
    return sortedPageIndices(item).contains(pageIndex);
}

} // namespace pgw
