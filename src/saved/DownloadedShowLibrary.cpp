// SPDX-License-Identifier: GPL-3.0-or-later
#include "saved/DownloadedShowLibrary.h"

#include "assets/AssetDirectory.h"
#include "support/Json.h"
#include "support/Logging.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

using DownloadedShowContent::PageRange;

DownloadedShowLibrary::Environment DownloadedShowLibrary::systemEnvironment()
{
    return {AssetStore::systemWallClock,
        [](const QString &path, const QByteArray &bytes) {
            return AssetDirectory::writeAtomically(path, bytes, lcFiles());
        },
        [](const QString &path) { return AssetDirectory::removeItem(path, lcFiles()); }};
}

DownloadedShowLibrary::DownloadedShowLibrary(
    const QString &directory, std::shared_ptr<AssetStore> assets, QObject *parent)
    : DownloadedShowLibrary(directory, std::move(assets), systemEnvironment(), parent)
{ }

DownloadedShowLibrary::DownloadedShowLibrary(
    const QString &directory, std::shared_ptr<AssetStore> assets, Environment environment, QObject *parent)
    : QObject(parent)
    , m_directory(QDir::cleanPath(directory))
    , m_assets(std::move(assets))
    , m_environment(std::move(environment))
{
    QDir().mkpath(m_directory);
    loadRecords();
    refresh();
}

QString DownloadedShowLibrary::recordPath(const QString &id) const
{
    return m_directory + u'/' + id + u".json"_s;
}

QDateTime DownloadedShowLibrary::now() const
{
    return QDateTime::fromMSecsSinceEpoch(m_environment.wallClock(), Qt::UTC);
}

void DownloadedShowLibrary::loadRecords()
{
    // Hidden files and links are skipped; whatever fails a check stays on disk untouched.
    const QFileInfoList files
        = QDir(m_directory).entryInfoList({u"*.json"_s}, QDir::Files | QDir::CaseSensitive);
    for (const QFileInfo &file : files) {
        if (file.isSymLink()) {
            qCWarning(lcFiles, "Refusing saved show %s: a symbolic link", qUtf8Printable(file.filePath()));
            continue;
        }
        if (const auto record = Record::read(file.filePath(), file.fileName().chopped(5)))
            m_records.insert(record->id, Entry(*record));
    }
}

// Lookups

std::optional<DownloadedShowLibrary::Record> DownloadedShowLibrary::record(const QString &showID) const
{
    const auto found = m_records.constFind(showID);
    return found == m_records.cend() ? std::nullopt : std::optional(found->record);
}

std::optional<DownloadedShowSummary> DownloadedShowLibrary::summary(const QString &showID) const
{
    const auto found = std::find_if(m_shows.cbegin(), m_shows.cend(),
        [&showID](const DownloadedShowSummary &show) { return show.id == showID; });
    return found == m_shows.cend() ? std::nullopt : std::optional(*found);
}

std::optional<DownloadedShowSummary> DownloadedShowLibrary::currentShowSummary() const
{
    return m_liveID ? summary(*m_liveID) : std::nullopt;
}

std::optional<QJsonObject> DownloadedShowLibrary::rendition(const QString &ref, const QString &showID) const
{
    const auto found = m_records.constFind(showID);
    if (found == m_records.cend())
        return std::nullopt;
    const auto descriptor = found->record.renditionsByRef.constFind(ref);
    return descriptor == found->record.renditionsByRef.cend() ? std::nullopt : std::optional(*descriptor);
}

// Live capture and saving

void DownloadedShowLibrary::captureLiveManifest(const QJsonObject &manifest)
{
    const auto id = DownloadedShowContent::showIdentity(manifest);
    if (!id || !DownloadedShowContent::masterCoverage(manifest))
        return;
    if (id != m_liveID)
        m_liveRenditionsByRef.clear();
    m_liveID = id;
    m_liveManifest = manifest;
    updateLiveRecord([&manifest](Record &record) { record.manifest = manifest; });
    setIsCurrentShowSaved(m_records.contains(*m_liveID));
}

