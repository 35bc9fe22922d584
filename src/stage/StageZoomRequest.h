// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QtGlobal>

namespace pgw {

// The zoom commands of the stage's controls and shortcuts.
enum class StageZoomAction { ZoomIn, ZoomOut, Reset };

// A zoom command carried in an observable setting. The stage acts on a request only when its generation
// differs from the last one it handled, so the same action can be asked for twice in a row.
struct StageZoomRequest
{
    qint64 generation = 0;
    StageZoomAction action = StageZoomAction::Reset;

    // The request that follows this one. Only inequality matters, so the generation may wrap.
    StageZoomRequest next(StageZoomAction nextAction) const
    {
        return {qint64(quint64(generation) + 1), nextAction};
    }

    bool operator==(const StageZoomRequest &) const = default;
};

} // namespace pgw

Q_DECLARE_METATYPE(pgw::StageZoomRequest)
