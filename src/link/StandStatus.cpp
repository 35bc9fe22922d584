// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/StandStatus.h"

#include "link/Wire.h"
#include "support/DefaultsKeys.h"
#include "support/DefaultsStore.h"
#include "support/RawValues.h"

#include <QTextBoundaryFinder>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace pgw {

QString cutToGraphemes(const QString &text, int count)
{
    if (count <= 0)
        return {};
    if (text.size() <= count)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int clusters = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++clusters == count)
            return text.left(finder.position());
    }
    return text;
}

namespace {

constexpr RawValueTable<StandStatusSnapshot::Mode, 4> modes {{
    {StandStatusSnapshot::Mode::Follow, QLatin1StringView("follow")},
    {StandStatusSnapshot::Mode::SelfTurn, QLatin1StringView("selfTurn")},
    {StandStatusSnapshot::Mode::Peek, QLatin1StringView("peek")},
    {StandStatusSnapshot::Mode::Offline, QLatin1StringView("offline")},
}};

constexpr RawValueTable<StandStatusSnapshot::ChartSelection, 2> charts {{
    {StandStatusSnapshot::ChartSelection::Master, QLatin1StringView("master")},
    {StandStatusSnapshot::ChartSelection::Part, QLatin1StringView("part")},
}};

} // namespace

QString StandStatusSnapshot::rawValue(Mode mode)
{
    return pgw::rawValue(modes, mode);
}

QString StandStatusSnapshot::rawValue(ChartSelection chart)
{
    return pgw::rawValue(charts, chart);
}

QJsonObject StandStatusSnapshot::wireMessage(const QString &clientInstanceID, const QString &platform,
    const QString &version, const QString &build, const QString &transport) const
{
    const qint64 total = std::clamp<qint64>(cacheTotal, 0, 1'000'000);
    const qint64 ready = std::clamp<qint64>(cacheReady, 0, total);
    return QJsonObject {
        {"type"_L1, MessageType::standStatus},
        {"statusVersion"_L1, 1},
        {"clientInstanceID"_L1, cutToGraphemes(clientInstanceID, 96)},
        {"client"_L1,
            QJsonObject {{"platform"_L1, cutToGraphemes(platform, 32)},
                {"version"_L1, cutToGraphemes(version, 48)}, {"build"_L1, cutToGraphemes(build, 48)}}},
        {"transport"_L1, cutToGraphemes(transport, 24)},
        {"joined"_L1, joined},
        {"mode"_L1, rawValue(mode)},
        {"chart"_L1,
            QJsonObject {{"selection"_L1, rawValue(chart)},
                {"partID"_L1, chart == ChartSelection::Part ? cutToGraphemes(partID, 96) : QString()},
                {"masterFallback"_L1, masterFallback}}},
        {"cache"_L1, QJsonObject {{"ready"_L1, ready}, {"total"_L1, total}}},
        {"page"_L1,
            QJsonObject {{"displayed"_L1, displayedPage}, {"host"_L1, hostPage},
                {"displayedScoreToken"_L1, displayedScoreToken}, {"hostScoreToken"_L1, hostScoreToken}}},
        {"health"_L1,
            QJsonObject {{"connected"_L1, connected}, {"reconnects"_L1, std::max<qint64>(reconnects, 0)},
                {"stalledRequests"_L1, std::max<qint64>(stalledRequests, 0)},
                {"lastHostContactAgeMs"_L1,
                    std::clamp<qint64>(lastHostContactAgeMilliseconds, 0, 3'600'000)}}},
    };
}

namespace StandClient {

QString version()
{
    return QStringLiteral(PGW_VERSION);
}

QString build()
{
    return QStringLiteral(PGW_BUILD);
}

} // namespace StandClient

namespace StandClientIdentity {

bool isValid(const QString &id)
{
    const auto codePoints = id.toUcs4();
    if (codePoints.size() < 8 || codePoints.size() > 96)
        return false;
    return std::all_of(codePoints.begin(), codePoints.end(), [](char32_t c) {
        return QChar::isLetterOrNumber(c) || c == U'.' || c == U'_' || c == U':' || c == U'-';
    });
}

QString loadOrCreate(DefaultsStore &defaults)
{
    const QVariant stored = defaults.value(DefaultsKeys::clientInstanceID);
    if (stored.typeId() == QMetaType::QString && isValid(stored.toString()))
        return stored.toString();
    const QString id = u"player-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    defaults.setValue(DefaultsKeys::clientInstanceID, id);
    return id;
}

} // namespace StandClientIdentity

} // namespace pgw
