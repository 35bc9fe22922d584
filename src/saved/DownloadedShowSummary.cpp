// SPDX-License-Identifier: GPL-3.0-or-later
#include "saved/DownloadedShowSummary.h"

#include "link/PlayerReadinessCopy.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace pgw {

QString DownloadedShowSummary::statusText() const
{
    if (unresolvedChartCount >= 1) {
        return u"SAVED · PREPARING %1 CHART"_s.arg(unresolvedChartCount)
            + (unresolvedChartCount == 1 ? u""_s : u"S"_s);
    }
    const bool pagesComplete = cachedPages == totalPages;
    const bool partsComplete = readyPartCount == totalPartCount;
    if (pagesComplete && !partsComplete)
        return u"SAVED · PREPARING %1/%2 PARTS"_s.arg(readyPartCount).arg(totalPartCount);
    return PlayerReadinessCopy::saved(int(std::min<qint64>(cachedPages, std::numeric_limits<int>::max())),
        int(std::min<qint64>(totalPages, std::numeric_limits<int>::max())), pagesComplete && partsComplete);
}

bool DownloadedShowSummary::isOpenable() const
{
    return totalPages >= 1 && cachedPages == totalPages && unresolvedChartCount == 0
        && readyPartCount == totalPartCount;
}

} // namespace pgw
