// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/PageLayoutPreference.h"

using namespace Qt::StringLiterals;

namespace pgw {

QString pageLayoutRawValue(PageLayoutPreference layout)
{
    return layout == PageLayoutPreference::TwoRows ? u"2-rows"_s : u"1-row"_s;
}

QString pageLayoutLabel(PageLayoutPreference layout)
{
    return layout == PageLayoutPreference::TwoRows ? u"2 Rows"_s : u"1 Row"_s;
}

int pageLayoutRows(PageLayoutPreference layout)
{
    return layout == PageLayoutPreference::TwoRows ? 2 : 1;
}

PageLayoutPreference pageLayoutFromPersisted(const std::optional<QString> &persistedRawValue)
{
    if (!persistedRawValue)
        return PageLayoutPreference::OneRow;
    const QString &text = *persistedRawValue;
    if (text == "2-rows"_L1 || text == "2x2"_L1 || text == "3x2"_L1)
        return PageLayoutPreference::TwoRows;
    return PageLayoutPreference::OneRow;
}

} // namespace pgw
