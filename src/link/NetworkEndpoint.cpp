// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/NetworkEndpoint.h"

using namespace Qt::StringLiterals;

namespace pgw {

std::optional<QString> NetworkEndpoint::serviceName() const
{
    if (const auto *service = asService())
        return service->name;
    return std::nullopt;
}

QString NetworkEndpoint::description() const
{
    if (const auto *hp = asHostPort())
        return hp->host + u':' + QString::number(hp->port);
    const auto &service = std::get<Service>(address);
    return service.name + u'.' + service.type + u'.' + service.domain;
}

} // namespace pgw
