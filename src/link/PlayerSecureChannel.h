// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

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
    // The same frame handed to `send` as it is sealed, so that its start is on its way while the rest
    // is sealed: the header and sequence, the ciphertext in runs of at most `run` bytes, then the tag.
    bool sealFrameInRuns(quint8 innerType, const QList<QByteArrayView> &parts, qsizetype run,
        const std::function<void(QByteArrayView)> &send);
    // Opens the box that must carry the expected receive sequence; the counter only advances on
    // success. An unshared box is decrypted in place and becomes the plaintext. `opened` bytes of its
    // ciphertext may already have been decrypted by openArriving().
    std::optional<QByteArray> open(QByteArray box, qsizetype opened = 0);
    // Starts opening a large box while it arrives, so that decrypting overlaps receiving: the
    // ciphertext that has come is decrypted in place and `opened` counts it. Nothing decrypted may be
    // used before open() has checked the tag. False when the box's sequence is not the expected one.
    bool openArriving(char *box, qsizetype arrived, qsizetype boxLength, qsizetype &opened);

private:
    PlayerSecureChannel() = default;
    QByteArray nonceFor(const char *label, quint64 sequence) const;
    bool beginSealing();
    bool sealInto(char *out, QByteArrayView plaintext);
    // Writes the tag and moves on to the next send sequence.
    bool finishSealing(char *out, char *tag);
    bool beginOpening(QByteArrayView box);
    bool decryptInPlace(char *text, qsizetype length);
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
