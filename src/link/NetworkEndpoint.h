// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <variant>

namespace pgw {

struct HostPortAddress
{
    QString host;
    quint16 port = 0;
    bool operator==(const HostPortAddress &) const = default;
};

struct ServiceAddress
{
    QString name;
    QString type;
    QString domain;
    bool operator==(const ServiceAddress &) const = default;
};

// Where to dial a Host: a host name or address with a port, or a DNS-SD service that is resolved
// when it is dialled.
struct NetworkEndpoint
{
    using HostPort = HostPortAddress;
    using Service = ServiceAddress;

    std::variant<HostPort, Service> address;
    bool operator==(const NetworkEndpoint &) const = default;

    static inline const QString serviceType = QStringLiteral("_pagewright._tcp");

    static NetworkEndpoint hostPort(const QString &host, quint16 port) { return {HostPort {host, port}}; }
    static NetworkEndpoint service(const QString &name, const QString &domain = QStringLiteral("local."))
    {
        return {Service {name, serviceType, domain}};
    }

    const HostPort *asHostPort() const { return std::get_if<HostPort>(&address); }
    const Service *asService() const { return std::get_if<Service>(&address); }
    // The DNS-SD service name, for service endpoints only.
    std::optional<QString> serviceName() const;
    QString description() const;
};

} // namespace pgw
