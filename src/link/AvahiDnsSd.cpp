// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/AvahiQtPoll.h"
#include "link/DnsSd.h"
#include "support/Logging.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/address.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>

#include <net/if.h>

#include <atomic>

using namespace Qt::StringLiterals;

namespace pgw {

namespace {

// Clients are remade on every browser restart and every dial: a daemon that stays away is reported
// once, and again only when the error changes.
std::atomic<int> reportedClientError {AVAHI_OK};

void reportClientError(const char *what, int error)
{
    if (reportedClientError.exchange(error) != error)
        qCWarning(lcDiscovery, "%s: %s", what, avahi_strerror(error));
    else
        qCDebug(lcDiscovery, "%s: %s", what, avahi_strerror(error));
}

void clientRunning()
{
    reportedClientError = AVAHI_OK;
}

QMap<QString, std::optional<QByteArray>> parseTxt(AvahiStringList *list)
{
    QMap<QString, std::optional<QByteArray>> txt;
    for (AvahiStringList *item = list; item; item = avahi_string_list_get_next(item)) {
        char *key = nullptr;
        char *value = nullptr;
        size_t size = 0;
        if (avahi_string_list_get_pair(item, &key, &value, &size) != 0)
            continue;
        // DNS-SD keys are case-insensitive; the first occurrence wins.
        const QString name = QString::fromUtf8(key).toLower();
        if (!txt.contains(name))
            txt.insert(name, value ? std::optional(QByteArray(value, qsizetype(size))) : std::nullopt);
        avahi_free(key);
        avahi_free(value);
    }
    return txt;
}

// "local" as "local.", the form service endpoints carry.
QString absoluteDomain(const char *domain)
{
    QString text = QString::fromUtf8(domain);
    if (!text.endsWith(u'.'))
        text += u'.';
    return text;
}

// Frees Avahi objects in the right order: lookups before their client, the client before the poll.
struct ClientDeleter
{
    void operator()(AvahiClient *client) const { avahi_client_free(client); }
};

class AvahiBrowser : public DnsSdBrowser
{
public:
    explicit AvahiBrowser(const QString &type)
        : m_type(type.toUtf8())
    { }
    ~AvahiBrowser() override
    {
        cancel();
        delete m_context;
    }

    void start() override
    {
        cancel();
        int error = 0;
        m_client.reset(
            avahi_client_new(m_poll.api(), AvahiClientFlags(0), &AvahiBrowser::clientChanged, this, &error));
        if (!m_client) {
            reportClientError("Avahi is unavailable", error);
            post([this] { reportState(State::Failed); });
            return;
        }
        if (avahi_client_get_state(m_client.get()) == AVAHI_CLIENT_S_RUNNING)
            createBrowser(m_client.get());
    }

    void cancel() override
    {
        for (Entry &entry : m_entries) {
            if (entry.resolver)
                avahi_service_resolver_free(entry.resolver);
        }
        m_entries.clear();
        m_order.clear();
        m_emitted = false;
        if (m_browser)
            avahi_service_browser_free(m_browser);
        m_browser = nullptr;
        m_client.reset();
        // Events already posted for this run must not arrive after it.
        delete m_context;
        m_context = new QObject;
    }

private:
    struct Entry
    {
        DnsSdResult result;
        QSet<QPair<int, int>> instances;
        AvahiServiceResolver *resolver = nullptr;
        bool published = false;
    };

    template<typename F>
    void post(F work)
    {
        QMetaObject::invokeMethod(m_context, std::move(work), Qt::QueuedConnection);
    }

    void reportState(State state)
    {
        if (onStateChanged)
            onStateChanged(state);
    }

    void createBrowser(AvahiClient *client)
    {
        if (m_browser)
            return;
        m_browser = avahi_service_browser_new(client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, m_type.constData(),
            nullptr, AvahiLookupFlags(0), &AvahiBrowser::browserEvent, this);
        if (!m_browser)
            qCWarning(
                lcDiscovery, "Could not start browsing: %s", avahi_strerror(avahi_client_errno(client)));
        post([this, ok = m_browser != nullptr] { reportState(ok ? State::Ready : State::Failed); });
    }

    static void clientChanged(AvahiClient *client, AvahiClientState state, void *userdata)
    {
        auto *self = static_cast<AvahiBrowser *>(userdata);
        if (state == AVAHI_CLIENT_S_RUNNING) {
            clientRunning();
            self->createBrowser(client);
        } else if (state == AVAHI_CLIENT_FAILURE) {
            reportClientError("The Avahi daemon is gone", avahi_client_errno(client));
            self->post([self] { self->reportState(State::Failed); });
        }
    }

