// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ShowSource.h"

#include "link/PlayerConnection.h"
#include "saved/DemoShow.h"
#include "support/Scheduler.h"

namespace pgw {

ShowSource ShowSource::live(std::weak_ptr<PlayerConnection> connection)
{
    return {
        [connection](ShowModel::ManifestAnswer answer) {
            if (auto link = connection.lock())
                link->requestManifest(std::move(answer));
            else
                answer(std::nullopt);
        },
        [connection](const QString &ref, ShowModel::ManifestAnswer answer) {
            if (auto link = connection.lock())
                link->requestRenditionManifest(ref, std::move(answer));
            else
                answer(std::nullopt);
        },
        [connection](qint64 token, qint64 page, const QString &kind, const QString &version, bool urgent,
            AssetFetchCompletion completion) {
            if (auto link = connection.lock())
                link->requestAsset(token, page, kind, version, urgent, std::move(completion));
            else
                completion(0, std::nullopt, std::nullopt);
        },
    };
}

ShowSource ShowSource::demo(Scheduler &main, QPointer<DemoShow> demo)
{
    Scheduler *scheduler = &main;
    return {
        [scheduler, demo](ShowModel::ManifestAnswer answer) {
            scheduler->post([demo, answer = std::move(answer)] {
                answer(demo ? std::optional(demo->manifest()) : std::nullopt);
            });
        },
        [scheduler](const QString &, ShowModel::ManifestAnswer answer) {
            scheduler->post([answer = std::move(answer)] { answer(std::nullopt); });
        },
        [scheduler, demo](qint64 token, qint64 page, const QString &kind, const QString &version, bool,
            AssetFetchCompletion completion) {
            scheduler->post([demo, token, page, kind, version, completion = std::move(completion)] {
                if (!demo) {
                    completion(0, std::nullopt, std::nullopt);
                    return;
                }
                const DemoShow::AssetAnswer answer = demo->answerAsset(token, page, kind, version);
                completion(answer.status, answer.fingerprint, answer.data);
            });
        },
    };
}

ShowSource ShowSource::saved(Scheduler &main, QJsonObject manifest,
    std::function<std::optional<QJsonObject>(const QString &ref)> rendition)
{
    Scheduler *scheduler = &main;
    return {
        [scheduler, manifest](ShowModel::ManifestAnswer answer) {
            scheduler->post([manifest, answer = std::move(answer)] { answer(manifest); });
        },
        [scheduler, rendition](const QString &ref, ShowModel::ManifestAnswer answer) {
            scheduler->post([found = rendition(ref), answer = std::move(answer)] { answer(found); });
        },
        [](qint64, qint64, const QString &, const QString &, bool, AssetFetchCompletion completion) {
            completion(0, std::nullopt, std::nullopt);
        },
    };
}

} // namespace pgw