void DownloadedShowLibrary::captureLiveRendition(const QString &ref, const QJsonObject &descriptor)
{
    const auto validRef = DownloadedShowContent::validRenditionRef(ref);
    if (!validRef || DownloadedShowContent::ownerWants(descriptor, PageRange::all).isEmpty())
        return;
    m_liveRenditionsByRef.insert(*validRef, descriptor);
    updateLiveRecord([&](Record &record) {
        record.renditionsByRef.insert(*validRef, descriptor);
        record.expectedRenditionRefs.insert(*validRef);
    });
}

void DownloadedShowLibrary::updateLiveRecord(const std::function<void(Record &)> &change)
{
    if (!m_liveID)
        return;
    const auto found = m_records.constFind(*m_liveID);
    if (found == m_records.cend())
        return;
    Record record = found->record;
    change(record);
    record.updatedAt = now();
    commit(record);
}

bool DownloadedShowLibrary::saveCurrentShow(const QSet<QString> &expectedRenditionRefs)
{
    m_lastSaveFailure.reset();
    if (!m_liveID || !m_liveManifest) {
        m_lastSaveFailure = notPreparedText;
        return false;
    }
    const QSet<QString> advertised = DownloadedShowContent::advertisedRenditionRefs(*m_liveManifest);
    const auto previous = record(*m_liveID);

    Record saved {*m_liveID, *m_liveManifest};
    if (previous) {
        saved.expectedRenditionRefs = previous->expectedRenditionRefs & advertised;
        saved.renditionsByRef = previous->renditionsByRef;
    }
    for (const QString &ref : expectedRenditionRefs) {
        const auto validRef = DownloadedShowContent::validRenditionRef(ref);
        if (validRef && advertised.contains(*validRef))
            saved.expectedRenditionRefs.insert(*validRef);
    }
    saved.renditionsByRef.insert(m_liveRenditionsByRef);
    saved.renditionsByRef.removeIf(
        [&advertised](const auto &entry) { return !advertised.contains(entry.key()); });
    saved.updatedAt = now();

    if (!commit(saved)) {
        m_lastSaveFailure = saveFailedText;
        return false;
    }
    setIsCurrentShowSaved(true);
    return true;
}

void DownloadedShowLibrary::endLiveSession()
{
    m_liveID.reset();
    m_liveManifest.reset();
    m_liveRenditionsByRef.clear();
    setIsCurrentShowSaved(false);
}

bool DownloadedShowLibrary::persist(const Record &record) const
{
    const QString path = recordPath(record.id);
    const QByteArray bytes = json::compact(record.toJson());
    if (bytes.size() > maxRecordBytes) {
        qCWarning(lcFiles, "Not writing saved show %s: %lld bytes is over the limit", qUtf8Printable(path),
            qint64(bytes.size()));
        return false;
    }
    if (!QDir().mkpath(m_directory)) {
        qCWarning(lcFiles, "Could not create the saved shows directory %s", qUtf8Printable(m_directory));
        return false;
    }
    // A file at that name that was not loaded as a record (another program's, a newer release's, one
    // that failed its checks) is left as it is.
    const QFileInfo existing(path);
    if (!m_records.contains(record.id) && (existing.exists() || existing.isSymLink())) {
        qCWarning(lcFiles, "Not overwriting %s: a file this Player did not load", qUtf8Printable(path));
        return false;
    }
    if (!m_environment.writeFile(path, bytes)) {
        qCWarning(lcFiles, "Could not save the show to %s", qUtf8Printable(path));
        return false;
    }
    return true;
}

bool DownloadedShowLibrary::commit(const Record &record)
{
    if (!persist(record))
        return false;
    const auto previous = m_records.constFind(record.id);
    const QList<AssetStore::Want> oldWants
        = previous == m_records.cend() ? QList<AssetStore::Want> {} : previous->wants;
    m_records.insert(record.id, Entry(record));
    refresh();
    removeUnreferenced(oldWants);
    return true;
}

// Deleting

