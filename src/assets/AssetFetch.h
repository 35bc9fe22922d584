// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace pgw {

// The answer to one asset request: the response status, the version the Host actually served (its
// fingerprint) and the bytes. Status 200 with bytes is success; anything else is failure.
using AssetFetchCompletion = std::function<void(
    qint64 status, const std::optional<QString> &servedVersion, const std::optional<QByteArray> &data)>;

// Asks the Host for one asset. The urgent flag marks on-screen pages. The completion must be called
// exactly once, on any thread.
using AssetFetch = std::function<void(qint64 scoreToken, qint64 pageIndex, const QString &kind,
    const QString &version, bool urgent, AssetFetchCompletion completion)>;

} // namespace pgw
