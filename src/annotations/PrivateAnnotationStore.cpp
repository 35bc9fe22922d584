// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/PrivateAnnotationStore.h"

#include "annotations/PrivateAnnotationEraser.h"
#include "support/Logging.h"

#include <QSet>

#include <algorithm>
#include <cmath>

namespace pgw {

namespace {

using Strokes = QList<PrivateAnnotationStroke>;
using Store = PrivateAnnotationStore;

void removeIds(Strokes &strokes, const QSet<QUuid> &ids)
{
    strokes.removeIf([&](const PrivateAnnotationStroke &stroke) { return ids.contains(stroke.id); });
}

void revert(const Store::HistoryEntry &entry, Strokes &strokes)
{
    if (const auto *add = std::get_if<Store::AddEntry>(&entry)) {
        removeIds(strokes, {add->stroke.id});
    } else if (const auto *remove = std::get_if<Store::RemoveEntry>(&entry)) {
        QList<Store::IndexedStroke> erased = remove->strokes;
        std::stable_sort(erased.begin(), erased.end(),
            [](const auto &left, const auto &right) { return left.index < right.index; });
        for (const Store::IndexedStroke &indexed : erased)
            strokes.insert(std::min(indexed.index, strokes.size()), indexed.stroke);
    } else {
        strokes = std::get<Store::ClearEntry>(entry).strokes;
    }
}

void reapply(const Store::HistoryEntry &entry, Strokes &strokes)
{
    if (const auto *add = std::get_if<Store::AddEntry>(&entry)) {
        strokes.insert(std::clamp(add->index, qsizetype(0), strokes.size()), add->stroke);
    } else if (const auto *remove = std::get_if<Store::RemoveEntry>(&entry)) {
        QSet<QUuid> ids;
        for (const Store::IndexedStroke &indexed : remove->strokes)
            ids.insert(indexed.stroke.id);
        removeIds(strokes, ids);
    } else {
        strokes.clear();
    }
}

} // namespace

PrivateAnnotationStore::PrivateAnnotationStore(const QString &filePath, const Limits &limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_file(filePath, limits)
{
    if (const auto error = m_file.load(m_strokesByPage)) {
        qCWarning(lcFiles, "%s: %s Nothing will be written over it.", qUtf8Printable(m_file.path()),
            qUtf8Printable(error->text()));
        m_loadBlocked = true;
        m_strokesByPage.clear();
        m_lastPersistenceError = error->text();
    }
}

QList<PrivateAnnotationStroke> PrivateAnnotationStore::strokes(const PrivateAnnotationPageKey &page) const
{
    return m_strokesByPage.value(page);
}

bool PrivateAnnotationStore::addStroke(
    const PrivateAnnotationStroke &stroke, const PrivateAnnotationPageKey &page)
{
    Strokes strokes = m_strokesByPage.value(page);
    const qsizetype index = strokes.size();
    strokes.append(stroke);
    if (!write(page, strokes))
        return false;
    record(page, AddEntry {index, stroke});
    changed();
    return true;
}

int PrivateAnnotationStore::erase(const QList<PrivateAnnotationPoint> &path, double radius,
    double pageAspectRatio, const PrivateAnnotationPageKey &page)
{
    if (!std::isfinite(radius) || radius < 0 || !std::isfinite(pageAspectRatio) || pageAspectRatio <= 0
        || path.isEmpty() || path.size() > m_limits.maximumPointsPerStroke)
        return 0;
    const Strokes strokes = m_strokesByPage.value(page);
    const PrivateAnnotationEraser eraser(path, radius, pageAspectRatio);
    QList<IndexedStroke> erased;
    Strokes kept;
    for (qsizetype i = 0; i < strokes.size(); ++i) {
        if (eraser.hits(strokes[i]))
            erased.append({i, strokes[i]});
        else
            kept.append(strokes[i]);
    }
    if (erased.isEmpty() || !write(page, kept))
        return 0;
    const int count = int(erased.size());
    record(page, RemoveEntry {std::move(erased)});
    changed();
    return count;
}

bool PrivateAnnotationStore::clear(const PrivateAnnotationPageKey &page)
{
    Strokes former = m_strokesByPage.value(page);
    if (former.isEmpty() || !write(page, {}))
        return false;
    record(page, ClearEntry {std::move(former)});
    changed();
    return true;
}

bool PrivateAnnotationStore::canUndo(const PrivateAnnotationPageKey &page) const
{
    const auto history = m_historyByPage.constFind(page);
    return history != m_historyByPage.cend() && !history->undo.isEmpty();
}

bool PrivateAnnotationStore::canRedo(const PrivateAnnotationPageKey &page) const
{
    const auto history = m_historyByPage.constFind(page);
    return history != m_historyByPage.cend() && !history->redo.isEmpty();
}

bool PrivateAnnotationStore::undo(const PrivateAnnotationPageKey &page)
{
    if (!canUndo(page))
        return false;
    const HistoryEntry entry = m_historyByPage.value(page).undo.constLast();
    Strokes strokes = m_strokesByPage.value(page);
    revert(entry, strokes);
    if (!write(page, strokes))
        return false;
    PageHistory &history = m_historyByPage[page];
    history.undo.removeLast();
    pushTrimmed(history.redo, entry);
    changed();
    return true;
}

bool PrivateAnnotationStore::redo(const PrivateAnnotationPageKey &page)
{
    if (!canRedo(page))
        return false;
    const HistoryEntry entry = m_historyByPage.value(page).redo.constLast();
    Strokes strokes = m_strokesByPage.value(page);
    reapply(entry, strokes);
    if (!write(page, strokes))
        return false;
    PageHistory &history = m_historyByPage[page];
    history.redo.removeLast();
    pushTrimmed(history.undo, entry);
    changed();
    return true;
}

bool PrivateAnnotationStore::write(const PrivateAnnotationPageKey &page, const Strokes &strokes)
{
    if (m_loadBlocked)
        return false;
    PrivateAnnotationPages candidate = m_strokesByPage;
    if (strokes.isEmpty())
        candidate.remove(page);
    else
        candidate.insert(page, strokes);
    if (const auto error = m_file.save(candidate)) {
        qCWarning(lcFiles, "%s: %s", qUtf8Printable(m_file.path()), qUtf8Printable(error->text()));
        setLastPersistenceError(error->text());
        return false;
    }
    m_strokesByPage = std::move(candidate);
    return true;
}

void PrivateAnnotationStore::record(const PrivateAnnotationPageKey &page, HistoryEntry entry)
{
    PageHistory &history = m_historyByPage[page];
    pushTrimmed(history.undo, std::move(entry));
    history.redo.clear();
}

void PrivateAnnotationStore::pushTrimmed(QList<HistoryEntry> &list, HistoryEntry entry) const
{
    list.append(std::move(entry));
    if (list.size() > m_limits.maximumUndoDepth)
        list.remove(0, list.size() - m_limits.maximumUndoDepth);
}

// Observers hear of a change only once memory and history are both up to date.
void PrivateAnnotationStore::changed()
{
    ++m_generation;
    setLastPersistenceError({});
    Q_EMIT generationChanged(m_generation);
}

void PrivateAnnotationStore::setLastPersistenceError(const QString &error)
{
    if (error == m_lastPersistenceError)
        return;
    m_lastPersistenceError = error;
    Q_EMIT lastPersistenceErrorChanged(m_lastPersistenceError);
}

} // namespace pgw
