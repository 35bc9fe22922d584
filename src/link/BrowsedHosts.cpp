// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/BrowsedHosts.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw::BrowsedHosts {

namespace {

bool flag(const DnsSdResult &result, const QString &key, QByteArrayView on)
{
    const auto value = result.txt.value(key);
    return value && *value == on;
}

} // namespace

DiscoveredHost host(const DnsSdResult &result)
{
    DiscoveredHost host;
    host.id = result.service.name;
    host.name = result.service.name;
    host.recoveryServiceName = result.service.name;
    host.endpoint = NetworkEndpoint {result.service};
    host.supportsEncryption = flag(result, u"e2e"_s, "2");
    host.requiresPIN = flag(result, u"auth"_s, "1");
    return host;
}

QList<DiscoveredHost> sorted(const QList<DnsSdResult> &results)
{
    struct Keyed
    {
        QList<uint> key;
        DiscoveredHost host;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(results.size()));
    for (const DnsSdResult &result : results)
        keyed.push_back(
            {result.service.name.normalized(QString::NormalizationForm_C).toUcs4(), host(result)});
    std::stable_sort(
        keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) { return a.key < b.key; });
    QList<DiscoveredHost> hosts;
    hosts.reserve(results.size());
    for (Keyed &item : keyed)
        hosts.append(std::move(item.host));
    return hosts;
}

} // namespace pgw::BrowsedHosts
