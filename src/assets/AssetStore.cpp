// SPDX-License-Identifier: GPL-3.0-or-later
#include "assets/AssetStore.h"

#include "assets/AssetCacheName.h"
#include "support/Logging.h"

#include <QDateTime>

#include <algorithm>

namespace pgw {

AssetStore::Want AssetStore::Want::make(
    const QString &scoreKey, qint64 scoreToken, qint64 pageIndex, const QString &kind, const QString &version)
{
    return Want {scoreKey, scoreToken, pageIndex, kind, version,
        AssetCacheName::fileName(scoreKey, pageIndex, kind, version)};
}

std::shared_ptr<AssetStore> AssetStore::create(const QString &directory, Environment environment)
{
    std::shared_ptr<AssetStore> store(new AssetStore(directory, std::move(environment)));
    store->onQueue([](AssetStore &self) {
        self.m_directory.create();
        self.m_ledger = self.m_directory.listing();
    });
    return store;
}

qint64 AssetStore::systemWallClock()
{
    return QDateTime::currentMSecsSinceEpoch();
}

AssetStore::AssetStore(const QString &directory, Environment environment)
    : m_queue(environment.queue)
    , m_main(environment.main)
    , m_wallClock(std::move(environment.wallClock))
    , m_writeFile(std::move(environment.writeFile))
    , m_removeFile(std::move(environment.removeFile))
    , m_directory(directory)
{ }

template<typename Task>
void AssetStore::onQueue(Task task)
{
    m_queue.post([weak = weak_from_this(), task = std::move(task)]() mutable {
        if (const auto self = weak.lock())
            task(*self);
    });
}

void AssetStore::setNetwork(AssetFetch network)
{
    onQueue([network = std::move(network)](AssetStore &self) { self.m_network = network; });
}

void AssetStore::setOnContentsChange(std::function<void()> callback)
{
    onQueue([callback = std::move(callback)](AssetStore &self) { self.m_onContentsChange = callback; });
}

void AssetStore::deliver(const Completion &completion, const std::optional<QByteArray> &data, bool exact)
{
    m_main.post([completion, data, exact] { completion(data, exact); });
}

void AssetStore::notifyContentsChanged()
{
    if (m_onContentsChange)
        m_main.post(m_onContentsChange);
}

// Retrieval and fetching

void AssetStore::retrieve(const QString &scoreKey, qint64 scoreToken, qint64 pageIndex, const QString &kind,
    const QString &version, RetrievalPriority priority, bool allowStale, Completion completion)
{
    onQueue([want = Want::make(scoreKey, scoreToken, pageIndex, kind, version), priority, allowStale,
                completion = std::move(completion)](AssetStore &self) mutable {
        self.retrieveOnQueue(want, priority, allowStale, std::move(completion));
    });
}

void AssetStore::retrieveOnQueue(
    const Want &want, RetrievalPriority priority, bool allowStale, Completion completion)
{
    const QString &name = want.cacheFileName;
    migrateLegacy(want);
    if (const auto bytes = readAndTouch(name)) {
        deliver(completion, bytes, true);
        return;
    }
    const std::optional<QString> stale = allowStale ? newestOfFamily(want) : std::nullopt;
    if (!m_network) {
        deliver(completion, stale ? readAndTouch(*stale) : std::nullopt, false);
        return;
    }
    const bool displayed = priority == RetrievalPriority::displayed;
    const auto waiting = m_waiters.find(name);
    if (waiting == m_waiters.end()) {
        m_waiters.insert(name, {std::move(completion)});
        if (displayed) {
            m_urgentFilesInFlight.insert(name);
            fetch(want, true, stale);
        } else if (!m_pumpInFlight.contains(name)) {
            m_pumpInFlight.insert(name);
            fetch(want, false, stale);
        }
        return;
    }
    waiting->append(std::move(completion));
    // A page on screen overtakes a background fetch of the same file.
    if (displayed && m_pumpInFlight.contains(name) && !m_urgentFilesInFlight.contains(name)) {
        m_urgentFilesInFlight.insert(name);
        fetch(want, true, stale);
    }
}

void AssetStore::fetch(const Want &want, bool urgent, const std::optional<QString> &stale)
{
    if (!m_network) {
        // Posted rather than answered in place, so a pump walk without a network cannot recurse.
        onQueue(
            [want, urgent, stale](AssetStore &self) { self.finishFetch(want, urgent, stale, 0, {}, {}); });
        return;
    }
    m_network(want.scoreToken, want.pageIndex, want.kind, want.version, urgent,
        [weak = weak_from_this(), want, urgent, stale](qint64 status,
            const std::optional<QString> &servedVersion, const std::optional<QByteArray> &data) {
            if (const auto self = weak.lock()) {
                self->onQueue([=](AssetStore &store) {
                    store.finishFetch(want, urgent, stale, status, servedVersion, data);
                });
            }
        });
}

void AssetStore::finishFetch(const Want &want, bool urgent, const std::optional<QString> &stale,
    qint64 status, const std::optional<QString> &servedVersion, const std::optional<QByteArray> &data)
{
    const QString &name = want.cacheFileName;
    const bool otherLaneFetches = (urgent ? m_pumpInFlight : m_urgentFilesInFlight).contains(name);
    (urgent ? m_urgentFilesInFlight : m_pumpInFlight).remove(name);
    if (status == 200 && data) {
        const QString served = servedVersion.value_or(want.version);
        write(AssetCacheName::fileName(want.scoreKey, want.pageIndex, want.kind, served), *data);
        // The requested file is still missing; without a pause the pump would ask for it again at once,
        // and the Host would serve the other version again, for ever.
        if (served != want.version)
            m_cooldownUntil.insert(name, m_queue.now() + cooldownSeconds);
        flushWaiters(name, data, served == want.version);
    } else if (!otherLaneFetches) {
        m_cooldownUntil.insert(name, m_queue.now() + cooldownSeconds);
        flushWaiters(name, stale ? readAndTouch(*stale) : std::nullopt, false);
    }
    kickPump();
}

void AssetStore::flushWaiters(const QString &name, const std::optional<QByteArray> &data, bool exact)
{
    const QList<Completion> waiters = m_waiters.take(name);
    for (const Completion &completion : waiters)
        deliver(completion, data, exact);
}

// The pump

void AssetStore::pump(const QList<Want> &wants, const std::optional<QString> &protecting)
{
    onQueue([wants, protecting](AssetStore &self) {
        self.m_protectedScoreKey = protecting;
        self.m_pumpWants = wants;
        self.kickPump();
    });
}

void AssetStore::kickPump()
{
    const double now = m_queue.now();
    for (const Want &want : std::as_const(m_pumpWants)) {
        // The background lane fetches one file at a time.
        if (!m_pumpInFlight.isEmpty())
            return;
        const QString &name = want.cacheFileName;
        if (migrateLegacy(want) || m_waiters.contains(name))
            continue;
        const auto cooling = m_cooldownUntil.constFind(name);
        if (cooling != m_cooldownUntil.cend() && *cooling > now)
            continue;
        m_pumpInFlight.insert(name);
        fetch(want, false, std::nullopt);
    }
}

// Files

std::optional<QByteArray> AssetStore::readAndTouch(const QString &name)
{
    const qint64 now = m_wallClock();
    auto bytes = m_directory.readAndTouch(name, now);
    if (bytes)
        m_ledger.touch(name, now);
    return bytes;
}

std::optional<QString> AssetStore::newestOfFamily(const Want &want)
{
    migrateLegacyFamily(want);
    return m_ledger.newestWithPrefix(AssetCacheName::familyPrefix(want.scoreKey, want.pageIndex, want.kind));
}

void AssetStore::write(const QString &name, const QByteArray &bytes)
{
    if (!writeFile(name, bytes)) {
        // Typically a full disk: make room and try once more.
        const bool evicted
            = evict(m_ledger.forcedEvictionCandidates(bytes.size(), m_protectedScoreKey, m_pinnedFileNames),
                "to make room after a failed write");
        if (!writeFile(name, bytes)) {
            if (evicted)
                notifyContentsChanged();
            return;
        }
    }
    m_ledger.setEntry(name, {bytes.size(), m_wallClock()});
    evict(m_ledger.evictionCandidates(m_protectedScoreKey, m_pinnedFileNames), "over the cache's size cap");
    notifyContentsChanged();
}

bool AssetStore::writeFile(const QString &name, const QByteArray &bytes)
{
    const auto path = m_directory.filePath(name);
    return path && m_writeFile(*path, bytes);
}

bool AssetStore::deleteCacheFile(const QString &name)
{
    const auto path = m_directory.filePath(name);
    if (path && !m_removeFile(*path) && m_directory.exists(name))
        return false;
    return m_ledger.removeEntry(name);
}

bool AssetStore::deleteCacheFiles(const QStringList &names)
{
    bool dropped = false;
    for (const QString &name : names)
        dropped |= deleteCacheFile(name);
    return dropped;
}

bool AssetStore::evict(const QStringList &names, const char *why)
{
    if (names.isEmpty())
        return false;
    qint64 bytes = 0;
    for (const QString &name : names)
        bytes += m_ledger.entry(name).value_or(AssetLedger::Entry {}).size;
    qCInfo(lcAssets, "Evicting %lld cache files (%lld bytes) %s", qint64(names.size()), bytes, why);
    return deleteCacheFiles(names);
}

bool AssetStore::migrateLegacy(const Want &want)
{
    if (m_ledger.contains(want.cacheFileName))
        return true;
    const auto legacy
        = AssetCacheName::legacyFileName(want.scoreKey, want.pageIndex, want.kind, want.version);
    if (!legacy)
        return false;
    const auto entry = m_ledger.entry(*legacy);
    if (!entry)
        return false;
    if (!m_directory.exists(*legacy)) {
        m_ledger.removeEntry(*legacy);
        return false;
    }
    if (!m_directory.rename(*legacy, want.cacheFileName))
        return false;
    m_ledger.removeEntry(*legacy);
    m_ledger.setEntry(want.cacheFileName, *entry);
    return true;
}

void AssetStore::migrateLegacyFamily(const Want &want)
{
    const auto prefix = AssetCacheName::legacyFamilyPrefix(want.scoreKey, want.pageIndex, want.kind);
    if (!prefix)
        return;
    for (const QString &name : m_ledger.namesWithPrefix(*prefix)) {
        const QString version = name.sliced(prefix->size());
        if (AssetCacheName::isSafeLegacyAtom(version))
            migrateLegacy(Want::make(want.scoreKey, 0, want.pageIndex, want.kind, version));
    }
}

// Pins and removal

void AssetStore::setPinned(const QList<Want> &wants)
{
    onQueue([wants](AssetStore &self) {
        QSet<QString> pinned;
        for (const Want &want : wants) {
            self.migrateLegacy(want);
            pinned.insert(want.cacheFileName);
        }
        self.m_pinnedFileNames = pinned;
    });
}

void AssetStore::remove(const QList<Want> &wants)
{
    QStringList names;
    for (const Want &want : wants) {
        names.append(want.cacheFileName);
        if (const auto legacy
            = AssetCacheName::legacyFileName(want.scoreKey, want.pageIndex, want.kind, want.version))
            names.append(*legacy);
    }
    if (names.isEmpty())
        return;
    onQueue([names](AssetStore &self) {
        bool dropped = false;
        for (const QString &name : names) {
            if (self.m_pinnedFileNames.contains(name))
                continue;
            dropped |= self.deleteCacheFile(name);
            self.m_cooldownUntil.remove(name);
        }
        if (dropped)
            self.notifyContentsChanged();
    });
}

void AssetStore::removeAssets(const QStringList &scoreKeys, std::function<void()> completion)
{
    if (scoreKeys.isEmpty()) {
        if (completion)
            m_main.post(completion);
        return;
    }
    onQueue([scoreKeys, completion = std::move(completion)](AssetStore &self) {
        QStringList names;
        for (const QString &key : scoreKeys) {
            names += self.m_ledger.namesWithPrefix(AssetCacheName::scorePrefix(key));
            for (const QString &name : self.m_ledger.namesWithPrefix(key + u'-')) {
                if (AssetCacheName::isLegacyFileNameOf(name, key))
                    names.append(name);
            }
        }
        if (self.deleteCacheFiles(names))
            self.notifyContentsChanged();
        if (completion)
            self.m_main.post(completion);
    });
}

// Counting

int AssetStore::cachedCount(const QList<Want> &wants)
{
    int count = 0;
    m_queue.runSync([&] {
        count = int(std::count_if(
            wants.cbegin(), wants.cend(), [this](const Want &want) { return migrateLegacy(want); }));
    });
    return count;
}

qint64 AssetStore::cachedBytes(const QList<Want> &wants)
{
    qint64 bytes = 0;
    m_queue.runSync([&] {
        for (const Want &want : wants) {
            if (migrateLegacy(want))
                bytes += m_ledger.entry(want.cacheFileName)->size;
        }
    });
    return bytes;
}

AssetStore::PageCoverage AssetStore::cachedPageCoverage(const QList<Want> &wants)
{
    PageCoverage coverage;
    m_queue.runSync([&] {
        QHash<PageIdentity, bool> pages;
        for (const Want &want : wants) {
            const bool present = migrateLegacy(want);
            auto page = pages.find(PageIdentity {want.scoreKey, want.pageIndex});
            if (page == pages.end())
                pages.insert(PageIdentity {want.scoreKey, want.pageIndex}, present);
            else
                *page = *page && present;
        }
        coverage.total = int(pages.size());
        coverage.ready = int(std::count(pages.cbegin(), pages.cend(), true));
    });
    return coverage;
}

AssetLedger AssetStore::ledgerSnapshot()
{
    AssetLedger ledger;
    m_queue.runSync([&] { ledger = m_ledger; });
    return ledger;
}

} // namespace pgw
