// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pgw {

// The readiness rail's lines. Counts are clamped first: total to at least 0, ready to 0 … total.
namespace PlayerReadinessCopy {

QString live(int ready, int total);
QString offline(int ready, int total);
QString saved(int ready, int total, bool complete);

} // namespace PlayerReadinessCopy

} // namespace pgw
