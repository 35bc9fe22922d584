// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// Lenient readers for dictionaries from the wire and from disk: an integer is a JSON number with an
// integral value, and a missing or mistyped member yields the default.
namespace pgw::json {

std::optional<qint64> toInt(const QJsonValue &value);
std::optional<double> toNumber(const QJsonValue &value);
// An integer that also fits in an int (indices, counts); others are absent.
std::optional<int> toInt32(const QJsonValue &value);

std::optional<qint64> optInt(const QJsonObject &object, QLatin1StringView key);
qint64 intOr(const QJsonObject &object, QLatin1StringView key, qint64 fallback);
std::optional<int> optInt32(const QJsonObject &object, QLatin1StringView key);
int int32Or(const QJsonObject &object, QLatin1StringView key, int fallback);
std::optional<double> optNumber(const QJsonObject &object, QLatin1StringView key);
double numberOr(const QJsonObject &object, QLatin1StringView key, double fallback);
std::optional<QString> optString(const QJsonObject &object, QLatin1StringView key);
QString stringOr(const QJsonObject &object, QLatin1StringView key, const QString &fallback = {});
// A string member that is present and not empty.
std::optional<QString> nonEmptyString(const QJsonObject &object, QLatin1StringView key);
std::optional<bool> optBool(const QJsonObject &object, QLatin1StringView key);
bool boolOr(const QJsonObject &object, QLatin1StringView key, bool fallback);
std::optional<QJsonObject> optObject(const QJsonObject &object, QLatin1StringView key);
QJsonObject objectOr(const QJsonObject &object, QLatin1StringView key);
std::optional<QJsonArray> optArray(const QJsonObject &object, QLatin1StringView key);
QJsonArray arrayOr(const QJsonObject &object, QLatin1StringView key);

// Parses bytes that must hold one JSON object; anything else is absent.
std::optional<QJsonObject> parseObject(const QByteArray &bytes);
// The '{', '[', ',' and ':' outside strings: about the number of values and names that parsing would
// build, counted without building them.
qsizetype markCount(QByteArrayView text);
QByteArray compact(const QJsonObject &object);

} // namespace pgw::json
