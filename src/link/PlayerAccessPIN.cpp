// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerAccessPIN.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw::PlayerAccessPIN {

std::optional<QString> normalized(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    const QString trimmed = text->trimmed();
    if (trimmed.size() < 4 || trimmed.size() > 8)
        return std::nullopt;
    if (!std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    return trimmed;
}

QJsonObject adding(QJsonObject message, const std::optional<QString> &pin)
{
    if (auto normal = normalized(pin))
        message.insert("pin"_L1, *normal);
    return message;
}

} // namespace pgw::PlayerAccessPIN
