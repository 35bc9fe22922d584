// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerJoinLink.h"

#include "link/PlayerAccessPIN.h"
#include "link/PlayerCrypto.h"
#include "support/Logging.h"

#include <QSet>
#include <QUrlQuery>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw::PlayerJoinLink {

namespace {

std::optional<QString> firstItem(const QUrlQuery &query, const QString &name)
{
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == name)
            return value;
    }
    return std::nullopt;
}

std::optional<quint16> port(const std::optional<QString> &text)
{
    if (!text || text->isEmpty())
        return std::nullopt;
    if (!std::all_of(text->begin(), text->end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool valid = false;
    const uint value = text->toUInt(&valid);
    if (!valid || value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

// A link without its query, which may hold the PIN and the session secret.
QString loggable(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toDisplayString();
}

} // namespace

std::optional<DiscoveredHost> discoveredHost(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if ((scheme != "pagewright-player"_L1 && scheme != "pagewright-player-mac"_L1)
        || url.host().toLower() != "join"_L1) {
        qCWarning(lcLink, "Refused link %s: not a join link", qUtf8Printable(loggable(url)));
        return std::nullopt;
    }

    const QUrlQuery query(url);
    const QString service = firstItem(query, u"service"_s).value_or(QString()).trimmed();
    const std::optional<QString> host = firstItem(query, u"host"_s);
    const std::optional<quint16> linkPort = port(firstItem(query, u"port"_s));

    DiscoveredHost result;
    if (host && !host->isEmpty() && linkPort) {
        result.id = "link:"_L1 + *host + u':' + QString::number(*linkPort);
        result.name = *host;
        result.endpoint = NetworkEndpoint::hostPort(*host, *linkPort);
        if (!service.isEmpty())
            result.recoveryServiceName = service;
    } else if (!service.isEmpty()) {
        result.id = service;
        result.name = service;
        result.recoveryServiceName = service;
        result.endpoint = NetworkEndpoint::service(service);
    } else {
        qCWarning(
            lcLink, "Refused join link %s: no host and port, and no service", qUtf8Printable(loggable(url)));
        return std::nullopt;
    }
    const auto pin = firstItem(query, u"pin"_s);
    const auto key = firstItem(query, u"k"_s);
    result.pin = PlayerAccessPIN::normalized(pin);
    result.key = PlayerCrypto::sessionSecret(key);
    result.supportsEncryption = result.key.has_value();
    qCInfo(lcLink, "Join link for %s", qUtf8Printable(result.endpoint.description()));
    if (pin && !result.pin)
        qCWarning(lcLink, "The join link's PIN is not 4 to 8 digits; ignoring it");
    if (key && !result.key)
        qCWarning(lcLink, "The join link's key is not a valid session secret; ignoring it");
    return result;
}

QList<DiscoveredHost> mergedHosts(const QList<DiscoveredHost> &linked, const QList<DiscoveredHost> &browsed)
{
    QList<DiscoveredHost> merged = linked;
    QSet<QString> ids;
    for (const DiscoveredHost &host : linked)
        ids.insert(host.id);
    for (const DiscoveredHost &host : browsed) {
        if (!ids.contains(host.id)) {
            ids.insert(host.id);
            merged.append(host);
        }
    }
    return merged;
}

} // namespace pgw::PlayerJoinLink
