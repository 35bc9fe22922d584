// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeDnsSd.h"

namespace pgw::testing {

namespace {

class FakeResolver : public DnsSdResolver
{
public:
    FakeResolver(
        Scheduler &queue, const QMap<QString, HostPortAddress> &addresses, QList<ServiceAddress> &lookups)
        : m_queue(queue)
        , m_addresses(addresses)
        , m_lookups(lookups)
    { }

    void resolve(const ServiceAddress &service,
        std::function<void(std::optional<HostPortAddress>)> completion) override
    {
        m_lookups.append(service);
        const auto found = m_addresses.constFind(service.name);
        std::optional<HostPortAddress> answer;
        if (found != m_addresses.constEnd())
            answer = *found;
        m_queue.post([completion = std::move(completion), answer] { completion(answer); });
    }

private:
    Scheduler &m_queue;
    const QMap<QString, HostPortAddress> &m_addresses;
    QList<ServiceAddress> &m_lookups;
};

} // namespace

FakeDnsSd::Browser::~Browser()
{
    if (m_owner.m_current == this)
        m_owner.m_current = nullptr;
}

DnsSdBrowserFactory FakeDnsSd::browsers()
{
    return [this]() -> std::unique_ptr<DnsSdBrowser> {
        if (browsersUnavailable)
            return nullptr;
        auto browser = std::make_unique<Browser>(*this);
        m_current = browser.get();
        browsersMadeAt.append(m_queue.now());
        return browser;
    };
}

DnsSdResolverFactory FakeDnsSd::resolvers()
{
    return [this]() -> std::unique_ptr<DnsSdResolver> {
        return std::make_unique<FakeResolver>(m_queue, addresses, lookups);
    };
}

void FakeDnsSd::publish(const QList<DnsSdResult> &results, const QList<DnsSdChange> &changes)
{
    if (!m_current || !m_current->started)
        return;
    const auto handler = m_current->onResultsChanged;
    if (handler)
        handler(results, changes);
}

void FakeDnsSd::fail()
{
    if (!m_current || !m_current->started)
        return;
    const auto handler = m_current->onStateChanged;
    if (handler)
        handler(DnsSdBrowser::State::Failed);
}

DnsSdResult serviceResult(const QString &name, const QMap<QString, std::optional<QByteArray>> &txt)
{
    return {*NetworkEndpoint::service(name).asService(), txt};
}

DnsSdChange added(const DnsSdResult &result)
{
    return {DnsSdChange::Kind::Added, std::nullopt, result};
}

} // namespace pgw::testing
