// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace pgw {

// A room PIN: 4 to 8 ASCII digits once white space is trimmed.
namespace PlayerAccessPIN {

std::optional<QString> normalized(const std::optional<QString> &text);
// The message with "pin" set to the normalised PIN, or unchanged when there is none.
QJsonObject adding(QJsonObject message, const std::optional<QString> &pin);

} // namespace PlayerAccessPIN

} // namespace pgw
