// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/DiscoveredHost.h"
#include "link/DnsSd.h"

#include <QList>

namespace pgw {

// Hosts as browsing finds them.
namespace BrowsedHosts {

// The Host a browse result advertises: named by its service, with the TXT flags "e2e" = "2"
// (encryption) and "auth" = "1" (PIN required).
DiscoveredHost host(const DnsSdResult &result);

// The Hosts of a full result set by name, compared by Unicode scalars after canonical composition,
// so the order neither depends on the locale nor on how a name was typed; equal names keep their
// browse order.
QList<DiscoveredHost> sorted(const QList<DnsSdResult> &results);

} // namespace BrowsedHosts

} // namespace pgw
