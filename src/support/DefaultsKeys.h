// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1StringView>

// Every key the Player keeps in the per-user defaults store, in one place.
namespace pgw::DefaultsKeys {

// Settings.
inline constexpr QLatin1StringView invert {"invert"};
inline constexpr QLatin1StringView fitWidth {"fitWidth"};
inline constexpr QLatin1StringView pageLayout {"pageLayout"};
inline constexpr QLatin1StringView pageSeparators {"pageSeparators"};
inline constexpr QLatin1StringView autoReturn {"autoReturn"};
inline constexpr QLatin1StringView turnsPagesLocally {"turnsPagesLocally"};
inline constexpr QLatin1StringView privateAnnotationTool {"privateAnnotationTool"};
inline constexpr QLatin1StringView privateAnnotationColor {"privateAnnotationColor"};
inline constexpr QLatin1StringView myInstrumentIDs {"myInstrumentIDs"};
inline constexpr QLatin1StringView lastInstrumentCatalog {"lastInstrumentCatalog"};
inline constexpr QLatin1StringView partChoicesBySongKey {"partChoicesBySongKey"};

// Learned MIDI pedals, as JSON of a binding.
inline constexpr QLatin1StringView midiPreviousPageBinding {"midiPreviousPageBinding"};
inline constexpr QLatin1StringView midiNextPageBinding {"midiNextPageBinding"};

// The name shown to the Host.
inline constexpr QLatin1StringView playerName {"playerName"};
// The stand's stable identity towards Hosts.
inline constexpr QLatin1StringView clientInstanceID {"pgw.player.clientInstanceID"};

} // namespace pgw::DefaultsKeys
