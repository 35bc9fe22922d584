#include "stage/ChartAspectReference.h"

namespace pgw::StageLayout {

double ChartAspectReference::resolve(const std::optional<QString> &identity, std::optional<double> candidate)
{
    const bool usable = candidate && isPositiveFinite(*candidate);
    if (!identity || identity->isEmpty()) {
        if (chartIdentity)
            *this = {};
        return usable ? *candidate : defaultPageAspectRatio;
    }
    if (chartIdentity != identity)
        *this = {identity, defaultPageAspectRatio, false};
    if (!hasReliableAspect && usable) {
        aspectRatio = *candidate;
        hasReliableAspect = true;
    }
    return aspectRatio;
}

} // namespace pgw::StageLayout
