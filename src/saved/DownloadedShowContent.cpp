// SPDX-License-Identifier: GPL-3.0-or-later
#include "saved/DownloadedShowContent.h"

#include "show/ShowModel.h"
#include "support/Json.h"

#include <QCryptographicHash>
#include <QJsonArray>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace pgw::DownloadedShowContent {

namespace {

bool isBoundedKey(const QString &text)
{
    const qsizetype length = text.trimmed().size();
    return length >= 1 && length <= maxKeyLength;
}

QString itemIdentityLine(const QJsonObject &item, qsizetype position)
{
    const QString occurrence = json::stringOr(item, "occurrenceKey"_L1).trimmed();
    if (!occurrence.isEmpty())
        return u"occ|"_s + occurrence;
    return QStringList {
        QString::number(position),
        json::stringOr(item, "songKey"_L1).trimmed(),
        json::stringOr(item, "scoreKey"_L1).trimmed(),
        QString::number(json::intOr(item, "startPage"_L1, 0)),
        QString::number(json::intOr(item, "endPage"_L1, -1)),
        json::stringOr(item, "title"_L1).trimmed(),
    }
        .join(u'|');
}

// The owner's page objects with a usable index, sorted by it (stable); absent when "pages" is not an
// array of 1 to 5,000 objects.
std::optional<QList<std::pair<int, QJsonObject>>> indexedPages(const QJsonObject &owner)
{
    const QJsonValue value = owner.value("pages"_L1);
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray pages = value.toArray();
    if (pages.isEmpty() || pages.size() > maxPagesPerOwner)
        return std::nullopt;
    QList<std::pair<int, QJsonObject>> indexed;
    for (const QJsonValue &page : pages) {
        if (!page.isObject())
            return std::nullopt;
        const QJsonObject object = page.toObject();
        if (const auto index = json::optInt32(object, "index"_L1); index && *index >= 0)
            indexed.append({*index, object});
    }
    std::stable_sort(indexed.begin(), indexed.end(),
        [](const auto &left, const auto &right) { return left.first < right.first; });
    return indexed;
}

} // namespace

std::optional<QString> identityText(const QJsonObject &manifest)
{
    const QJsonObject show = json::objectOr(manifest, "show"_L1);
    const QString setlist = u"setlist|"_s + json::stringOr(show, "setlistName"_L1).trimmed();
    const QJsonArray items = json::arrayOr(show, "items"_L1);
    if (!items.isEmpty()) {
        QStringList lines;
        for (qsizetype i = 0; i < items.size(); ++i)
            lines.append(itemIdentityLine(items.at(i).toObject(), i));
        return setlist + u"\nitems|"_s + lines.join(u'\n');
    }
    const QString scoreKey = json::stringOr(json::objectOr(manifest, "score"_L1), "scoreKey"_L1).trimmed();
    if (scoreKey.isEmpty())
        return std::nullopt;
    return setlist + u"\nscore|"_s + scoreKey;
}

std::optional<QString> showIdentity(const QJsonObject &manifest)
{
    const auto text = identityText(manifest);
    if (!text)
        return std::nullopt;
    const QByteArray digest = QCryptographicHash::hash(text->toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.first(16).toHex());
}

QList<AssetStore::Want> ownerWants(const QJsonObject &owner, PageRange range)
{
    // Keys and versions are used as the stage uses them, so the wants name the very files it reads.
    const QString scoreKey = json::stringOr(owner, "scoreKey"_L1);
    const auto scoreToken = json::optInt(owner, "scoreToken"_L1);
    if (!isBoundedKey(scoreKey) || !scoreToken || *scoreToken < 0)
        return {};
    const auto pages = indexedPages(owner);
    // Without a page at index 0 or later the playable range is not defined.
    if (!pages || pages->isEmpty())
        return {};
    const QList<int> playable
        = range == PageRange::playable ? ShowModel::configuredPageIndices(owner) : QList<int> {};
    QList<AssetStore::Want> wants;
    for (const auto &[index, page] : *pages) {
        if (range == PageRange::playable && !std::binary_search(playable.cbegin(), playable.cend(), index))
            continue;
        const QString version = json::stringOr(page, "baseVersion"_L1);
        if (isBoundedKey(version))
            wants.append(AssetStore::Want::make(scoreKey, *scoreToken, index, baseKind, version));
    }
    return wants;
}

std::optional<DownloadedShowCoverage> masterCoverage(const QJsonObject &manifest)
{
    DownloadedShowCoverage coverage;
    QSet<QString> seen;
    const QJsonArray items = json::arrayOr(json::objectOr(manifest, "show"_L1), "items"_L1);
    if (!items.isEmpty()) {
        for (const QJsonValue &item : items) {
            const QList<AssetStore::Want> wants = ownerWants(item.toObject(), PageRange::playable);
            if (wants.isEmpty())
                ++coverage.unresolvedChartCount;
            appendUnique(coverage.wants, seen, wants);
        }
        coverage.chartCount = int(items.size());
        return coverage;
    }
    const auto score = json::optObject(manifest, "score"_L1);
    if (!score)
        return std::nullopt;
    appendUnique(coverage.wants, seen, ownerWants(*score, PageRange::all));
    coverage.chartCount = coverage.wants.isEmpty() ? 0 : 1;
    return coverage;
}

std::optional<QString> validRenditionRef(const QString &ref)
{
    const QString trimmed = ref.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > maxRenditionRefLength || trimmed.contains(u'/')
        || trimmed.contains(u'\\'))
        return std::nullopt;
    return trimmed;
}

QSet<QString> advertisedRenditionRefs(const QJsonObject &manifest)
{
    QList<QJsonObject> owners;
    for (const QJsonValue &item : json::arrayOr(json::objectOr(manifest, "show"_L1), "items"_L1))
        owners.append(item.toObject());
    owners.append(json::objectOr(manifest, "score"_L1));
    QSet<QString> refs;
    for (const QJsonObject &owner : std::as_const(owners)) {
        for (const QJsonValue &option : json::arrayOr(owner, "partOptions"_L1)) {
            if (const auto ref = validRenditionRef(json::stringOr(option.toObject(), "ref"_L1)))
                refs.insert(*ref);
        }
    }
    return refs;
}

QString displayTitle(const QJsonObject &manifest)
{
    const QString setlist = json::stringOr(json::objectOr(manifest, "show"_L1), "setlistName"_L1).trimmed();
    if (!setlist.isEmpty())
        return setlist;
    const QString title = json::stringOr(json::objectOr(manifest, "score"_L1), "title"_L1).trimmed();
    return title.isEmpty() ? u"Saved Show"_s : title;
}

void appendUnique(QList<AssetStore::Want> &into, QSet<QString> &seen, const QList<AssetStore::Want> &wants)
{
    for (const AssetStore::Want &want : wants) {
        if (!seen.contains(want.cacheFileName)) {
            seen.insert(want.cacheFileName);
            into.append(want);
        }
    }
}

} // namespace pgw::DownloadedShowContent
