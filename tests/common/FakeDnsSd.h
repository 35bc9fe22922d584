// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/DnsSd.h"
#include "support/Scheduler.h"

#include <QList>
#include <QMap>

namespace pgw::testing {

// DNS-SD for a connection under test: browsers the test drives by hand and a resolver that answers
// from a table on the next turn of the queue.
class FakeDnsSd
{
public:
    class Browser;

    explicit FakeDnsSd(Scheduler &queue)
        : m_queue(queue)
    { }

    DnsSdBrowserFactory browsers();
    DnsSdResolverFactory resolvers();

    // The browser that exists now, if any.
    Browser *browser() const { return m_current; }
    int browsersMade() const { return int(browsersMadeAt.size()); }
    QList<double> browsersMadeAt;
    // While set, the factory makes no browser.
    bool browsersUnavailable = false;

    // Hands the running browser a result set and its changes. The handler may destroy the browser.
    void publish(const QList<DnsSdResult> &results, const QList<DnsSdChange> &changes);
    // Reports the running browser as failed.
    void fail();

    // Where each service name resolves to; a name that is missing does not resolve.
    QMap<QString, HostPortAddress> addresses;
    // Every service the resolver was asked for, in order.
    QList<ServiceAddress> lookups;

private:
    friend class Browser;
    Scheduler &m_queue;
    Browser *m_current = nullptr;
};

class FakeDnsSd::Browser : public DnsSdBrowser
{
public:
    explicit Browser(FakeDnsSd &owner)
        : m_owner(owner)
    { }
    ~Browser() override;

    void start() override { started = true; }
    void cancel() override { cancelled = true; }

    bool started = false;
    bool cancelled = false;

private:
    FakeDnsSd &m_owner;
};

// A browse result for the service `name`, with TXT entries.
DnsSdResult serviceResult(const QString &name, const QMap<QString, std::optional<QByteArray>> &txt = {});
DnsSdChange added(const DnsSdResult &result);

} // namespace pgw::testing