    static void browserEvent(AvahiServiceBrowser *, AvahiIfIndex interface, AvahiProtocol protocol,
        AvahiBrowserEvent event, const char *name, const char *type, const char *domain,
        AvahiLookupResultFlags, void *userdata)
    {
        auto *self = static_cast<AvahiBrowser *>(userdata);
        switch (event) {
        case AVAHI_BROWSER_NEW:
            self->added(interface, protocol,
                ServiceAddress {QString::fromUtf8(name), QString::fromUtf8(type), absoluteDomain(domain)});
            break;
        case AVAHI_BROWSER_REMOVE:
            self->removed(interface, protocol, QString::fromUtf8(name));
            break;
        case AVAHI_BROWSER_FAILURE:
            qCWarning(
                lcDiscovery, "Browsing failed: %s", avahi_strerror(avahi_client_errno(self->m_client.get())));
            self->post([self] { self->reportState(State::Failed); });
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
            // Nothing is there: say so once, so that a list left from an earlier run is replaced.
            if (!self->m_emitted && self->m_entries.isEmpty())
                self->emitResults({});
            break;
        case AVAHI_BROWSER_CACHE_EXHAUSTED:
            break;
        }
    }

    void added(AvahiIfIndex interface, AvahiProtocol protocol, const ServiceAddress &service)
    {
        auto it = m_entries.find(service.name);
        if (it == m_entries.end()) {
            it = m_entries.insert(service.name, Entry {DnsSdResult {service, {}}, {}, nullptr, false});
            m_order.append(service.name);
        }
        it->instances.insert({interface, protocol});
        // The TXT record is read once per instance set; a fresh resolve also notices changed TXT.
        if (!it->resolver) {
            const QByteArray name = service.name.toUtf8();
            const QByteArray domain = service.domain.toUtf8();
            it->resolver = avahi_service_resolver_new(m_client.get(), interface, protocol, name.constData(),
                m_type.constData(), domain.constData(), AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0),
                &AvahiBrowser::resolved, this);
            if (!it->resolver) {
                qCInfo(lcDiscovery, "Could not resolve %s: %s", qUtf8Printable(service.name),
                    avahi_strerror(avahi_client_errno(m_client.get())));
                publish(service.name, {});
            }
        }
    }

    void removed(AvahiIfIndex interface, AvahiProtocol protocol, const QString &name)
    {
        auto it = m_entries.find(name);
        if (it == m_entries.end())
            return;
        it->instances.remove({interface, protocol});
        if (!it->instances.isEmpty())
            return;
        if (it->resolver)
            avahi_service_resolver_free(it->resolver);
        const bool wasPublished = it->published;
        const DnsSdResult old = it->result;
        m_entries.erase(it);
        m_order.removeOne(name);
        if (wasPublished)
            emitResults({DnsSdChange {DnsSdChange::Kind::Removed, old, std::nullopt}});
    }

    static void resolved(AvahiServiceResolver *resolver, AvahiIfIndex, AvahiProtocol,
        AvahiResolverEvent event, const char *name, const char *, const char *, const char *,
        const AvahiAddress *, uint16_t, AvahiStringList *txt, AvahiLookupResultFlags, void *userdata)
    {
        auto *self = static_cast<AvahiBrowser *>(userdata);
        const QString service = QString::fromUtf8(name);
        auto it = self->m_entries.find(service);
        if (it != self->m_entries.end() && it->resolver == resolver)
            it->resolver = nullptr;
        if (event != AVAHI_RESOLVER_FOUND)
            qCInfo(lcDiscovery, "Could not resolve %s: %s", name,
                avahi_strerror(avahi_client_errno(avahi_service_resolver_get_client(resolver))));
        avahi_service_resolver_free(resolver);
        self->publish(service,
            event == AVAHI_RESOLVER_FOUND ? parseTxt(txt) : QMap<QString, std::optional<QByteArray>>());
    }

    void publish(const QString &name, const QMap<QString, std::optional<QByteArray>> &txt)
    {
        auto it = m_entries.find(name);
        if (it == m_entries.end())
            return;
        const DnsSdResult old = it->result;
        it->result.txt = txt;
        if (!it->published) {
            it->published = true;
            emitResults({DnsSdChange {DnsSdChange::Kind::Added, std::nullopt, it->result}});
        } else if (old != it->result) {
            emitResults({DnsSdChange {DnsSdChange::Kind::Changed, old, it->result}});
        }
    }

    void emitResults(const QList<DnsSdChange> &changes)
    {
        m_emitted = true;
        QList<DnsSdResult> results;
        for (const QString &name : std::as_const(m_order)) {
            const Entry &entry = m_entries[name];
            if (entry.published)
                results.append(entry.result);
        }
        post([this, results, changes] {
            if (onResultsChanged)
                onResultsChanged(results, changes);
        });
    }

    QByteArray m_type;
    AvahiQtPoll m_poll;
    std::unique_ptr<AvahiClient, ClientDeleter> m_client;
    AvahiServiceBrowser *m_browser = nullptr;
    QHash<QString, Entry> m_entries;
    QStringList m_order;
    bool m_emitted = false;
    QObject *m_context = new QObject;
};

class AvahiResolver : public DnsSdResolver
{
public:
    ~AvahiResolver() override
    {
        const QList<quint64> ids = m_jobs.keys();
        for (quint64 id : ids)
            finish(id, std::nullopt, false);
        delete m_context;
    }

