// SPDX-License-Identifier: GPL-3.0-or-later
#include "LinkProbe.h"

#include "link/PlayerAccessPIN.h"
#include "link/PlayerJoinLink.h"
#include "support/Json.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace pgw::probe {

namespace {

std::optional<LinkProbe::AssetWant> assetWant(const QString &text)
{
    const QStringList parts = text.split(u':');
    if (parts.size() < 4)
        return std::nullopt;
    bool tokenValid = false;
    bool pageValid = false;
    LinkProbe::AssetWant want {
        parts[0].toLongLong(&tokenValid), parts[1].toLongLong(&pageValid), parts[2], parts.mid(3).join(u':')};
    if (!tokenValid || !pageValid || want.kind.isEmpty())
        return std::nullopt;
    return want;
}

std::optional<double> seconds(const QString &text)
{
    bool valid = false;
    const double value = text.toDouble(&valid);
    if (!valid || !std::isfinite(value) || value < 0 || value > 86'400)
        return std::nullopt;
    return value;
}

QString stateName(PlayerConnection::State::Kind kind)
{
    switch (kind) {
    case PlayerConnection::State::Kind::Idle:
        return u"idle"_s;
    case PlayerConnection::State::Kind::Connecting:
        return u"connecting"_s;
    case PlayerConnection::State::Kind::Connected:
        return u"connected"_s;
    case PlayerConnection::State::Kind::Ended:
        return u"ended"_s;
    }
    return {};
}

QString authenticationName(PlayerConnection::AuthenticationEvent event)
{
    switch (event) {
    case PlayerConnection::AuthenticationEvent::Required:
        return u"required"_s;
    case PlayerConnection::AuthenticationEvent::Rejected:
        return u"rejected"_s;
    case PlayerConnection::AuthenticationEvent::Accepted:
        return u"accepted"_s;
    }
    return {};
}

} // namespace

QString LinkProbe::usage()
{
    return u"usage: pgw-probe (--host H --port P | --link URL | --service NAME) [--name N] [--pin PIN]\n"
           "                 [--manifest] [--asset TOKEN:PAGE:KIND:VERSION]... [--for SECONDS] [--timeout "
           "SECONDS]\n"
           "       pgw-probe --browse SECONDS"_s;
}

std::variant<LinkProbe::Options, QString> LinkProbe::parse(const QStringList &arguments)
{
    Options options;
    std::optional<QString> host;
    std::optional<quint16> port;
    std::optional<QString> link;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &option = arguments[i];
        if (option == "--manifest"_L1) {
            options.manifest = true;
            continue;
        }
        if (i + 1 >= arguments.size())
            return option + u" needs a value"_s;
        const QString value = arguments[++i];
        if (option == "--host"_L1) {
            host = value;
        } else if (option == "--port"_L1) {
            bool valid = false;
            const uint number = value.toUInt(&valid);
            if (!valid || number < 1 || number > 65535)
                return u"--port must be 1 to 65535"_s;
            port = quint16(number);
        } else if (option == "--link"_L1) {
            link = value;
        } else if (option == "--service"_L1) {
            if (value.trimmed().isEmpty())
                return u"--service needs a name"_s;
            options.service = value.trimmed();
        } else if (option == "--browse"_L1) {
            const auto duration = seconds(value);
            if (!duration)
                return option + u" wants a number of seconds"_s;
            options.browse = *duration;
        } else if (option == "--name"_L1) {
            options.name = value;
        } else if (option == "--pin"_L1) {
            options.pin = PlayerAccessPIN::normalized(value);
            if (!options.pin)
                return u"--pin must be 4 to 8 digits"_s;
        } else if (option == "--asset"_L1) {
            const auto want = assetWant(value);
            if (!want)
                return u"--asset wants TOKEN:PAGE:KIND:VERSION"_s;
            options.assets << *want;
        } else if (option == "--for"_L1 || option == "--timeout"_L1) {
            const auto duration = seconds(value);
            if (!duration)
                return option + u" wants a number of seconds"_s;
            (option == "--for"_L1 ? options.stay : options.timeout) = *duration;
        } else {
            return u"unknown option "_s + option;
        }
    }
    const int ways
        = (link ? 1 : 0) + (host || port ? 1 : 0) + (options.service ? 1 : 0) + (options.browse ? 1 : 0);
    if (ways > 1)
        return u"give one of --host and --port, --link, --service or --browse"_s;
    if (options.browse || options.service)
        return options;
    if (link) {
        const auto joined = PlayerJoinLink::discoveredHost(QUrl(*link));
        if (!joined)
            return u"not a join link: "_s + *link;
        options.endpoint = joined->endpoint;
        options.recoveryServiceName = joined->recoveryServiceName;
        options.key = joined->key;
        options.supportsEncryption = joined->supportsEncryption;
        if (!options.pin)
            options.pin = joined->pin;
    } else if (host && !host->isEmpty() && port) {
        options.endpoint = NetworkEndpoint::hostPort(*host, *port);
    } else {
        return u"give --host and --port, --link, --service or --browse"_s;
    }
    return options;
}

