// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share with each other and with the seed generator.
namespace pgw::fuzz {

// Drops Qt's log output, which would report every refusal the inputs provoke; fatal messages still abort.
void quietLogging();

// Ends the run as a crash, which libFuzzer reports and saves, when a property of the code does not hold.
void require(bool holds, const char *property);

// Takes integers from the front of the input and leaves the rest as bytes; an exhausted input reads as zeros.
class Input
{
public:
    Input(const std::uint8_t *data, std::size_t size)
        : m_rest(reinterpret_cast<const char *>(data), qsizetype(size))
    { }
    quint8 byte();
    quint16 word();
    quint32 quad();
    QByteArrayView rest() const { return m_rest; }

private:
    QByteArrayView m_rest;
};

// The input's lines without their '\n'.
QList<QByteArrayView> lines(QByteArrayView text);

// The channel the sealed-box target opens with and the seed generator seals with: the PIN channel of the
// shared vectors, so that their boxes are seeds as they are.
inline const QByteArray channelKeyMaterial
    = QByteArray::fromHex("cc721e13c20ddebfe9de07602db1010e4b8a040c75ff512ee252dbf6db8a233d");
inline const QByteArray channelNonce = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
inline const QString channelKid = QStringLiteral("pin");

// The asset requests the asset-frame target has outstanding, which its seeds answer.
inline const QList<QString> assetRequestIds {
    QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3")};

} // namespace pgw::fuzz
