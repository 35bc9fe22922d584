#pragma once

#include "annotations/PrivateAnnotationLimits.h"
#include "annotations/PrivateAnnotationPageKey.h"
#include "annotations/PrivateAnnotationStoreError.h"
#include "annotations/PrivateAnnotationStroke.h"

#include <QByteArray>
#include <QMap>

#include <optional>

namespace pgw {

// Strokes by page, in file order; only pages with at least one stroke have an entry.
using PrivateAnnotationPages = QMap<PrivateAnnotationPageKey, QList<PrivateAnnotationStroke>>;

// The JSON file of private ink: reading it within bounds, checking it, and writing it atomically.
class PrivateAnnotationFile
{
public:
    static constexpr QLatin1StringView format {"local.pagewright.private-annotations"};
    static constexpr qint64 schemaVersion = 1;

    PrivateAnnotationFile(QString path, const PrivateAnnotationLimits &limits);

    const QString &path() const { return m_path; }

    // Reads the file into `pages`; a missing file reads as no pages.
    std::optional<PrivateAnnotationStoreError> load(PrivateAnnotationPages &pages) const;
    // Checks, encodes and atomically replaces the file; on failure the file is left as it was.
    std::optional<PrivateAnnotationStoreError> save(const PrivateAnnotationPages &pages) const;

    static std::optional<PrivateAnnotationStoreError> decode(
        const QByteArray &data, const PrivateAnnotationLimits &limits, PrivateAnnotationPages &pages);
    static std::optional<PrivateAnnotationStoreError> validate(
        const PrivateAnnotationPages &pages, const PrivateAnnotationLimits &limits);
    // Compact JSON with every object's keys in sorted order.
    static QByteArray encode(const PrivateAnnotationPages &pages);

private:
    QString m_path;
    PrivateAnnotationLimits m_limits;
};

} // namespace pgw