LinkProbe::LinkProbe(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_queue(u"player.connection"_s)
    , m_main(this)
{
    m_connection = PlayerConnection::create(PlayerConnection::systemEnvironment(m_queue.scheduler(), m_main));
    m_connection->onHostsChange = [this](const QList<DiscoveredHost> &hosts) { hostsChanged(hosts); };
    m_connection->onStateChange = [this](const PlayerConnection::State &state) { stateChanged(state); };
    m_connection->onAuthenticationChange = [this](auto event) { authenticationChanged(event); };
    m_connection->onEncryptionChange = [this](bool on) {
        emitLine({{"event"_L1, "encryption"_L1}, {"value"_L1, on}});
    };
    m_connection->onMessage = [this](const QJsonObject &message) {
        emitLine({{"event"_L1, "message"_L1}, {"message"_L1, message}});
    };
}

LinkProbe::~LinkProbe()
{
    m_connection->shutdownForProcessExit();
    m_connection.reset();
    m_queue.stop();
}

void LinkProbe::start()
{
    if (m_options.browse) {
        m_connection->startBrowsing();
        QTimer::singleShot(int(*m_options.browse * 1000), this, [this] { finish(0); });
        return;
    }
    QTimer::singleShot(int(m_options.timeout * 1000), this, [this] {
        if (m_workDone)
            return;
        error(u"timed out after %1 s"_s.arg(m_options.timeout));
        finish(1);
    });
    if (m_options.service) {
        m_connection->startBrowsing();
        return;
    }
    m_joined = true;
    m_connection->join(*m_options.endpoint, m_options.name, m_options.recoveryServiceName, m_options.pin,
        m_options.key, m_options.supportsEncryption);
}

void LinkProbe::hostsChanged(const QList<DiscoveredHost> &hosts)
{
    QJsonArray list;
    for (const DiscoveredHost &host : hosts) {
        list.append(QJsonObject {{"id"_L1, host.id}, {"name"_L1, host.name},
            {"supportsEncryption"_L1, host.supportsEncryption}, {"requiresPIN"_L1, host.requiresPIN}});
    }
    emitLine({{"event"_L1, "hosts"_L1}, {"hosts"_L1, list}});
    if (!m_options.service || m_joined)
        return;
    for (const DiscoveredHost &host : hosts) {
        if (host.id == *m_options.service) {
            m_joined = true;
            m_connection->join(host.endpoint, m_options.name, host.recoveryServiceName, m_options.pin,
                host.key, host.supportsEncryption);
            return;
        }
    }
}

void LinkProbe::stateChanged(const PlayerConnection::State &state)
{
    QJsonObject line {{"event"_L1, "state"_L1}, {"state"_L1, stateName(state.kind)}};
    if (state.kind == PlayerConnection::State::Kind::Ended)
        line.insert("reason"_L1, state.reason);
    emitLine(line);
    if (state.kind == PlayerConnection::State::Kind::Connected)
        requestWork();
    else if (state.kind == PlayerConnection::State::Kind::Ended)
        finish(m_workDone && m_allAnswered ? 0 : 1);
}

void LinkProbe::authenticationChanged(PlayerConnection::AuthenticationEvent event)
{
    emitLine({{"event"_L1, "authentication"_L1}, {"value"_L1, authenticationName(event)}});
    if (event != PlayerConnection::AuthenticationEvent::Accepted) {
        error(m_options.pin ? u"the Host refused the PIN"_s : u"the Host wants a PIN; give --pin"_s);
        finish(1);
    }
}

void LinkProbe::requestWork()
{
    if (m_requested)
        return;
    m_requested = true;
    m_outstanding = int(m_options.assets.size()) + (m_options.manifest ? 1 : 0);
    if (m_options.manifest) {
        m_connection->requestManifest([this](const std::optional<QJsonObject> &manifest) {
            emitLine({{"event"_L1, "manifest"_L1},
                {"manifest"_L1, manifest ? QJsonValue(*manifest) : QJsonValue()}});
            answered(manifest.has_value());
        });
    }
    for (const AssetWant &want : m_options.assets) {
        m_connection->requestAsset(want.scoreToken, want.pageIndex, want.kind, want.version, true,
            [this, want](qint64 status, const std::optional<QString> &fingerprint,
                const std::optional<QByteArray> &data) {
                const QByteArray bytes = data.value_or(QByteArray());
                emitLine({{"event"_L1, "asset"_L1}, {"scoreToken"_L1, want.scoreToken},
                    {"pageIndex"_L1, want.pageIndex}, {"kind"_L1, want.kind}, {"version"_L1, want.version},
                    {"status"_L1, status},
                    {"fingerprint"_L1, fingerprint ? QJsonValue(*fingerprint) : QJsonValue()},
                    {"bytes"_L1, bytes.size()},
                    {"sha256"_L1,
                        QString::fromLatin1(
                            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())}});
                answered(status == 200);
            });
    }
    if (m_outstanding == 0)
        answered(true);
}

void LinkProbe::answered(bool success)
{
    m_allAnswered = m_allAnswered && success;
    if (m_outstanding > 0)
        --m_outstanding;
    if (m_outstanding > 0 || m_workDone)
        return;
    m_workDone = true;
    const int code = m_allAnswered ? 0 : 1;
    QTimer::singleShot(int(m_options.stay * 1000), this, [this, code] { finish(code); });
}

void LinkProbe::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    Q_EMIT finished(exitCode);
}

void LinkProbe::error(const QString &text)
{
    emitLine({{"event"_L1, "error"_L1}, {"text"_L1, text}});
}

void LinkProbe::emitLine(const QJsonObject &object)
{
    if (m_finished)
        return;
    const QByteArray line = json::compact(object) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace pgw::probe
