// SPDX-License-Identifier: GPL-3.0-or-later
// The Host's live ink: each line of the input is an "ink" message, handled a second after the one before.
// Every stroke kept is drawn on its own page, and ended strokes are gone once their lifetime is over.
#include "FuzzSupport.h"

#include "stage/InkModel.h"
#include "support/Json.h"

#include <cmath>

using namespace pgw;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    InkModel ink;
    double now = 0;
    for (QByteArrayView line : fuzz::lines(QByteArrayView(data, qsizetype(size)))) {
        now += 1;
        const auto message = json::parseObject(line.toByteArray());
        if (!message)
            continue;
        const int generation = ink.generation();
        const bool changed = ink.handle(*message, now);
        fuzz::require(changed == (ink.generation() != generation), "a change to draw is counted");
        for (const LiveStroke &stroke : ink.allStrokes()) {
            fuzz::require(ink.strokes(stroke.pageIndex).contains(stroke), "a stroke is drawn on its page");
            for (const InkPoint &point : stroke.points) {
                const double width = LiveStroke::drawnWidth(stroke.normalizedWidth, point.pressure);
                fuzz::require(std::isnan(width) || width >= 0.75, "a drawn line is never thinner than 0.75");
            }
        }
        ink.expireStaleEnded(now);
        for (const LiveStroke &stroke : ink.allStrokes())
            fuzz::require(
                !stroke.endedAt || now - *stroke.endedAt < InkModel::endedLifetime, "ended ink expires");
    }
    ink.clearAll();
    fuzz::require(ink.allStrokes().isEmpty(), "clearing leaves no ink");
    return 0;
}
