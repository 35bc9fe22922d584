// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

namespace pgw {

// The sealing state of one encrypted connection: a key derived from the shared secret and the
// connection nonce, and one sequence counter per direction. Boxes are
// [8-byte big-endian sequence][ChaCha20-Poly1305 ciphertext][16-byte tag]; the AEAD nonce is the
// direction label ("C2H" for the Player's boxes, "H2C" for the Host's), a zero byte and the sequence.
// Boxes must arrive strictly in order: a skipped, repeated or reordered box does not open.
class PlayerSecureChannel
{
public:
    // Which end this channel seals for. The Host simulator uses the Host side.
    enum class Side { Player, Host };

    static constexpr qsizetype sequenceLength = 8;
    static constexpr qsizetype tagLength = 16;
    static constexpr qsizetype overhead = sequenceLength + tagLength;

    // Nothing when the key cannot be derived or the cipher is unavailable.
    static std::shared_ptr<PlayerSecureChannel> create(const QString &kid, QByteArrayView keyMaterial,
        QByteArrayView connectionNonce, Side side = Side::Player);
    ~PlayerSecureChannel();
    PlayerSecureChannel(const PlayerSecureChannel &) = delete;
    PlayerSecureChannel &operator=(const PlayerSecureChannel &) = delete;

    const QString &kid() const { return m_kid; }
    const QByteArray &connectionNonce() const { return m_connectionNonce; }
    const QByteArray &key() const { return m_key; }
    const QByteArray &aad() const { return m_aad; }
    quint64 sendSequence() const { return m_sendSequence; }
    quint64 receiveSequence() const { return m_receiveSequence; }

    // Seals with the next send sequence; the counter only advances on success.
    std::optional<QByteArray> seal(QByteArrayView plaintext);
    // A whole sealed frame (type 4) whose plaintext is the inner type byte followed by `parts`,
    // built in one allocation.
    std::optional<QByteArray> sealFrame(quint8 innerType, const QList<QByteArrayView> &parts);
    // Opens the box that must carry the expected receive sequence; the counter only advances on
    // success. An unshared box is decrypted in place and becomes the plaintext.
    std::optional<QByteArray> open(QByteArray box);

private:
    PlayerSecureChannel() = default;
    QByteArray nonceFor(const char *label, quint64 sequence) const;
    // Seals the concatenation of `parts` into a buffer that starts with `headroom` bytes for the caller.
    std::optional<QByteArray> sealParts(const QList<QByteArrayView> &parts, qsizetype headroom);

    QString m_kid;
    QByteArray m_connectionNonce;
    QByteArray m_key;
    QByteArray m_aad;
    const char *m_sealLabel = "C2H";
    const char *m_openLabel = "H2C";
    quint64 m_sendSequence = 0;
    quint64 m_receiveSequence = 0;
    EVP_CIPHER_CTX *m_sealContext = nullptr;
    EVP_CIPHER_CTX *m_openContext = nullptr;
};

} // namespace pgw
