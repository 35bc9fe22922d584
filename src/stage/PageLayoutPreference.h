// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

namespace pgw {

// How many rows of pages the stage shows; persisted as its raw value.
enum class PageLayoutPreference { OneRow, TwoRows };

// "1-row" or "2-rows", the text kept in the settings.
QString pageLayoutRawValue(PageLayoutPreference layout);
// "1 Row" or "2 Rows", as the pickers show it.
QString pageLayoutLabel(PageLayoutPreference layout);
int pageLayoutRows(PageLayoutPreference layout);

// Reads a stored text, including the grid names of older versions ("2x2", "3x2", "1x1", "2x1", "auto");
// anything unknown or absent is one row.
PageLayoutPreference pageLayoutFromPersisted(const std::optional<QString> &persistedRawValue);

} // namespace pgw

Q_DECLARE_METATYPE(pgw::PageLayoutPreference)
