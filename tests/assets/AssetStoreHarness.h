// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"
#include "assets/AssetCacheName.h"
#include "assets/AssetStore.h"
#include "support/ManualScheduler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace pgw::test {

// One store over a real temporary directory, its queue and the main thread both on one manual
// scheduler, with a recording fetch function and a file writer that can be told to fail.
class AssetStoreHarness
{
public:
    struct Fetch
    {
        qint64 scoreToken = 0;
        qint64 pageIndex = 0;
        QString kind;
        QString version;
        bool urgent = false;
        AssetFetchCompletion completion;
    };

    // The request's tag, the data, whether it is the version asked for.
    using Answer = std::tuple<QString, std::optional<QByteArray>, bool>;

    static constexpr qint64 epochMs = 1'700'000'000'000;

    explicit AssetStoreHarness(const QString &directory = {})
        : path(directory.isEmpty() ? root.filePath(QStringLiteral("Assets")) : directory)
    { }

    void start(bool withNetwork = true)
    {
        store = AssetStore::create(path,
            {scheduler, scheduler, [this] { return wallNow(); },
                [this](const QString &filePath, const QByteArray &bytes) {
                    ++writes;
                    if (failingWrites > 0) {
                        --failingWrites;
                        return false;
                    }
                    return AssetDirectory::writeAtomically(filePath, bytes);
                },
                [this](const QString &filePath) {
                    return !failRemoves && AssetDirectory::removeItem(filePath);
                }});
        if (withNetwork) {
            store->setNetwork([this](qint64 token, qint64 page, const QString &kind, const QString &version,
                                  bool urgent, AssetFetchCompletion completion) {
                fetches.append({token, page, kind, version, urgent, std::move(completion)});
            });
        }
        store->setOnContentsChange([this] { ++contentsChanges; });
        scheduler.runPending();
    }

    qint64 wallNow() const { return epochMs + qint64(scheduler.now() * 1000); }

    void retrieve(const QString &tag, const AssetStore::Want &want, AssetStore::RetrievalPriority priority,
        bool allowStale = false)
    {
        store->retrieve(want.scoreKey, want.scoreToken, want.pageIndex, want.kind, want.version, priority,
            allowStale, [this, tag](const std::optional<QByteArray> &data, bool exact) {
                answers.append({tag, data, exact});
            });
        scheduler.runPending();
    }

    void pump(const QList<AssetStore::Want> &wants, const std::optional<QString> &protecting = std::nullopt)
    {
        store->pump(wants, protecting);
        scheduler.runPending();
    }

    void remove(const QList<AssetStore::Want> &wants)
    {
        store->remove(wants);
        scheduler.runPending();
    }

    // Whether the removal reported completion.
    bool removeAssets(const QStringList &scoreKeys)
    {
        bool done = false;
        store->removeAssets(scoreKeys, [&done] { done = true; });
        scheduler.runPending();
        return done;
    }

    void answer(int fetch, qint64 status, const std::optional<QByteArray> &data,
        const std::optional<QString> &served = std::nullopt)
    {
        fetches[fetch].completion(status, served, data);
        scheduler.runPending();
    }

    QString filePath(const QString &name) const { return path + u'/' + name; }
    bool has(const QString &name) const { return QFileInfo::exists(filePath(name)); }
    // Those of `names` whose files exist, in their order.
    QStringList present(const QStringList &names) const
    {
        QStringList found = names;
        found.removeIf([this](const QString &name) { return !has(name); });
        return found;
    }

    // A file placed in the cache directory before the store starts; sparse when `size` is given.
    void place(const QString &name, const QByteArray &bytes, qint64 modifiedMs, qint64 size = -1)
    {
        QDir().mkpath(path);
        writeFile(filePath(name), bytes, size);
        QFile file(filePath(name));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(
            file.setFileTime(QDateTime::fromMSecsSinceEpoch(modifiedMs), QFileDevice::FileModificationTime));
    }

    // Files placed oldest first, one millisecond apart from `firstModifiedMs`.
    void placeAll(const QStringList &names, const QByteArray &bytes, qint64 firstModifiedMs)
    {
        for (qsizetype i = 0; i < names.size(); ++i)
            place(names[i], bytes, firstModifiedMs + i);
    }

    QTemporaryDir root;
    QString path;
    ManualScheduler scheduler;
    std::shared_ptr<AssetStore> store;
    QList<Fetch> fetches;
    QList<Answer> answers;
    int writes = 0;
    int failingWrites = 0;
    bool failRemoves = false;
    int contentsChanges = 0;
};

inline QStringList fileNames(const QList<AssetStore::Want> &wants)
{
    QStringList names;
    for (const AssetStore::Want &want : wants)
        names.append(want.cacheFileName);
    return names;
}

inline AssetStore::Want want(const QString &scoreKey, qint64 page, const QString &version,
    const QString &kind = QStringLiteral("base.png"), qint64 token = 1)
{
    return AssetStore::Want::make(scoreKey, token, page, kind, version);
}

} // namespace pgw::test
