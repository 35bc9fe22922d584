// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotations/PrivateAnnotationPageKey.h"

#include <QtGlobal>

namespace pgw {

// Bounds on the annotation file, enforced alike when reading and when writing.
struct PrivateAnnotationLimits
{
    qint64 maximumFileBytes = 16 * 1024 * 1024;
    qsizetype maximumPages = 4096;
    qsizetype maximumStrokesPerPage = 10'000;
    qsizetype maximumTotalStrokes = 50'000;
    qsizetype maximumPointsPerStroke = 20'000;
    qsizetype maximumTotalPoints = 500'000;
    qsizetype maximumScoreKeyBytes = PrivateAnnotationPageKey::maximumScoreKeyBytes;
    qint64 maximumPageIndex = 1'000'000;
    qsizetype maximumUndoDepth = 100;
    bool operator==(const PrivateAnnotationLimits &) const = default;
};

} // namespace pgw
