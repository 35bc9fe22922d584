// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "show/PlayerInstrumentCatalog.h"

#include <QLatin1StringView>

// The instruments that ship with the Player: 156 in 10 groups.
namespace pgw::BuiltInInstrumentCatalog {

inline constexpr QLatin1StringView catalogID("builtin-v1");
// Hosts may add instruments only under this prefix.
inline constexpr QLatin1StringView customInstrumentPrefix("custom:");

// Built once on first use; never changes.
const PlayerInstrumentCatalog &catalog();
bool isGroupID(const QString &id);
bool isInstrumentID(const QString &id);

} // namespace pgw::BuiltInInstrumentCatalog
