// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetStore.h"
#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowSummary.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pgw {

// The shows the musician saved for offline practice. Each saved show is one JSON file in the library's
// directory holding the show's manifest and the part renditions the Player received; their page
// images are pinned in the asset store so that eviction never takes them. While a live show runs, its
// latest manifest and renditions are captured so that saving can store them and a saved show stays up
// to date. Main thread only; the asset store's counting queries run synchronously on its queue.
class DownloadedShowLibrary : public QObject
{
    Q_OBJECT
    // Newest first.
    Q_PROPERTY(QList<pgw::DownloadedShowSummary> shows READ shows NOTIFY showsChanged)
    Q_PROPERTY(bool isCurrentShowSaved READ isCurrentShowSaved NOTIFY isCurrentShowSavedChanged)
    Q_PROPERTY(
        std::optional<QString> lastDeleteFailure READ lastDeleteFailure NOTIFY lastDeleteFailureChanged)

public:
    static constexpr qint64 maxRecordBytes = 16'777'216;
    static constexpr int maxRecordWants = 25'000;
    static constexpr int schemaVersion = 1;
    static inline const QString recordFormat = QStringLiteral("local.pagewright.downloaded-show");
    static inline const QString directoryName = QStringLiteral("DownloadedShows");

    static inline const QString notPreparedText = QStringLiteral("the host is still preparing this show");
    static inline const QString saveFailedText
        = QStringLiteral("the saved show could not be written to this device");
    static inline const QString deleteFailedText
        = QStringLiteral("the saved show could not be removed from this device");

    // One saved show as stored in its file.
    struct Record
    {
        // 32 lowercase hexadecimal digits, also the file's name.
        QString id;
        QJsonObject manifest;
        QMap<QString, QJsonObject> renditionsByRef;
        // The renditions the show must hold before it counts as ready.
        QSet<QString> expectedRenditionRefs;
        QDateTime updatedAt;

        bool operator==(const Record &) const = default;

        // The master pages, then every stored rendition's, one per cache file and at most 25,000.
        QList<AssetStore::Want> wants() const;
        QJsonObject toJson() const;
        // Absent unless the object is a consistent record that belongs in the file named `fileID`.json.
        static std::optional<Record> fromJson(const QJsonObject &object, const QString &fileID);
        // Reads and checks one record file; absent when it is unreadable, oversized or not a record.
        static std::optional<Record> read(const QString &path, const QString &fileID);
    };

    // The clock and file operations, replaceable in tests.
    struct Environment
    {
        // Milliseconds since the epoch.
        std::function<qint64()> wallClock;
        std::function<bool(const QString &path, const QByteArray &bytes)> writeFile;
        std::function<bool(const QString &path)> removeFile;
    };
    static Environment systemEnvironment();

    // Creates the directory, loads the records found in it and pins their pages.
    DownloadedShowLibrary(
        const QString &directory, std::shared_ptr<AssetStore> assets, QObject *parent = nullptr);
    DownloadedShowLibrary(const QString &directory, std::shared_ptr<AssetStore> assets,
        Environment environment, QObject *parent = nullptr);

    QString directory() const { return m_directory; }
    QList<DownloadedShowSummary> shows() const { return m_shows; }
    bool isCurrentShowSaved() const { return m_isCurrentShowSaved; }
    std::optional<QString> lastDeleteFailure() const { return m_lastDeleteFailure; }
    std::optional<QString> lastSaveFailure() const { return m_lastSaveFailure; }

    std::optional<Record> record(const QString &showID) const;
    std::optional<DownloadedShowSummary> summary(const QString &showID) const;
    // The summary of the live show's record, when it is saved.
    std::optional<DownloadedShowSummary> currentShowSummary() const;
    // A stored part rendition of a saved show, for practice.
    std::optional<QJsonObject> rendition(const QString &ref, const QString &showID) const;

    // Every manifest and rendition the live show accepts (never those of ephemeral shows).
    void captureLiveManifest(const QJsonObject &manifest);
    void captureLiveRendition(const QString &ref, const QJsonObject &descriptor);
    // Saves the live show; on failure lastSaveFailure() says why.
    bool saveCurrentShow(const QSet<QString> &expectedRenditionRefs);
    void endLiveSession();
    // Deletes a saved show and the cached files no other saved show needs; on a failure to remove
    // its file, lastDeleteFailure() says so and the show stays.
    bool deleteShow(const QString &showID);
    // Recomputes the summaries and the asset store's pins.
    void refresh();

Q_SIGNALS:
    void showsChanged();
    void isCurrentShowSavedChanged();
    void lastDeleteFailureChanged();

private:
    // A record with the page wants derived from it, worked out once rather than on every refresh.
    struct Entry
    {
        Record record;
        DownloadedShowCoverage coverage;
        QList<QList<AssetStore::Want>> renditionWants;
        QList<AssetStore::Want> wants;

        explicit Entry(const Record &record);
    };

    QString recordPath(const QString &id) const;
    QDateTime now() const;
    void loadRecords();
    bool persist(const Record &record) const;
    // Writes the record and, once written, keeps it and lets go of the files it no longer needs.
    bool commit(const Record &record);
    // Applies a change to the live show's record, when it has one.
    void updateLiveRecord(const std::function<void(Record &)> &change);
    void removeUnreferenced(const QList<AssetStore::Want> &oldWants);
    DownloadedShowSummary summarize(const Entry &entry) const;

    void setShows(const QList<DownloadedShowSummary> &shows);
    void setIsCurrentShowSaved(bool saved);
    void setLastDeleteFailure(const std::optional<QString> &failure);

    QList<DownloadedShowSummary> m_shows;
    bool m_isCurrentShowSaved = false;
    std::optional<QString> m_lastDeleteFailure;
    std::optional<QString> m_lastSaveFailure;
    const QString m_directory;
    const std::shared_ptr<AssetStore> m_assets;
    const Environment m_environment;
    QMap<QString, Entry> m_records;
    std::optional<QString> m_liveID;
    std::optional<QJsonObject> m_liveManifest;
    QMap<QString, QJsonObject> m_liveRenditionsByRef;
};

} // namespace pgw
