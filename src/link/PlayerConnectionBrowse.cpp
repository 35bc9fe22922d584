// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerConnection.h"

#include "link/BrowsedHosts.h"
#include "link/PlayerConnectionLane.h"
#include "support/Logging.h"

using namespace Qt::StringLiterals;

namespace pgw {

void PlayerConnection::deliverHosts()
{
    deliver([hosts = m_latestHosts](PlayerConnection &self) {
        if (self.onHostsChange)
            self.onHostsChange(hosts);
    });
}

void PlayerConnection::startBrowser()
{
    if (!m_browsers || m_browser || m_browserRetryWork.isActive())
        return;
    ++m_browserGeneration;
    if (m_awaitingFreshService)
        m_firstRecoverySnapshotGeneration = m_browserGeneration;
    m_browser = m_browsers();
    // Once the restart ladder is under way, a repeated failure is not news.
    if (!m_browser) {
        if (m_browserAttempts == 0)
            qCWarning(lcDiscovery, "Could not make a service browser");
        scheduleBrowserRestart();
        return;
    }
    logRetry(lcDiscovery(), browserRestartsAtCeiling(), u"Browsing for Hosts"_s);
    const qint64 generation = m_browserGeneration;
    auto weak = weak_from_this();
    m_browser->onResultsChanged
        = [weak, generation](const QList<DnsSdResult> &results, const QList<DnsSdChange> &changes) {
              if (auto self = weak.lock())
                  self->browseResults(generation, results, changes);
          };
    m_browser->onStateChanged = [weak, generation](DnsSdBrowser::State state) {
        if (auto self = weak.lock())
            self->browserStateChanged(generation, state);
    };
    m_browser->start();
}

void PlayerConnection::stopBrowser()
{
    if (m_browser || m_browserRetryWork.isActive())
        qCInfo(lcDiscovery, "Stopped browsing for Hosts");
    m_browserRetryWork.cancel();
    m_browser.reset();
    m_browserAttempts = 0;
    m_firstRecoverySnapshotGeneration.reset();
}

void PlayerConnection::browserStateChanged(qint64 generation, DnsSdBrowser::State state)
{
    if (state != DnsSdBrowser::State::Failed || generation != m_browserGeneration || !m_browser)
        return;
    if (m_browserAttempts == 0)
        qCWarning(lcDiscovery, "The service browser failed");
    // The handler that called us belongs to this browser: nothing of it is touched after this.
    m_browser.reset();
    scheduleBrowserRestart();
}

void PlayerConnection::scheduleBrowserRestart()
{
    if (m_browser || m_browserRetryWork.isActive())
        return;
    const double step = m_browserAttempts < int(browserLadder.size())
        ? browserLadder[size_t(m_browserAttempts)]
        : browserLadderCeiling;
    const double delay = step * m_jitter(0.8, 1.2);
    logRetry(lcDiscovery(), browserRestartsAtCeiling(),
        u"Restarting the service browser in %1 s"_s.arg(delay, 0, 'f', 1));
    ++m_browserAttempts;
    m_browserRetryWork = m_queue.postAfter(delay, weakTask([](PlayerConnection &self) {
        self.m_browserRetryWork = {};
        self.startBrowser();
    }));
}

void PlayerConnection::browseResults(
    qint64 generation, const QList<DnsSdResult> &results, const QList<DnsSdChange> &changes)
{
    if (generation != m_browserGeneration || !m_browser)
        return;
    m_latestHosts = BrowsedHosts::sorted(results);
    if (!m_latestHosts.isEmpty())
        m_browserAttempts = 0;
    if (m_awaitingFreshService && m_joinedServiceName) {
        if (const auto host = freshService(generation, changes))
            recoverAt(host->endpoint);
    }
    deliverHosts();
}

std::optional<DiscoveredHost> PlayerConnection::freshService(
    qint64 generation, const QList<DnsSdChange> &changes)
{
    // A browser started to find the Host again may take it from its first snapshot; after that only a
    // service that appears or changes counts, so a stale listing is not dialled twice.
    if (m_firstRecoverySnapshotGeneration == generation) {
        m_firstRecoverySnapshotGeneration.reset();
        for (const DiscoveredHost &host : std::as_const(m_latestHosts)) {
            if (host.recoveryServiceName == m_joinedServiceName)
                return host;
        }
    }
    for (const DnsSdChange &change : changes) {
        const bool fresh
            = change.kind == DnsSdChange::Kind::Added || change.kind == DnsSdChange::Kind::Changed;
        if (fresh && change.newResult && change.newResult->service.name == *m_joinedServiceName)
            return BrowsedHosts::host(*change.newResult);
    }
    return std::nullopt;
}

void PlayerConnection::controlWaiting(const std::shared_ptr<Lane> &lane)
{
    m_awaitingFreshService = m_joinedServiceName.has_value();
    startBrowser();
    for (const DiscoveredHost &host : std::as_const(m_latestHosts)) {
        if (!m_joinedServiceName || host.recoveryServiceName != m_joinedServiceName
            || host.endpoint == *m_endpoint)
            continue;
        // The service moved: dial it where it is now.
        std::weak_ptr<Lane> waiting = lane;
        m_queue.post(weakTask([waiting, endpoint = host.endpoint](PlayerConnection &self) {
            const auto control = waiting.lock();
            if (control && control == self.m_control && self.m_awaitingFreshService)
                self.recoverAt(endpoint);
        }));
        return;
    }
    // Nothing answers there now (a Host restarting refuses): the ladder, not the dial gate, sets the
    // next dial.
    cancelLane(*lane);
}

void PlayerConnection::recoverAt(const NetworkEndpoint &endpoint)
{
    qCInfo(lcDiscovery, "Found the Host again at %s", qUtf8Printable(endpoint.description()));
    m_awaitingFreshService = false;
    m_endpoint = endpoint;
    m_reconnectWork.cancel();
    openControl();
}

} // namespace pgw
