// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationEncoder.h"
#include "annotations/PrivateAnnotationLimits.h"
#include "annotations/PrivateAnnotationStoreError.h"

#include <optional>

namespace pgw {

// The JSON file of private ink: reading it within bounds, checking it, and writing it atomically.
class PrivateAnnotationFile
{
public:
    PrivateAnnotationFile(QString path, const PrivateAnnotationLimits &limits);

    const QString &path() const { return m_path; }

    // Reads the file into `pages`; a missing file reads as no pages.
    std::optional<PrivateAnnotationStoreError> load(PrivateAnnotationPages &pages);
    // Checks, encodes and atomically replaces the file; on failure the file is left as it was.
    std::optional<PrivateAnnotationStoreError> save(const PrivateAnnotationPages &pages);

    static std::optional<PrivateAnnotationStoreError> decode(
        const QByteArray &data, const PrivateAnnotationLimits &limits, PrivateAnnotationPages &pages);
    static std::optional<PrivateAnnotationStoreError> validate(
        const PrivateAnnotationPages &pages, const PrivateAnnotationLimits &limits);

private:
    QString m_path;
    PrivateAnnotationLimits m_limits;
    PrivateAnnotationEncoder m_encoder;
};

} // namespace pgw
