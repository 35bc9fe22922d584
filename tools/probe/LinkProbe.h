// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/NetworkEndpoint.h"
#include "link/PlayerConnection.h"
#include "support/EventLoopScheduler.h"
#include "support/SerialQueue.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <variant>

namespace pgw::probe {

// Checks a link to a Host with the Player's own connection and reports every event as one JSON
// object per line on standard output.
class LinkProbe : public QObject
{
    Q_OBJECT

public:
    struct AssetWant
    {
        qint64 scoreToken = 0;
        qint64 pageIndex = 0;
        QString kind;
        QString version;
    };

    struct Options
    {
        // Where to join: an endpoint, or the browsed Host with this service name.
        std::optional<NetworkEndpoint> endpoint;
        std::optional<QString> service;
        std::optional<QString> recoveryServiceName;
        QString name = QStringLiteral("probe");
        std::optional<QString> pin;
        std::optional<QByteArray> key;
        bool supportsEncryption = false;
        bool manifest = false;
        QList<AssetWant> assets;
        double stay = 0;
        double timeout = 20;
        // Only list the browsed Hosts for this many seconds.
        std::optional<double> browse;
    };

    // The options, or a text saying what is wrong with the arguments.
    static std::variant<Options, QString> parse(const QStringList &arguments);
    static QString usage();

    explicit LinkProbe(Options options, QObject *parent = nullptr);
    ~LinkProbe() override;

    // Starts the probe; `finished` carries the exit code.
    void start();

Q_SIGNALS:
    void finished(int exitCode);

private:
    void hostsChanged(const QList<DiscoveredHost> &hosts);
    void stateChanged(const PlayerConnection::State &state);
    void authenticationChanged(PlayerConnection::AuthenticationEvent event);
    void requestWork();
    void answered(bool success);
    void finish(int exitCode);
    void emitLine(const QJsonObject &object);
    void error(const QString &text);

    Options m_options;
    SerialQueue m_queue;
    EventLoopScheduler m_main;
    std::shared_ptr<PlayerConnection> m_connection;
    bool m_joined = false;
    bool m_requested = false;
    int m_outstanding = 0;
    bool m_allAnswered = true;
    bool m_workDone = false;
    bool m_finished = false;
};

} // namespace pgw::probe
