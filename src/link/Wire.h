// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace pgw {

// Frames: a 4-byte big-endian length (type byte + payload), one type byte, the payload.
namespace Wire {

inline constexpr int protocolVersion = 1;
// 1 type byte + 8 sequence bytes + the largest sealed plaintext + a 16-byte tag.
inline constexpr qint64 maxFrameLength = 16'777'241;
inline constexpr qsizetype maxPlaintextLength = 16'777'216;
inline constexpr qint64 maxAssetBytes = 16'777'216;
// An asset frame's JSON header names a request, a status, a version and a chunk: a few dozen bytes.
inline constexpr qint64 maxAssetHeaderBytes = 65'536;

enum FrameType : quint8 {
    JsonMessage = 1,
    AssetResponseFrame = 2,
    AssetChunkFrame = 3,
    SealedFrame = 4,
    SecureHelloFrame = 5,
};

QByteArray frame(quint8 type, QByteArrayView payload);
// A frame whose payload is the concatenation of `parts`, built in one allocation.
QByteArray frame(quint8 type, const QList<QByteArrayView> &parts);
// The unsigned big-endian value of the first four bytes (of fewer when the buffer is shorter).
qint64 bigEndianLength(QByteArrayView bytes);

QByteArray encodeMessage(const QJsonObject &message);
// Lowercase hexadecimal, two zero-padded digits per byte.
QString hexLower(QByteArrayView bytes);

// Opening messages; the PIN travels only in plain.
QJsonObject hiMessage(const QString &name, const std::optional<QString> &pin);
QJsonObject attachMessage(const std::optional<QString> &pin);
// The payload of a secure hello: {"v": 2, "kid": ..., "nonce": hex}.
QByteArray secureHelloPayload(const QString &keyID, QByteArrayView nonce);

} // namespace Wire

// Message types and the fixed member values of the catalogue.
namespace MessageType {
inline constexpr QLatin1StringView hi {"hi"};
inline constexpr QLatin1StringView attach {"attach"};
inline constexpr QLatin1StringView manifest {"manifest"};
inline constexpr QLatin1StringView renditionManifest {"renditionManifest"};
inline constexpr QLatin1StringView asset {"asset"};
inline constexpr QLatin1StringView ping {"ping"};
inline constexpr QLatin1StringView pong {"pong"};
inline constexpr QLatin1StringView standStatus {"standStatus"};
inline constexpr QLatin1StringView auth {"auth"};
inline constexpr QLatin1StringView hello {"hello"};
inline constexpr QLatin1StringView end {"end"};
inline constexpr QLatin1StringView nav {"nav"};
inline constexpr QLatin1StringView structure {"structure"};
inline constexpr QLatin1StringView marks {"marks"};
inline constexpr QLatin1StringView blackout {"blackout"};
inline constexpr QLatin1StringView presence {"presence"};
inline constexpr QLatin1StringView ink {"ink"};
} // namespace MessageType

namespace AuthStatus {
inline constexpr QLatin1StringView open {"open"};
inline constexpr QLatin1StringView required {"required"};
inline constexpr QLatin1StringView rejected {"rejected"};
} // namespace AuthStatus

namespace EndReason {
inline constexpr QLatin1StringView ended {"ended"};
inline constexpr QLatin1StringView version {"version"};
} // namespace EndReason

struct Frame
{
    quint8 type = 0;
    QByteArray payload;
    bool operator==(const Frame &) const = default;
};

// Turns a byte stream into frames. Bytes go in as they arrive; complete frames come out one at a
// time. A length outside 1 … maxFrameLength is a protocol error, after which nothing more is read.
// Room for a frame is reserved once its length is known, and a large payload is handed over
// without copying it.
class FrameReader
{
public:
    void append(QByteArrayView bytes);
    std::optional<Frame> next();
    bool hasError() const { return m_error; }
    qsizetype bufferedBytes() const { return m_buffer.size() - m_offset; }

private:
    // Payloads above this size are handed over rather than copied.
    static constexpr qint64 largePayload = 64 * 1024;

    QByteArray m_buffer;
    qsizetype m_offset = 0;
    bool m_error = false;
};

// A whole asset (frame type 2).
struct AssetResponse
{
    QString requestId;
    qint64 status = 0;
    std::optional<QString> fingerprint;
    QByteArray png;
    bool operator==(const AssetResponse &) const = default;

    // Takes the payload by value so that a moved-in buffer becomes the body without a copy.
    static std::optional<AssetResponse> parse(QByteArray framePayload);
};

// One piece of an asset (frame type 3). The first chunk carries "of" and "bytes" and starts a
// reassembly; the others carry "seq".
struct AssetChunk
{
    QString requestId;
    std::optional<qint64> of;
    std::optional<qint64> bytes;
    std::optional<qint64> seq;
    qint64 status = 0;
    std::optional<QString> fingerprint;
    QByteArray body;
    bool operator==(const AssetChunk &) const = default;

    bool startsReassembly() const { return of && bytes; }
    static std::optional<AssetChunk> parse(QByteArray framePayload);
};

} // namespace pgw
