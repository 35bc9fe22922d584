// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "assets/AssetFetch.h"
#include "show/ShowModel.h"

#include <QJsonObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace pgw {

class DemoShow;
class PlayerConnection;
class Scheduler;

// Where the show on the stand comes from: the Host over the link, the demo standing in for a Host, or
// a show saved on this device. The model asks it for manifests and the asset store for pages; the
// application installs one source at a time.
struct ShowSource
{
    std::function<void(ShowModel::ManifestAnswer)> manifest;
    std::function<void(const QString &ref, ShowModel::ManifestAnswer)> renditionManifest;
    // Runs on the asset store's queue.
    AssetFetch assets;

    // Everything is asked of the Host; once the connection is gone every request fails.
    static ShowSource live(std::weak_ptr<PlayerConnection> connection);
    // Answers come from the demo on the main thread, so a request never completes inside the call.
    static ShowSource demo(Scheduler &main, QPointer<DemoShow> demo);
    // A saved show answers with its stored manifest and renditions; its pages are all in the cache,
    // so there is nobody to ask for one.
    static ShowSource saved(Scheduler &main, QJsonObject manifest,
        std::function<std::optional<QJsonObject>(const QString &ref)> rendition);
};

} // namespace pgw