bool DownloadedShowLibrary::deleteShow(const QString &showID)
{
    setLastDeleteFailure(std::nullopt);
    const auto found = m_records.find(showID);
    if (found == m_records.end())
        return false;
    const QString path = recordPath(showID);
    const QFileInfo file(path);
    if ((file.exists() || file.isSymLink()) && !m_environment.removeFile(path)) {
        qCWarning(lcFiles, "Could not delete the saved show %s", qUtf8Printable(path));
        setLastDeleteFailure(deleteFailedText);
        return false;
    }
    const QList<AssetStore::Want> oldWants = found->wants;
    m_records.erase(found);
    if (showID == m_liveID)
        setIsCurrentShowSaved(false);
    refresh();
    removeUnreferenced(oldWants);
    return true;
}

void DownloadedShowLibrary::removeUnreferenced(const QList<AssetStore::Want> &oldWants)
{
    if (oldWants.isEmpty())
        return;
    QSet<QString> referenced;
    for (const Entry &entry : std::as_const(m_records)) {
        for (const AssetStore::Want &want : entry.wants)
            referenced.insert(want.cacheFileName);
    }
    QList<AssetStore::Want> orphans;
    for (const AssetStore::Want &want : oldWants) {
        if (!referenced.contains(want.cacheFileName))
            orphans.append(want);
    }
    if (!orphans.isEmpty())
        m_assets->remove(orphans);
}

// Summaries and pins

void DownloadedShowLibrary::refresh()
{
    QList<DownloadedShowSummary> summaries;
    QList<AssetStore::Want> pinned;
    QSet<QString> seen;
    for (const Entry &entry : std::as_const(m_records)) {
        summaries.append(summarize(entry));
        DownloadedShowContent::appendUnique(pinned, seen, entry.wants);
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(summaries.begin(), summaries.end(),
        [&collator](const DownloadedShowSummary &left, const DownloadedShowSummary &right) {
            if (left.updatedAt != right.updatedAt)
                return left.updatedAt > right.updatedAt;
            return collator.compare(left.title, right.title) < 0;
        });
    setShows(summaries);
    m_assets->setPinned(pinned);
}

DownloadedShowSummary DownloadedShowLibrary::summarize(const Entry &entry) const
{
    const Record &record = entry.record;
    const AssetStore::PageCoverage pages = m_assets->cachedPageCoverage(entry.coverage.wants);
    QSet<QString> parts = record.expectedRenditionRefs;
    for (const QString &ref : record.renditionsByRef.keys())
        parts.insert(ref);
    const auto readyParts = std::count_if(entry.renditionWants.cbegin(), entry.renditionWants.cend(),
        [this](const QList<AssetStore::Want> &wants) {
            return !wants.isEmpty() && m_assets->cachedCount(wants) == wants.size();
        });

    DownloadedShowSummary summary;
    summary.id = record.id;
    summary.title = DownloadedShowContent::displayTitle(record.manifest);
    summary.updatedAt = record.updatedAt;
    summary.chartCount = entry.coverage.chartCount;
    summary.cachedPages = pages.ready;
    summary.totalPages = pages.total;
    summary.readyPartCount = int(readyParts);
    summary.totalPartCount = int(parts.size());
    summary.byteCount = m_assets->cachedBytes(entry.wants);
    summary.unresolvedChartCount = entry.coverage.unresolvedChartCount;
    return summary;
}

void DownloadedShowLibrary::setShows(const QList<DownloadedShowSummary> &shows)
{
    if (shows == m_shows)
        return;
    m_shows = shows;
    Q_EMIT showsChanged();
}

void DownloadedShowLibrary::setIsCurrentShowSaved(bool saved)
{
    if (saved == m_isCurrentShowSaved)
        return;
    m_isCurrentShowSaved = saved;
    Q_EMIT isCurrentShowSavedChanged();
}

void DownloadedShowLibrary::setLastDeleteFailure(const std::optional<QString> &failure)
{
    if (failure == m_lastDeleteFailure)
        return;
    m_lastDeleteFailure = failure;
    Q_EMIT lastDeleteFailureChanged();
}

} // namespace pgw
