// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSizeF>
#include <QtCore/qnamespace.h>

#include <optional>

// How taps, keys and swipes on the stage become page turns of −1 (previous) or +1 (next).
namespace pgw::StageLayout {

// The outer 30 % on each side of the stage turn pages; the middle does not.
inline constexpr double tapEdgeFraction = 0.3;
inline constexpr double maximumTapEdgeFraction = 0.5;
// Bank units a camera may exceed the visible extent by and still count as not zoomed in.
inline constexpr double turnAxisSlack = 1.0;

std::optional<int> edgeTurn(double x, double viewportWidth, double fraction = tapEdgeFraction);

// The turn a key (a `Qt::Key` value) asks for; none while text is being edited or for auto-repeats.
std::optional<int> pageTurnForKey(int key, bool textInputEditing, bool isRepeat);

// Whether a swipe along `axis` may turn: never in private annotation mode, and only while the user is not
// zoomed in along that axis.
bool canTurnOnAxis(Qt::Orientation axis, const QSizeF &camera, const QSizeF &visible, bool annotationMode);

} // namespace pgw::StageLayout
