// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <limits>
#include <optional>

namespace pgw {

// The in-memory bookkeeping of the asset cache directory: one entry per file with its size and last
// use. It chooses which files to delete; the store deletes them and keeps the entries in step.
class AssetLedger
{
public:
    // Times are milliseconds since the epoch, as the files' modification dates.
    static constexpr qint64 distantPast = std::numeric_limits<qint64>::min();
    static constexpr qint64 defaultCapBytes = 300 * 1'048'576;
    static constexpr qint64 defaultDrainMargin = 20 * 1'048'576;

    struct Entry
    {
        qint64 size = 0;
        qint64 lastUsed = distantPast;
        bool operator==(const Entry &) const = default;
    };

    qint64 capBytes = defaultCapBytes;
    qint64 drainMargin = defaultDrainMargin;

    const QMap<QString, Entry> &entries() const { return m_entries; }
    std::optional<Entry> entry(const QString &name) const;
    bool contains(const QString &name) const { return m_entries.contains(name); }
    void setEntry(const QString &name, Entry entry);
    // Whether there was an entry to drop.
    bool removeEntry(const QString &name);
    void touch(const QString &name, qint64 time);
    qint64 totalBytes() const { return m_totalBytes; }

    // Names in name order.
    QStringList namesWithPrefix(const QString &prefix) const;
    // The most recently used name with the prefix; the first in name order wins a tie.
    std::optional<QString> newestWithPrefix(const QString &prefix) const;

    // Once the cap is exceeded, the oldest unprotected files down to the cap minus the drain margin.
    QStringList evictionCandidates(
        const std::optional<QString> &protectedScoreKey, const QSet<QString> &protectedFileNames) const;
    // The oldest unprotected files that together free at least `bytes`, the cap regardless.
    QStringList forcedEvictionCandidates(qint64 bytes, const std::optional<QString> &protectedScoreKey,
        const QSet<QString> &protectedFileNames) const;

private:
    // Takes the entries oldest first (equal times in name order), skipping protected ones, and
    // collects names until `done(freed)` holds.
    template<typename Done>
    QStringList oldestUnprotected(const std::optional<QString> &protectedScoreKey,
        const QSet<QString> &protectedFileNames, Done done) const;

    QMap<QString, Entry> m_entries;
    qint64 m_totalBytes = 0;
};

} // namespace pgw
