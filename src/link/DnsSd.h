// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/NetworkEndpoint.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pgw {

// A browse result: the service and its TXT entries, keys in lower case (a key without "=" has no
// value). The domain ends with a dot, as in "local.".
struct DnsSdResult
{
    ServiceAddress service;
    QMap<QString, std::optional<QByteArray>> txt;
    bool operator==(const DnsSdResult &) const = default;
};

struct DnsSdChange
{
    enum class Kind { Added, Removed, Changed, Identical };
    Kind kind = Kind::Added;
    std::optional<DnsSdResult> oldResult;
    std::optional<DnsSdResult> newResult;
    bool operator==(const DnsSdChange &) const = default;
};

// The platform's service browser. Handlers are called on the thread that started it, never from
// inside start() or cancel(), so a handler may destroy the browser.
class DnsSdBrowser
{
public:
    enum class State { Ready, Failed };

    virtual ~DnsSdBrowser() = default;
    virtual void start() = 0;
    virtual void cancel() = 0;

    std::function<void(const QList<DnsSdResult> &results, const QList<DnsSdChange> &changes)>
        onResultsChanged;
    std::function<void(State)> onStateChanged;
};

// Turns a service into an address and port when it is dialled.
class DnsSdResolver
{
public:
    virtual ~DnsSdResolver() = default;
    // The completion runs later on the calling thread, with nothing when the service cannot be found.
    virtual void resolve(
        const ServiceAddress &service, std::function<void(std::optional<HostPortAddress>)> completion)
        = 0;
};

using DnsSdBrowserFactory = std::function<std::unique_ptr<DnsSdBrowser>()>;
using DnsSdResolverFactory = std::function<std::unique_ptr<DnsSdResolver>()>;

// Avahi implementations; create and use them on one thread with a running event loop.
std::unique_ptr<DnsSdBrowser> makeAvahiBrowser(const QString &serviceType);
std::unique_ptr<DnsSdResolver> makeAvahiResolver();

} // namespace pgw
