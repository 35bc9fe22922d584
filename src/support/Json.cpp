// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Json.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <limits>

namespace pgw::json {

std::optional<qint64> toInt(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger gives its fallback for fractions and out-of-range values; two fallbacks tell a real 0 apart.
    const qint64 first = value.toInteger(0);
    if (first != 0)
        return first;
    if (value.toInteger(1) == 0)
        return qint64(0);
    return std::nullopt;
}

std::optional<int> toInt32(const QJsonValue &value)
{
    const auto integer = toInt(value);
    if (!integer || *integer < std::numeric_limits<int>::min() || *integer > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(*integer);
}

std::optional<int> optInt32(const QJsonObject &object, QLatin1StringView key)
{
    return toInt32(object.value(key));
}

int int32Or(const QJsonObject &object, QLatin1StringView key, int fallback)
{
    return optInt32(object, key).value_or(fallback);
}

std::optional<double> toNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

std::optional<qint64> optInt(const QJsonObject &object, QLatin1StringView key)
{
    return toInt(object.value(key));
}

qint64 intOr(const QJsonObject &object, QLatin1StringView key, qint64 fallback)
{
    return optInt(object, key).value_or(fallback);
}

std::optional<double> optNumber(const QJsonObject &object, QLatin1StringView key)
{
    return toNumber(object.value(key));
}

double numberOr(const QJsonObject &object, QLatin1StringView key, double fallback)
{
    return optNumber(object, key).value_or(fallback);
}

std::optional<QString> optString(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

QString stringOr(const QJsonObject &object, QLatin1StringView key, const QString &fallback)
{
    return optString(object, key).value_or(fallback);
}

std::optional<QString> nonEmptyString(const QJsonObject &object, QLatin1StringView key)
{
    auto value = optString(object, key);
    if (value && value->isEmpty())
        return std::nullopt;
    return value;
}

std::optional<bool> optBool(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

bool boolOr(const QJsonObject &object, QLatin1StringView key, bool fallback)
{
    return optBool(object, key).value_or(fallback);
}

std::optional<QJsonObject> optObject(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isObject())
        return std::nullopt;
    return value.toObject();
}

QJsonObject objectOr(const QJsonObject &object, QLatin1StringView key)
{
    return optObject(object, key).value_or(QJsonObject());
}

std::optional<QJsonArray> optArray(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return std::nullopt;
    return value.toArray();
}

QJsonArray arrayOr(const QJsonObject &object, QLatin1StringView key)
{
    return optArray(object, key).value_or(QJsonArray());
}

std::optional<QJsonObject> parseObject(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

qsizetype markCount(QByteArrayView text)
{
    qsizetype marks = 0;
    bool inString = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[' || c == ',' || c == ':') {
            ++marks;
        }
    }
    return marks;
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace pgw::json
