// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetDirectory.h"
#include "assets/AssetFetch.h"
#include "assets/AssetLedger.h"
#include "support/Scheduler.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pgw {

// The on-disk cache of show assets and the one way the Player obtains them: answers from disk when it
// can, otherwise fetches from the Host and hands the bytes to every caller waiting for the same file.
// A background pump fetches the wanted assets one at a time. All state lives on the store's own
// serial queue; completions and the contents-change callback are delivered on the main thread.
class AssetStore : public std::enable_shared_from_this<AssetStore>
{
public:
    static constexpr double cooldownSeconds = 5.0;

    // One wanted asset; `cacheFileName` follows from the other fields (see make()).
    struct Want
    {
        QString scoreKey;
        qint64 scoreToken = 0;
        qint64 pageIndex = 0;
        QString kind;
        QString version;
        QString cacheFileName;

        static Want make(const QString &scoreKey, qint64 scoreToken, qint64 pageIndex, const QString &kind,
            const QString &version);
        bool operator==(const Want &) const = default;
    };

    struct PageIdentity
    {
        QString scoreKey;
        qint64 pageIndex = 0;
        bool operator==(const PageIdentity &) const = default;
        friend size_t qHash(const PageIdentity &page, size_t seed = 0)
        {
            return qHashMulti(seed, page.scoreKey, page.pageIndex);
        }
    };

    struct PageCoverage
    {
        int ready = 0;
        int total = 0;
        bool operator==(const PageCoverage &) const = default;
    };

    // `displayed`: on screen or about to be; `lookAhead`: prefetch.
    enum class RetrievalPriority { displayed, lookAhead };

    // (data or absent, whether it is the requested version).
    using Completion = std::function<void(const std::optional<QByteArray> &data, bool exact)>;

    struct Environment
    {
        Scheduler &queue;
        Scheduler &main;
        // Milliseconds since the epoch; last-use times mirror the files' modification dates.
        std::function<qint64()> wallClock = systemWallClock;
        std::function<bool(const QString &path, const QByteArray &bytes)> writeFile
            = [](const QString &path, const QByteArray &bytes) {
                  return AssetDirectory::writeAtomically(path, bytes);
              };
        std::function<bool(const QString &path)> removeFile
            = [](const QString &path) { return AssetDirectory::removeItem(path); };
    };

    // Creates the directory and rebuilds the ledger from it, asynchronously on the queue.
    static std::shared_ptr<AssetStore> create(const QString &directory, Environment environment);
    static qint64 systemWallClock();

    AssetStore(const AssetStore &) = delete;
    AssetStore &operator=(const AssetStore &) = delete;

    void setNetwork(AssetFetch network);
    void setOnContentsChange(std::function<void()> callback);

    void retrieve(const QString &scoreKey, qint64 scoreToken, qint64 pageIndex, const QString &kind,
        const QString &version, RetrievalPriority priority, bool allowStale, Completion completion);
    // Replaces the pump's work list (in priority order) and the score whose files eviction keeps.
    void pump(const QList<Want> &wants, const std::optional<QString> &protecting);
    // The files of saved shows, which eviction never touches.
    void setPinned(const QList<Want> &wants);
    // Deletes the given assets unless pinned.
    void remove(const QList<Want> &wants);
    // Deletes every file of the given scores, pinned or not.
    void removeAssets(const QStringList &scoreKeys, std::function<void()> completion = {});

    // Synchronous on the queue.
    int cachedCount(const QList<Want> &wants);
    qint64 cachedBytes(const QList<Want> &wants);
    PageCoverage cachedPageCoverage(const QList<Want> &wants);
    AssetLedger ledgerSnapshot();

private:
    AssetStore(const QString &directory, Environment environment);

    template<typename Task>
    void onQueue(Task task);
    void deliver(const Completion &completion, const std::optional<QByteArray> &data, bool exact);
    void notifyContentsChanged();

    void retrieveOnQueue(
        const Want &want, RetrievalPriority priority, bool allowStale, Completion completion);
    void fetch(const Want &want, bool urgent, const std::optional<QString> &stale);
    void finishFetch(const Want &want, bool urgent, const std::optional<QString> &stale, qint64 status,
        const std::optional<QString> &servedVersion, const std::optional<QByteArray> &data);
    void kickPump();
    void flushWaiters(const QString &name, const std::optional<QByteArray> &data, bool exact);

    std::optional<QByteArray> readAndTouch(const QString &name);
    std::optional<QString> newestOfFamily(const Want &want);
    void write(const QString &name, const QByteArray &bytes);
    bool writeFile(const QString &name, const QByteArray &bytes);
    // Whether the ledger entry was dropped.
    bool deleteCacheFile(const QString &name);
    bool deleteCacheFiles(const QStringList &names);
    // Deletes files to keep the cache within bounds, saying how much went and why.
    bool evict(const QStringList &names, const char *why);
    bool migrateLegacy(const Want &want);
    void migrateLegacyFamily(const Want &want);

    Scheduler &m_queue;
    Scheduler &m_main;
    std::function<qint64()> m_wallClock;
    std::function<bool(const QString &, const QByteArray &)> m_writeFile;
    std::function<bool(const QString &)> m_removeFile;
    const AssetDirectory m_directory;

    // Queue only.
    AssetFetch m_network;
    std::function<void()> m_onContentsChange;
    AssetLedger m_ledger;
    QHash<QString, QList<Completion>> m_waiters;
    QList<Want> m_pumpWants;
    QSet<QString> m_pumpInFlight;
    QHash<QString, double> m_cooldownUntil;
    QSet<QString> m_urgentFilesInFlight;
    std::optional<QString> m_protectedScoreKey;
    QSet<QString> m_pinnedFileNames;
};

} // namespace pgw
