// SPDX-License-Identifier: GPL-3.0-or-later
#include "saved/DownloadedShowContent.h"
#include "saved/DownloadedShowLibrary.h"
#include "support/Json.h"
#include "support/Logging.h"

#include <QFile>
#include <QJsonArray>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

constexpr qsizetype identityLength = 32;
// A time stamp past the year 9999 either way is not one we wrote; it reads as 1970.
constexpr double timestampLimitSeconds = 253'402'300'800.0;

QDateTime timestampFromSeconds(double seconds)
{
    if (!(std::abs(seconds) < timestampLimitSeconds))
        seconds = 0;
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000), Qt::UTC);
}

// Why an object read from a record file is not a record, for the log.
const char *refusal(const std::optional<QJsonObject> &object)
{
    if (!object)
        return "not a JSON object";
    if (json::optString(*object, "format"_L1) != DownloadedShowLibrary::recordFormat)
        return "another program's format";
    if (json::intOr(*object, "schemaVersion"_L1, 0) > DownloadedShowLibrary::schemaVersion)
        return "written by a newer version";
    return "not a consistent saved show";
}

} // namespace

using DownloadedShowContent::PageRange;

DownloadedShowLibrary::Entry::Entry(const Record &record)
    : record(record)
    , coverage(DownloadedShowContent::masterCoverage(record.manifest).value_or(DownloadedShowCoverage {}))
{
    for (const QJsonObject &descriptor : record.renditionsByRef)
        renditionWants.append(DownloadedShowContent::ownerWants(descriptor, PageRange::all));
    // Duplicates count towards the limit, which bounds the work before they are dropped.
    QList<AssetStore::Want> all
        = coverage.wants.first(std::min(coverage.wants.size(), qsizetype(maxRecordWants)));
    for (const QList<AssetStore::Want> &part : std::as_const(renditionWants))
        all.append(part.first(std::min(part.size(), maxRecordWants - all.size())));
    QSet<QString> seen;
    DownloadedShowContent::appendUnique(wants, seen, all);
}

QList<AssetStore::Want> DownloadedShowLibrary::Record::wants() const
{
    return Entry(*this).wants;
}

QJsonObject DownloadedShowLibrary::Record::toJson() const
{
    QJsonObject renditions;
    for (auto it = renditionsByRef.cbegin(); it != renditionsByRef.cend(); ++it)
        renditions.insert(it.key(), it.value());
    QStringList expected = expectedRenditionRefs.values();
    expected.sort();
    return {
        {"format"_L1, recordFormat},
        {"schemaVersion"_L1, schemaVersion},
        {"id"_L1, id},
        {"updatedAt"_L1, double(updatedAt.toMSecsSinceEpoch()) / 1000.0},
        {"manifest"_L1, manifest},
        {"renditionsByRef"_L1, renditions},
        {"expectedRenditionRefs"_L1, QJsonArray::fromStringList(expected)},
    };
}

std::optional<DownloadedShowLibrary::Record> DownloadedShowLibrary::Record::fromJson(
    const QJsonObject &object, const QString &fileID)
{
    if (json::optString(object, "format"_L1) != recordFormat
        || json::optInt(object, "schemaVersion"_L1) != schemaVersion)
        return std::nullopt;
    const auto id = json::optString(object, "id"_L1);
    if (!id || id->size() != identityLength || *id != fileID)
        return std::nullopt;
    const auto manifest = json::optObject(object, "manifest"_L1);
    if (!manifest || DownloadedShowContent::showIdentity(*manifest) != *id
        || !DownloadedShowContent::masterCoverage(*manifest))
        return std::nullopt;

    Record record {*id, *manifest};
    const QJsonObject renditions = json::objectOr(object, "renditionsByRef"_L1);
    for (auto it = renditions.constBegin(); it != renditions.constEnd(); ++it) {
        const auto ref = DownloadedShowContent::validRenditionRef(it.key());
        const QJsonObject descriptor = it.value().toObject();
        if (ref && !DownloadedShowContent::ownerWants(descriptor, PageRange::all).isEmpty())
            record.renditionsByRef.insert(*ref, descriptor);
    }
    for (const QJsonValue &value : json::arrayOr(object, "expectedRenditionRefs"_L1)) {
        if (const auto ref = DownloadedShowContent::validRenditionRef(value.toString()))
            record.expectedRenditionRefs.insert(*ref);
    }
    for (const QString &ref : record.renditionsByRef.keys())
        record.expectedRenditionRefs.insert(ref);
    record.updatedAt = timestampFromSeconds(json::numberOr(object, "updatedAt"_L1, 0));
    return record;
}

std::optional<DownloadedShowLibrary::Record> DownloadedShowLibrary::Record::read(
    const QString &path, const QString &fileID)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFiles, "Could not read saved show %s: %s", qUtf8Printable(path),
            qUtf8Printable(file.errorString()));
        return std::nullopt;
    }
    const qint64 size = file.size();
    // The file may have grown since it was measured: one byte past the limit tells.
    const bool oversized = size < 0 || size > maxRecordBytes;
    const QByteArray bytes = oversized ? QByteArray() : file.read(size + 1);
    if (oversized || bytes.size() > maxRecordBytes) {
        qCWarning(lcFiles, "Refusing saved show %s: over %lld bytes", qUtf8Printable(path), maxRecordBytes);
        return std::nullopt;
    }
    const auto object = json::parseObject(bytes);
    auto record = object ? fromJson(*object, fileID) : std::nullopt;
    if (!record)
        qCWarning(lcFiles, "Refusing saved show %s: %s", qUtf8Printable(path), refusal(object));
    return record;
}

} // namespace pgw
