// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/DiscoveredHost.h"

#include <QList>
#include <QUrl>

#include <optional>

namespace pgw {

// Join links: pagewright-player://join?host=H&port=P or ?service=NAME, with optional pin and k
// (the session secret in base 32). The "pagewright-player-mac" scheme is accepted too.
namespace PlayerJoinLink {

std::optional<DiscoveredHost> discoveredHost(const QUrl &url);
// The linked Hosts in their order, then every browsed Host not already listed.
QList<DiscoveredHost> mergedHosts(const QList<DiscoveredHost> &linked, const QList<DiscoveredHost> &browsed);

// What the lobby lists: the linked Hosts in their order, then each browsed Host whose id is not
// listed yet.
QList<DiscoveredHost> mergedHosts(const QList<DiscoveredHost> &linked, const QList<DiscoveredHost> &browsed);

} // namespace PlayerJoinLink

} // namespace pgw
