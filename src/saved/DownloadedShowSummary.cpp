#include "saved/DownloadedShowSummary.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// The saved-show readiness line; counts outside 0…total are clamped first.
QString savedReadinessText(qint64 ready, qint64 total, bool complete)
{
    const qint64 clampedTotal = std::max(total, qint64(0));
    const qint64 clampedReady = std::clamp(ready, qint64(0), clampedTotal);
    if (complete && total >= 1 && clampedReady == clampedTotal)
        return u"READY OFFLINE · %1/%1"_s.arg(clampedTotal);
    return u"SAVED · DOWNLOADING %1/%2"_s.arg(clampedReady).arg(clampedTotal);
}

} // namespace

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
    return savedReadinessText(cachedPages, totalPages, pagesComplete && partsComplete);
}

bool DownloadedShowSummary::isOpenable() const
{
    return totalPages >= 1 && cachedPages == totalPages && unresolvedChartCount == 0
        && readyPartCount == totalPartCount;
}

} // namespace pgw
