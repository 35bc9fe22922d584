// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/NetworkEndpoint.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QString>

#include <optional>

namespace pgw {

// One Host the lobby can join, found by browsing or given by a join link. Records are the same Host
// when their ids are equal.
struct DiscoveredHost
{
    QString id;
    QString name;
    NetworkEndpoint endpoint;
    std::optional<QString> recoveryServiceName;
    std::optional<QString> pin;
    std::optional<QByteArray> key;
    bool supportsEncryption = false;
    bool requiresPIN = false;

    bool operator==(const DiscoveredHost &other) const { return id == other.id; }
};

inline size_t qHash(const DiscoveredHost &host, size_t seed = 0)
{
    return qHash(host.id, seed);
}

} // namespace pgw
