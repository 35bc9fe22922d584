// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace pgw {

class DefaultsStore;

// What the stand is doing, reported to the Host so it can see every desk at a glance.
struct StandStatusSnapshot
{
    enum class Mode { Follow, SelfTurn, Peek, Offline };
    enum class ChartSelection { Master, Part };

    bool joined = false;
    Mode mode = Mode::Follow;
    ChartSelection chart = ChartSelection::Master;
    QString partID;
    bool masterFallback = false;
    qint64 cacheReady = 0;
    qint64 cacheTotal = 0;
    qint64 displayedPage = -1;
    qint64 hostPage = -1;
    qint64 displayedScoreToken = -1;
    qint64 hostScoreToken = -1;
    bool connected = false;
    qint64 reconnects = 0;
    qint64 stalledRequests = 0;
    qint64 lastHostContactAgeMilliseconds = 0;

    bool operator==(const StandStatusSnapshot &) const = default;

    static QString rawValue(Mode mode);
    static QString rawValue(ChartSelection chart);

    // The "standStatus" message, with every string cut and every number clamped to what the Host accepts.
    QJsonObject wireMessage(const QString &clientInstanceID, const QString &platform, const QString &version,
        const QString &build, const QString &transport) const;
};

namespace StandClient {
inline constexpr QLatin1StringView platform {"Linux"};
inline constexpr QLatin1StringView transport {"peer"};
QString version();
QString build();
} // namespace StandClient

// The stable identity that lets the Host recognise this stand across reconnects and restarts.
namespace StandClientIdentity {
inline constexpr QLatin1StringView defaultsKey {"pgw.player.clientInstanceID"};
QString loadOrCreate(DefaultsStore &defaults);
bool isValid(const QString &id);
} // namespace StandClientIdentity

// The first n user-perceived characters (grapheme clusters) of a string.
QString cutToGraphemes(const QString &text, int count);

} // namespace pgw