    void resolve(const ServiceAddress &service,
        std::function<void(std::optional<HostPortAddress>)> completion) override
    {
        auto *job = new Job {this, ++m_lastJob, std::move(completion), {}, nullptr};
        m_jobs.insert(job->id, job);
        int error = 0;
        job->client.reset(
            avahi_client_new(m_poll.api(), AvahiClientFlags(0), &AvahiResolver::clientChanged, job, &error));
        if (!job->client) {
            reportClientError("Avahi is unavailable", error);
        } else {
            const QByteArray name = service.name.toUtf8();
            const QByteArray type = service.type.toUtf8();
            const QByteArray domain = service.domain.toUtf8();
            job->resolver = avahi_service_resolver_new(job->client.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                name.constData(), type.constData(), domain.constData(), AVAHI_PROTO_UNSPEC,
                AvahiLookupFlags(0), &AvahiResolver::done, job);
            if (!job->resolver)
                qCInfo(lcDiscovery, "Could not resolve %s: %s", name.constData(),
                    avahi_strerror(avahi_client_errno(job->client.get())));
        }
        if (!job->resolver)
            finishLater(job->id, std::nullopt);
    }

private:
    struct Job
    {
        AvahiResolver *owner;
        quint64 id;
        std::function<void(std::optional<HostPortAddress>)> completion;
        std::unique_ptr<AvahiClient, ClientDeleter> client;
        AvahiServiceResolver *resolver;
    };

    static void clientChanged(AvahiClient *client, AvahiClientState state, void *userdata)
    {
        if (state == AVAHI_CLIENT_S_RUNNING)
            clientRunning();
        // The daemon went away: no answer will come.
        if (state == AVAHI_CLIENT_FAILURE) {
            reportClientError("The Avahi daemon is gone", avahi_client_errno(client));
            auto *job = static_cast<Job *>(userdata);
            job->owner->finishLater(job->id, std::nullopt);
        }
    }

    static void done(AvahiServiceResolver *resolver, AvahiIfIndex interface, AvahiProtocol,
        AvahiResolverEvent event, const char *name, const char *, const char *, const char *,
        const AvahiAddress *address, uint16_t port, AvahiStringList *, AvahiLookupResultFlags, void *userdata)
    {
        auto *job = static_cast<Job *>(userdata);
        // Every dial resolves again: a service that stays away is reported once until it is back.
        const QString service = QString::fromUtf8(name);
        QSet<QString> &failing = job->owner->m_failing;
        if (event == AVAHI_RESOLVER_FOUND) {
            failing.remove(service);
        } else {
            const char *reason
                = avahi_strerror(avahi_client_errno(avahi_service_resolver_get_client(resolver)));
            logRetry(lcDiscovery(), failing.contains(service),
                u"Could not resolve %1: %2"_s.arg(service, QString::fromUtf8(reason)));
            failing.insert(service);
        }
        std::optional<HostPortAddress> result;
        if (event == AVAHI_RESOLVER_FOUND && address) {
            char text[AVAHI_ADDRESS_STR_MAX] = {};
            avahi_address_snprint(text, sizeof text, address);
            QString host = QString::fromLatin1(text);
            char interfaceName[IF_NAMESIZE] = {};
            // A link-local IPv6 address is only usable with its interface.
            if (address->proto == AVAHI_PROTO_INET6 && host.startsWith(QLatin1StringView("fe80"))
                && if_indextoname(unsigned(interface), interfaceName))
                host += u'%' + QString::fromLatin1(interfaceName);
            result = HostPortAddress {host, port};
        }
        job->owner->finishLater(job->id, result);
    }

    // Not from inside Avahi's callbacks: finishing frees the client and resolver that are calling.
    // Jobs go by id, so a second answer for a finished job finds nothing.
    void finishLater(quint64 id, const std::optional<HostPortAddress> &result)
    {
        QMetaObject::invokeMethod(
            m_context, [this, id, result] { finish(id, result, true); }, Qt::QueuedConnection);
    }

    void finish(quint64 id, const std::optional<HostPortAddress> &result, bool report)
    {
        Job *job = m_jobs.take(id);
        if (!job)
            return;
        if (job->resolver)
            avahi_service_resolver_free(job->resolver);
        job->client.reset();
        auto completion = std::move(job->completion);
        delete job;
        if (report && completion)
            completion(result);
    }

    AvahiQtPoll m_poll;
    QHash<quint64, Job *> m_jobs;
    QSet<QString> m_failing;
    quint64 m_lastJob = 0;
    QObject *m_context = new QObject;
};

} // namespace

std::unique_ptr<DnsSdBrowser> makeAvahiBrowser(const QString &serviceType)
{
    return std::make_unique<AvahiBrowser>(serviceType);
}

std::unique_ptr<DnsSdResolver> makeAvahiResolver()
{
    return std::make_unique<AvahiResolver>();
}

} // namespace pgw
