// SPDX-License-Identifier: GPL-3.0-or-later
#include "show/PlayerPart.h"

#include "support/Json.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace pgw {

QList<PlayerPartOption> PlayerPartOption::parse(const QJsonValue &value)
{
    QList<PlayerPartOption> options;
    QSet<QString> seen;
    for (const QJsonValue &element : value.toArray()) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        const QString optionID = json::stringOr(object, "optionID"_L1).trimmed();
        const QString ref = json::stringOr(object, "ref"_L1).trimmed();
        if (optionID.isEmpty() || optionID == PlayerPartResolver::masterChoice || ref.isEmpty()
            || seen.contains(optionID))
            continue;
        seen.insert(optionID);
        QStringList instruments;
        for (const QJsonValue &instrument : json::arrayOr(object, "instrumentIDs"_L1)) {
            const QString id = instrument.toString();
            if (!id.isEmpty() && !instruments.contains(id))
                instruments.append(id);
        }
        const QString label = json::stringOr(object, "label"_L1).trimmed();
        options.append({optionID, label.isEmpty() ? optionID : label, instruments, ref});
    }
    return options;
}

QList<PlayerPartOption> PlayerPartChooser::matchingOptions() const
{
    QList<PlayerPartOption> result;
    for (const PlayerPartOption &option : options) {
        if (matchingOptionIDs.contains(option.optionID))
            result.append(option);
    }
    return result;
}

namespace PlayerPartResolver {

QList<PlayerPartOption> matching(const QList<PlayerPartOption> &options, const QSet<QString> &myInstrumentIDs)
{
    QList<PlayerPartOption> result;
    for (const PlayerPartOption &option : options) {
        if (std::any_of(option.instrumentIDs.begin(), option.instrumentIDs.end(),
                [&](const QString &id) { return myInstrumentIDs.contains(id); }))
            result.append(option);
    }
    return result;
}

PlayerPartResolutionValue resolve(const QList<PlayerPartOption> &options,
    const QSet<QString> &myInstrumentIDs, const std::optional<QString> &savedOptionID)
{
    using namespace PlayerPartResolution;
    if (savedOptionID == masterChoice)
        return Master {};
    const QList<PlayerPartOption> matches = matching(options, myInstrumentIDs);
    auto find
        = [](const QList<PlayerPartOption> &list, const QString &id) -> std::optional<PlayerPartOption> {
        for (const PlayerPartOption &option : list) {
            if (option.optionID == id)
                return option;
        }
        return std::nullopt;
    };
    if (savedOptionID && savedOptionID->startsWith(allPrefix)) {
        if (auto option = find(options, savedOptionID->mid(allPrefix.size())))
            return Automatic {*option};
    } else if (savedOptionID) {
        if (auto option = find(matches, *savedOptionID))
            return Automatic {*option};
    }
    if (matches.size() == 1)
        return Automatic {matches.first()};
    if (matches.size() >= 2)
        return Choose {matches};
    return Master {};
}

} // namespace PlayerPartResolver

} // namespace pgw
