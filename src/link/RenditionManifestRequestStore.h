// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/PlayerRequestDeadlineStore.h"

#include <QHash>
#include <QJsonObject>

#include <optional>

namespace pgw {

// Outstanding part-rendition requests. An answer only counts for the rendition that was asked for.
class RenditionManifestRequestStore
{
public:
    using Completion = std::function<void(std::optional<QJsonObject>)>;

    explicit RenditionManifestRequestStore(Scheduler &queue)
        : m_requests(queue)
    { }

    void insert(const QString &requestId, const QString &ref, double timeout, Completion completion);
    // The completion receives the descriptor when the answer names no ref or the requested one,
    // nothing otherwise.
    bool resolve(const QString &requestId, const std::optional<QString> &responseRef,
        const std::optional<QJsonObject> &manifest);
    void failAll();
    bool contains(const QString &requestId) const { return m_requests.contains(requestId); }

    // The descriptor of a "renditionManifest" answer, when it has what a part rendition needs.
    static std::optional<QJsonObject> descriptor(const QJsonObject &message);

private:
    PlayerRequestDeadlineStore<std::optional<QJsonObject>> m_requests;
    QHash<QString, QString> m_refs;
};

} // namespace pgw
