// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Wire.h"

#include "support/Json.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace pgw {

namespace Wire {

QByteArray frame(quint8 type, QByteArrayView payload)
{
    QByteArray out;
    out.resize(5 + payload.size());
    qToBigEndian(quint32(payload.size() + 1), out.data());
    out[4] = char(type);
    if (!payload.isEmpty())
        memcpy(out.data() + 5, payload.data(), size_t(payload.size()));
    return out;
}

QByteArray frame(quint8 type, const QList<QByteArrayView> &parts)
{
    qsizetype size = 0;
    for (QByteArrayView part : parts)
        size += part.size();
    QByteArray out(5 + size, Qt::Uninitialized);
    qToBigEndian(quint32(size + 1), out.data());
    out[4] = char(type);
    char *at = out.data() + 5;
    for (QByteArrayView part : parts) {
        if (!part.isEmpty())
            memcpy(at, part.data(), size_t(part.size()));
        at += part.size();
    }
    return out;
}

qint64 bigEndianLength(QByteArrayView bytes)
{
    quint64 value = 0;
    for (qsizetype i = 0; i < std::min<qsizetype>(4, bytes.size()); ++i)
        value = (value << 8) | quint8(bytes[i]);
    return qint64(value);
}

QByteArray encodeMessage(const QJsonObject &message)
{
    return json::compact(message);
}

QString hexLower(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex());
}

QJsonObject hiMessage(const QString &name, const std::optional<QString> &pin)
{
    QJsonObject message {{"type"_L1, MessageType::hi}, {"name"_L1, name}};
    if (pin)
        message.insert("pin"_L1, *pin);
    return message;
}

QJsonObject attachMessage(const std::optional<QString> &pin)
{
    QJsonObject message {{"type"_L1, MessageType::attach}, {"role"_L1, "assets"_L1}};
    if (pin)
        message.insert("pin"_L1, *pin);
    return message;
}

QByteArray secureHelloPayload(const QString &keyID, QByteArrayView nonce)
{
    return json::compact(QJsonObject {{"v"_L1, 2}, {"kid"_L1, keyID}, {"nonce"_L1, hexLower(nonce)}});
}

} // namespace Wire

void FrameReader::append(QByteArrayView bytes)
{
    if (m_error || bytes.isEmpty())
        return;
    // Drop what has been consumed before the buffer grows, so it never holds more than a frame and a read.
    if (m_offset > 0 && (m_offset == m_buffer.size() || m_offset >= 65536)) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(bytes);
}

std::optional<Frame> FrameReader::next()
{
    const qsizetype available = m_buffer.size() - m_offset;
    if (m_error || available < 4)
        return std::nullopt;
    const qint64 length = Wire::bigEndianLength(QByteArrayView(m_buffer).sliced(m_offset, 4));
    if (length < 1 || length > Wire::maxFrameLength) {
        m_error = true;
        m_buffer.clear();
        m_offset = 0;
        return std::nullopt;
    }
    const qsizetype end = m_offset + 4 + qsizetype(length);
    if (m_buffer.size() < end) {
        // One allocation for the whole frame instead of one for every read that grows it.
        if (m_buffer.capacity() < end)
            m_buffer.reserve(end);
        return std::nullopt;
    }
    Frame frame;
    frame.type = quint8(m_buffer[m_offset + 4]);
    const qsizetype payloadStart = m_offset + 5;
    const qsizetype following = m_buffer.size() - end;
    if (length > largePayload && following < length) {
        // Hand the buffer over as the payload; only the bytes after the frame are copied.
        QByteArray rest = m_buffer.sliced(end);
        m_buffer.truncate(end);
        m_buffer.remove(0, payloadStart);
        frame.payload = std::move(m_buffer);
        m_buffer = std::move(rest);
        m_offset = 0;
        return frame;
    }
    frame.payload = m_buffer.sliced(payloadStart, qsizetype(length) - 1);
    m_offset = end;
    if (m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    return frame;
}

namespace {

struct AssetPayload
{
    QJsonObject header;
    QString requestId;
    QByteArray body;
};

std::optional<AssetPayload> parseAssetPayload(QByteArray payload)
{
    if (payload.size() < 4)
        return std::nullopt;
    const qint64 headerLength = Wire::bigEndianLength(payload);
    if (headerLength > payload.size() - 4 || headerLength > Wire::maxAssetHeaderBytes)
        return std::nullopt;
    auto header = json::parseObject(payload.sliced(4, qsizetype(headerLength)));
    if (!header)
        return std::nullopt;
    auto requestId = json::optString(*header, "requestId"_L1);
    if (!requestId)
        return std::nullopt;
    // Dropping the front of an unshared buffer moves its start; the body is not copied.
    payload.remove(0, 4 + qsizetype(headerLength));
    return AssetPayload {*header, *requestId, std::move(payload)};
}

} // namespace

std::optional<AssetResponse> AssetResponse::parse(QByteArray framePayload)
{
    auto payload = parseAssetPayload(std::move(framePayload));
    if (!payload)
        return std::nullopt;
    return AssetResponse {payload->requestId, json::intOr(payload->header, "status"_L1, 0),
        json::optString(payload->header, "fingerprint"_L1), std::move(payload->body)};
}

std::optional<AssetChunk> AssetChunk::parse(QByteArray framePayload)
{
    auto payload = parseAssetPayload(std::move(framePayload));
    if (!payload)
        return std::nullopt;
    const QJsonObject &h = payload->header;
    return AssetChunk {payload->requestId, json::optInt(h, "of"_L1), json::optInt(h, "bytes"_L1),
        json::optInt(h, "seq"_L1), json::intOr(h, "status"_L1, 0), json::optString(h, "fingerprint"_L1),
        std::move(payload->body)};
}

} // namespace pgw
