// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/RenditionManifestRequestStore.h"

#include "link/Wire.h"
#include "support/Json.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

void RenditionManifestRequestStore::insert(
    const QString &requestId, const QString &ref, double timeout, Completion completion)
{
    m_requests.insert(requestId, timeout, std::nullopt, {},
        [this, requestId, completion = std::move(completion)](std::optional<QJsonObject> manifest) {
            m_refs.remove(requestId);
            completion(std::move(manifest));
        });
    m_refs.insert(requestId, ref);
}

bool RenditionManifestRequestStore::resolve(const QString &requestId,
    const std::optional<QString> &responseRef, const std::optional<QJsonObject> &manifest)
{
    const auto ref = m_refs.constFind(requestId);
    if (ref == m_refs.constEnd())
        return false;
    const bool matches = !responseRef || *responseRef == *ref;
    return m_requests.resolve(requestId, matches ? manifest : std::nullopt);
}

void RenditionManifestRequestStore::failAll()
{
    m_requests.failAll();
    m_refs.clear();
}

std::optional<QJsonObject> RenditionManifestRequestStore::descriptor(const QJsonObject &message)
{
    if (json::stringOr(message, "type"_L1) != MessageType::renditionManifest)
        return std::nullopt;
    const QJsonObject d = json::optObject(message, "manifest"_L1).value_or(message);
    if (!json::optNumber(d, "scoreToken"_L1) || !json::nonEmptyString(d, "scoreKey"_L1))
        return std::nullopt;
    if (json::numberOr(d, "pageCount"_L1, 0) < 1)
        return std::nullopt;
    const QJsonArray pages = json::arrayOr(d, "pages"_L1);
    const bool pagesValid
        = !pages.isEmpty() && std::all_of(pages.begin(), pages.end(), [](const QJsonValue &page) {
              const QJsonObject p = page.toObject();
              return page.isObject() && json::optNumber(p, "index"_L1)
                  && json::nonEmptyString(p, "baseVersion"_L1);
          });
    if (!pagesValid)
        return std::nullopt;
    return d;
}

} // namespace pgw
