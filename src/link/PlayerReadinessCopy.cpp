// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerReadinessCopy.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw::PlayerReadinessCopy {

namespace {

struct Counts
{
    int ready;
    int total;
    bool complete() const { return total >= 1 && ready == total; }
    QString fraction() const { return QString::number(ready) + u'/' + QString::number(total); }
};

Counts clamped(int ready, int total)
{
    const int t = std::max(total, 0);
    return {std::clamp(ready, 0, t), t};
}

} // namespace

QString live(int ready, int total)
{
    const Counts c = clamped(ready, total);
    if (c.complete())
        return u"ALL PAGES RECEIVED · "_s + c.fraction();
    return u"RECEIVING MUSIC · "_s + c.fraction() + u" PAGES"_s;
}

QString offline(int ready, int total)
{
    return u"OFFLINE · "_s + clamped(ready, total).fraction()
        + u" PAGES AVAILABLE · TURN LOCALLY · RETRYING"_s;
}

QString saved(int ready, int total, bool complete)
{
    const Counts c = clamped(ready, total);
    if (complete && c.complete())
        return u"READY OFFLINE · "_s + c.fraction();
    return u"SAVED · DOWNLOADING "_s + c.fraction();
}

} // namespace pgw::PlayerReadinessCopy
