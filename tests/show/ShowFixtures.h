// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"
#include "show/ShowModel.h"
#include "support/ManualScheduler.h"

#include <QJsonArray>

namespace pgw::test {

using namespace Qt::StringLiterals;

// Page dictionaries 0 … count − 1 at base version "b<index>".
inline QJsonArray pages(int count)
{
    QJsonArray list;
    for (int i = 0; i < count; ++i)
        list.append(QJsonObject {{"index"_L1, i}, {"baseVersion"_L1, u"b%1"_s.arg(i)}});
    return list;
}

inline QJsonObject item(const QString &key, int token, int pageCount, std::optional<int> startPage = {},
    std::optional<int> endPage = {})
{
    QJsonObject item {{"scoreKey"_L1, key}, {"scoreToken"_L1, token}, {"title"_L1, key.toUpper()},
        {"pageCount"_L1, pageCount}, {"pages"_L1, pages(pageCount)}};
    if (startPage)
        item.insert("startPage"_L1, *startPage);
    if (endPage)
        item.insert("endPage"_L1, *endPage);
    return item;
}

// A manifest whose open score is `items[open]` and whose Host state is on (open, page).
inline QJsonObject manifest(int version, const QJsonArray &items, int open = 0, int page = 0)
{
    return {{"structureVersion"_L1, version}, {"score"_L1, items.at(open)},
        {"show"_L1, QJsonObject {{"items"_L1, items}, {"currentScoreIndex"_L1, open}}},
        {"state"_L1,
            QJsonObject {{"pageIndex"_L1, page}, {"scoreIndex"_L1, open},
                {"scoreKey"_L1, items.at(open)["scoreKey"_L1]}}}};
}

// Alpha pages 0–2; beta pages 0–3 playing from 1; gamma pages 0–4 playing from 2.
inline QJsonArray threeItems()
{
    return {item(u"alpha"_s, 1, 3), item(u"beta"_s, 2, 4, 1), item(u"gamma"_s, 3, 5, 2)};
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

// The Host's item goes into `target` only when `scoreIndex` is given.
inline QJsonObject naming(QJsonObject target, std::optional<int> scoreIndex, const QString &scoreKey)
{
    if (scoreIndex) {
        target.insert("scoreIndex"_L1, *scoreIndex);
        target.insert("scoreKey"_L1, scoreKey);
    }
    return target;
}

inline QJsonObject hello(
    int structureVersion, int page = -1, std::optional<int> scoreIndex = {}, const QString &scoreKey = {})
{
    return {{"type"_L1, "hello"_L1}, {"protocolVersion"_L1, 1}, {"structureVersion"_L1, structureVersion},
        {"state"_L1, naming({{"pageIndex"_L1, page}}, scoreIndex, scoreKey)}};
}

inline QJsonObject nav(double t, int page, std::optional<int> structureVersion = {},
    std::optional<int> scoreIndex = {}, const QString &scoreKey = {})
{
    QJsonObject message {{"type"_L1, "nav"_L1}, {"t"_L1, t}, {"pageIndex"_L1, page}};
    if (structureVersion)
        message.insert("structureVersion"_L1, *structureVersion);
    return naming(message, scoreIndex, scoreKey);
}

inline QJsonObject structure(int version)
{
    return {{"type"_L1, "structure"_L1}, {"structureVersion"_L1, version}};
}

// Joins `model`, greets it with the manifest's own Host state and answers its request with the manifest.
inline void goLive(ShowModel &model, ManifestSource &source, ManualScheduler &scheduler,
    const QJsonObject &manifest, int helloPage = 0)
{
    source.attach(model);
    model.didJoin();
    const QJsonObject state = manifest["state"_L1].toObject();
    const auto item
        = state.contains("scoreIndex"_L1) ? std::optional(state["scoreIndex"_L1].toInt()) : std::nullopt;
    model.handle(
        hello(manifest["structureVersion"_L1].toInt(), helloPage, item, state["scoreKey"_L1].toString()));
    source.answer(manifest);
    scheduler.runPending();
}

// A joined, live model with an accepted manifest.
struct LiveShow
{
    ManualScheduler scheduler;
    ShowModel model {scheduler};
    ManifestSource source;

    explicit LiveShow(const QJsonObject &manifest, int helloPage = 0)
    {
        goLive(model, source, scheduler, manifest, helloPage);
    }
};

// The score token of the page the stage leads with (the published token waits for its image).
inline qint64 displayedToken(const ShowModel &model)
{
    const StagePageList pages = model.stagePages();
    return pages.isEmpty() ? -1 : pages.first().scoreToken;
}

// Phase, the Host's page and the displayed item and page in one line, e.g. "peek host 0 shows 1/2".
inline QString where(const ShowModel &model)
{
    static const char *const phases[] {"ended", "lobby", "connecting", "live", "peek", "offline"};
    const auto item = model.displayedScoreIndex();
    return u"%1 host %2 shows %3/%4"_s.arg(QLatin1StringView(phases[model.phase().kind]))
        .arg(model.navIndex())
        .arg(item ? QString::number(*item) : u"-"_s)
        .arg(model.displayedIndex());
}

} // namespace pgw::test
