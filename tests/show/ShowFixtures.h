// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"
#include "show/ShowModel.h"
#include "support/Json.h"
#include "support/ManualScheduler.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QList>

namespace pgw::test {

// Page dictionaries 0 … count − 1 at base version "b<index>".
inline QJsonArray pages(int count, int first = 0)
{
    QJsonArray list;
    for (int i = first; i < first + count; ++i)
        list.append(QJsonObject {
            {QStringLiteral("index"), i}, {QStringLiteral("baseVersion"), QStringLiteral("b%1").arg(i)}});
    return list;
}

inline QJsonObject item(const QString &key, int token, int pageCount, std::optional<int> startPage = {},
    std::optional<int> endPage = {})
{
    QJsonObject item {{QStringLiteral("scoreKey"), key}, {QStringLiteral("scoreToken"), token},
        {QStringLiteral("title"), key.toUpper()}, {QStringLiteral("pageCount"), pageCount},
        {QStringLiteral("pages"), pages(pageCount)}};
    if (startPage)
        item.insert(QStringLiteral("startPage"), *startPage);
    if (endPage)
        item.insert(QStringLiteral("endPage"), *endPage);
    return item;
}

// A manifest whose open score is `items[open]` and whose Host state is on (open, page).
inline QJsonObject manifest(int version, const QJsonArray &items, int open = 0, int page = 0)
{
    QJsonObject score = items.at(open).toObject();
    QJsonObject show {{QStringLiteral("items"), items}, {QStringLiteral("currentScoreIndex"), open}};
    QJsonObject state {{QStringLiteral("pageIndex"), page}, {QStringLiteral("scoreIndex"), open},
        {QStringLiteral("scoreKey"), score.value(QStringLiteral("scoreKey"))}};
    return QJsonObject {{QStringLiteral("structureVersion"), version}, {QStringLiteral("score"), score},
        {QStringLiteral("show"), show}, {QStringLiteral("state"), state}};
}

inline QJsonArray threeItems()
{
    return QJsonArray {item(QStringLiteral("alpha"), 1, 3), item(QStringLiteral("beta"), 2, 4, 1),
        item(QStringLiteral("gamma"), 3, 5, 2)};
}

// A manifest source that holds requests until the test answers them.
struct ManifestSource
{
    QList<ShowModel::ManifestAnswer> pending;

    void attach(ShowModel &model)
    {
        model.requestManifest
            = [this](ShowModel::ManifestAnswer answer) { pending.append(std::move(answer)); };
    }
    void answer(const std::optional<QJsonObject> &manifest)
    {
        if (!pending.isEmpty())
            pending.takeFirst()(manifest);
    }
};

inline QJsonObject hello(
    int structureVersion, int page = -1, std::optional<int> scoreIndex = {}, const QString &scoreKey = {})
{
    QJsonObject state {{QStringLiteral("pageIndex"), page}};
    if (scoreIndex) {
        state.insert(QStringLiteral("scoreIndex"), *scoreIndex);
        state.insert(QStringLiteral("scoreKey"), scoreKey);
    }
    return QJsonObject {{QStringLiteral("type"), QStringLiteral("hello")},
        {QStringLiteral("protocolVersion"), 1}, {QStringLiteral("structureVersion"), structureVersion},
        {QStringLiteral("state"), state}};
}

inline QJsonObject nav(double t, int page, std::optional<int> structureVersion = {},
    std::optional<int> scoreIndex = {}, const QString &scoreKey = {})
{
    QJsonObject message {{QStringLiteral("type"), QStringLiteral("nav")}, {QStringLiteral("t"), t},
        {QStringLiteral("pageIndex"), page}};
    if (structureVersion)
        message.insert(QStringLiteral("structureVersion"), *structureVersion);
    if (scoreIndex) {
        message.insert(QStringLiteral("scoreIndex"), *scoreIndex);
        message.insert(QStringLiteral("scoreKey"), scoreKey);
    }
    return message;
}

// A joined, live model with an accepted manifest.
struct LiveShow
{
    ManualScheduler scheduler;
    ShowModel model {scheduler};
    ManifestSource source;

    explicit LiveShow(const QJsonObject &manifest, int helloPage = 0)
    {
        source.attach(model);
        model.didJoin();
        model.setPhase(ShowPhase::connecting());
        const QJsonObject state = manifest.value(QStringLiteral("state")).toObject();
        model.handle(hello(manifest.value(QStringLiteral("structureVersion")).toInt(), helloPage,
            state.value(QStringLiteral("scoreIndex")).toInt(),
            state.value(QStringLiteral("scoreKey")).toString()));
        source.answer(manifest);
        scheduler.runPending();
    }
};

} // namespace pgw::test

#include "assets/AssetStore.h"

#include <QTemporaryDir>

namespace pgw::test {

// An asset store over a temporary directory whose network answers only when the test says so.
struct FakeHostAssets
{
    struct Request
    {
        qint64 scoreToken;
        qint64 pageIndex;
        QString kind;
        QString version;
        bool urgent;
        AssetFetchCompletion completion;
    };

    QTemporaryDir directory;
    std::shared_ptr<AssetStore> store;
    QList<Request> requests;

    explicit FakeHostAssets(Scheduler &scheduler)
    {
        store = AssetStore::create(directory.path(), AssetStore::Environment {scheduler, scheduler});
        store->setNetwork([this](qint64 token, qint64 page, const QString &kind, const QString &version,
                              bool urgent, AssetFetchCompletion completion) {
            requests.append({token, page, kind, version, urgent, std::move(completion)});
        });
    }

    static QByteArray bytes(qint64 token, qint64 page, const QString &kind, const QString &version)
    {
        return QStringLiteral("%1/%2/%3@%4").arg(token).arg(page).arg(kind, version).toUtf8();
    }

    // Answers the oldest request matching the page (any kind when empty) with its own bytes.
    bool serve(
        qint64 page, const QString &kind = QStringLiteral("base.png"), std::optional<QString> served = {})
    {
        for (qsizetype i = 0; i < requests.size(); ++i) {
            if (requests[i].pageIndex != page || requests[i].kind != kind)
                continue;
            Request request = requests.takeAt(i);
            const QString version = served.value_or(request.version);
            request.completion(200, version, bytes(request.scoreToken, page, kind, version));
            return true;
        }
        return false;
    }

    void fail(qint64 page, const QString &kind = QStringLiteral("base.png"))
    {
        for (qsizetype i = 0; i < requests.size(); ++i) {
            if (requests[i].pageIndex == page && requests[i].kind == kind) {
                requests.takeAt(i).completion(0, std::nullopt, std::nullopt);
                return;
            }
        }
    }
};

} // namespace pgw::test

namespace pgw::test {

// The score token of the page the stage leads with (the published token waits for its image).
inline qint64 displayedToken(const ShowModel &model)
{
    const StagePageList pages = model.stagePages();
    return pages.isEmpty() ? -1 : pages.first().scoreToken;
}

} // namespace pgw::test
