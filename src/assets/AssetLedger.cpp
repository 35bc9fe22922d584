// SPDX-License-Identifier: GPL-3.0-or-later
#include "assets/AssetLedger.h"

#include "assets/AssetCacheName.h"

#include <algorithm>
#include <vector>

namespace pgw {

std::optional<AssetLedger::Entry> AssetLedger::entry(const QString &name) const
{
    const auto found = m_entries.constFind(name);
    if (found == m_entries.cend())
        return std::nullopt;
    return *found;
}

void AssetLedger::setEntry(const QString &name, Entry entry)
{
    removeEntry(name);
    m_entries.insert(name, entry);
    m_totalBytes += entry.size;
}

bool AssetLedger::removeEntry(const QString &name)
{
    const auto found = m_entries.find(name);
    if (found == m_entries.end())
        return false;
    m_totalBytes -= found->size;
    m_entries.erase(found);
    return true;
}

void AssetLedger::touch(const QString &name, qint64 time)
{
    const auto found = m_entries.find(name);
    if (found != m_entries.end())
        found->lastUsed = time;
}

QStringList AssetLedger::namesWithPrefix(const QString &prefix) const
{
    QStringList names;
    for (auto it = m_entries.lowerBound(prefix); it != m_entries.cend() && it.key().startsWith(prefix); ++it)
        names.append(it.key());
    return names;
}

std::optional<QString> AssetLedger::newestWithPrefix(const QString &prefix) const
{
    std::optional<QString> newest;
    qint64 newestTime = distantPast;
    for (auto it = m_entries.lowerBound(prefix); it != m_entries.cend() && it.key().startsWith(prefix);
         ++it) {
        if (!newest || it->lastUsed > newestTime) {
            newest = it.key();
            newestTime = it->lastUsed;
        }
    }
    return newest;
}

QStringList AssetLedger::evictionCandidates(
    const std::optional<QString> &protectedScoreKey, const QSet<QString> &protectedFileNames) const
{
    if (m_totalBytes <= capBytes)
        return {};
    const qint64 excess = m_totalBytes - (capBytes - drainMargin);
    return oldestUnprotected(
        protectedScoreKey, protectedFileNames, [excess](qint64 freed) { return freed >= excess; });
}

QStringList AssetLedger::forcedEvictionCandidates(qint64 bytes,
    const std::optional<QString> &protectedScoreKey, const QSet<QString> &protectedFileNames) const
{
    return oldestUnprotected(
        protectedScoreKey, protectedFileNames, [bytes](qint64 freed) { return freed >= bytes; });
}

template<typename Done>
QStringList AssetLedger::oldestUnprotected(
    const std::optional<QString> &protectedScoreKey, const QSet<QString> &protectedFileNames, Done done) const
{
    if (done(0))
        return {};
    // A heap rather than a full sort: eviction usually takes a small share of the entries. The map
    // position breaks ties, which keeps equal times in name order.
    struct Candidate
    {
        qint64 lastUsed;
        qsizetype position;
        const QString *name;
        qint64 size;
    };
    std::vector<Candidate> heap;
    heap.reserve(m_entries.size());
    qsizetype position = 0;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        heap.push_back({it->lastUsed, position++, &it.key(), it->size});
    const auto later = [](const Candidate &a, const Candidate &b) {
        return a.lastUsed != b.lastUsed ? a.lastUsed > b.lastUsed : a.position > b.position;
    };
    std::make_heap(heap.begin(), heap.end(), later);

    const QString scorePrefix
        = protectedScoreKey ? AssetCacheName::scorePrefix(*protectedScoreKey) : QString();
    QStringList names;
    qint64 freed = 0;
    while (!heap.empty() && !done(freed)) {
        std::pop_heap(heap.begin(), heap.end(), later);
        const Candidate oldest = heap.back();
        heap.pop_back();
        if ((protectedScoreKey && oldest.name->startsWith(scorePrefix))
            || protectedFileNames.contains(*oldest.name))
            continue;
        names.append(*oldest.name);
        freed += oldest.size;
    }
    return names;
}

} // namespace pgw
