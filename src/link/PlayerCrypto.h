// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

namespace pgw {

// Key material and randomness for the end-to-end channel to a Host.
namespace PlayerCrypto {

inline constexpr qsizetype keyMaterialLength = 32;
inline constexpr qsizetype keyLength = 32;
inline constexpr qsizetype connectionNonceLength = 16;
inline constexpr qsizetype sessionSecretLength = 16;

// PBKDF2-HMAC-SHA256 of the PIN's UTF-8 bytes: 32 bytes, or nothing if the library fails.
std::optional<QByteArray> ikmForJoinPIN(const QString &pin);

// HKDF-SHA256 over the key material, salted with the connection nonce and bound to the key id.
std::optional<QByteArray> channelKey(
    QByteArrayView keyMaterial, QByteArrayView connectionNonce, const QString &kid);

// Fills a buffer with cryptographically secure bytes; returns false on failure.
using RandomFill = std::function<bool(unsigned char *buffer, int length)>;
RandomFill opensslRandom();
// `count` secure random bytes from `primary`, else from the kernel's getrandom(2). A repeated nonce
// would repeat the key, so there is no predictable fallback: when both fail there are no bytes.
std::optional<QByteArray> secureRandomBytes(qsizetype count, const RandomFill &primary);
std::optional<QByteArray> randomConnectionNonce();
// Frees the calling thread's random generator state. Called by a queue thread that is about to end,
// so the state is not left to thread-exit handlers that may run after the process has begun to exit.
void releaseThreadState();

// A join link's "k" value: base 32 that decodes to exactly 16 bytes, white space trimmed.
std::optional<QByteArray> sessionSecret(const std::optional<QString> &linkValue);
// RFC 4648 base 32 without padding, either case; trailing bits that do not fill a byte are dropped.
std::optional<QByteArray> dataFromBase32(const QString &text);

} // namespace PlayerCrypto

} // namespace pgw
