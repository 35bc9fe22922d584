// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostLaneCodec.h"

#include "support/Json.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace pgw::hostsim {

QByteArray assetPayload(const QJsonObject &header, QByteArrayView body)
{
    const QByteArray headerBytes = json::compact(header);
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian(quint32(headerBytes.size()), out.data());
    out.reserve(4 + headerBytes.size() + body.size());
    out.append(headerBytes);
    out.append(body);
    return out;
}

std::optional<HostLaneCodec::Incoming> HostLaneCodec::next()
{
    const auto frame = m_reader.next();
    if (!frame)
        return std::nullopt;
    Incoming incoming;
    QByteArray payload = frame->payload;
    quint8 type = frame->type;
    if (type == Wire::SecureHelloFrame) {
        if (auto hello = json::parseObject(payload))
            return Incoming {Incoming::Kind::SecureHello, *hello, false};
        return incoming;
    }
    if (type == Wire::SealedFrame) {
        const auto plaintext = m_channel ? m_channel->open(payload) : std::nullopt;
        if (!plaintext || plaintext->isEmpty())
            return incoming;
        incoming.sealed = true;
        type = quint8(plaintext->at(0));
        payload = plaintext->sliced(1);
    }
    const auto message = type == Wire::JsonMessage ? json::parseObject(payload) : std::nullopt;
    if (!message)
        return incoming;
    incoming.kind = Incoming::Kind::Message;
    incoming.message = *message;
    return incoming;
}

bool HostLaneCodec::startChannel(const QJsonObject &secureHello, QByteArrayView keyMaterial)
{
    const QString kid = json::stringOr(secureHello, "kid"_L1);
    const QByteArray nonce = QByteArray::fromHex(json::stringOr(secureHello, "nonce"_L1).toLatin1());
    if (kid.isEmpty() || nonce.size() != 16 || keyMaterial.isEmpty())
        return false;
    m_channel = PlayerSecureChannel::create(kid, keyMaterial, nonce, PlayerSecureChannel::Side::Host);
    return bool(m_channel);
}

QByteArray HostLaneCodec::message(const QJsonObject &message, bool plain)
{
    return encode(Wire::JsonMessage, {Wire::encodeMessage(message)}, plain);
}

QByteArray HostLaneCodec::assetResponse(const QJsonObject &header, QByteArrayView body)
{
    return asset(Wire::AssetResponseFrame, header, body);
}

QByteArray HostLaneCodec::assetChunk(const QJsonObject &header, QByteArrayView body)
{
    return asset(Wire::AssetChunkFrame, header, body);
}

QByteArray HostLaneCodec::asset(quint8 type, const QJsonObject &header, QByteArrayView body)
{
    // Written straight into the frame: a large body is copied (or sealed) once.
    const QByteArray headerBytes = json::compact(header);
    char headerLength[4];
    qToBigEndian(quint32(headerBytes.size()), headerLength);
    return encode(type, {QByteArrayView(headerLength, 4), headerBytes, body}, false);
}

QByteArray HostLaneCodec::encode(quint8 type, const QList<QByteArrayView> &parts, bool plain)
{
    if (!m_channel || plain)
        return Wire::frame(type, parts);
    return m_channel->sealFrame(type, parts).value_or(QByteArray());
}

} // namespace pgw::hostsim
