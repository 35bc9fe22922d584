// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTest>

#include <limits>

// Small helpers several subsystems' tests share.
namespace pgw::test {

inline constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// A JSON object written out in a test.
inline QJsonObject object(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes `bytes`, then makes the file `size` bytes long (sparse) when a size is given.
inline void writeFile(const QString &path, const QByteArray &bytes, qint64 size = -1)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
    if (size >= 0)
        QVERIFY(file.resize(size));
}

// One section of the independent names-and-identities vectors.
inline QJsonValue vectors(QLatin1StringView section)
{
    QFile file(QStringLiteral(PGW_SHARED_DIR "/vectors/names-and-identities.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object().value(section)
                                          : QJsonValue();
}

// `from` to `to`, both included, counting down when `to` is the smaller.
inline QList<int> range(int from, int to)
{
    QList<int> values;
    const int step = from <= to ? 1 : -1;
    for (int value = from; value != to + step; value += step)
        values << value;
    return values;
}

} // namespace pgw::test
