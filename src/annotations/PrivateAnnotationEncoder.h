// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationPageKey.h"
#include "annotations/PrivateAnnotationStroke.h"

#include <QByteArray>
#include <QHash>
#include <QMap>

namespace pgw {

// Strokes by page, in file order; only pages with at least one stroke have an entry.
using PrivateAnnotationPages = QMap<PrivateAnnotationPageKey, QList<PrivateAnnotationStroke>>;

// Writes the annotation file's JSON: compact, with every object's keys in sorted order. Every change
// rewrites the whole file on the main thread, so the last text written is kept and a stroke that has
// not changed since is copied from it; only new strokes are formatted.
class PrivateAnnotationEncoder
{
public:
    static constexpr QLatin1StringView format {"local.pagewright.private-annotations"};
    static constexpr qint64 schemaVersion = 1;

    QByteArray encode(const PrivateAnnotationPages &pages);

private:
    // Where a stroke's text lies in `m_text`.
    struct EncodedStroke
    {
        PrivateAnnotationStroke stroke;
        qsizetype start = 0;
        qsizetype length = 0;
    };

    QByteArray m_text;
    QHash<QUuid, EncodedStroke> m_strokes;
};

} // namespace pgw
