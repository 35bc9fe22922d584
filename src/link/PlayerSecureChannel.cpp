// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerSecureChannel.h"

#include "link/PlayerCrypto.h"
#include "link/Wire.h"

#include <QtEndian>

#include <openssl/evp.h>

namespace pgw {

namespace {

constexpr int aeadNonceLength = 12;

// Fetched once: the implicit fetch behind EVP_chacha20_poly1305() costs more than sealing a small box.
const EVP_CIPHER *cipher()
{
    static EVP_CIPHER *fetched = EVP_CIPHER_fetch(nullptr, "ChaCha20-Poly1305", nullptr);
    return fetched;
}

EVP_CIPHER_CTX *keyedContext(const QByteArray &key, bool encrypt)
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    if (ctx
        && EVP_CipherInit_ex2(ctx, cipher(), reinterpret_cast<const unsigned char *>(key.constData()),
               nullptr, encrypt ? 1 : 0, nullptr)
            == 1)
        return ctx;
    EVP_CIPHER_CTX_free(ctx);
    return nullptr;
}

const unsigned char *bytes(QByteArrayView view)
{
    return reinterpret_cast<const unsigned char *>(view.data());
}

} // namespace

std::shared_ptr<PlayerSecureChannel> PlayerSecureChannel::create(
    const QString &kid, QByteArrayView keyMaterial, QByteArrayView connectionNonce, Side side)
{
    if (!cipher())
        return nullptr;
    auto key = PlayerCrypto::channelKey(keyMaterial, connectionNonce, kid);
    if (!key)
        return nullptr;
    std::shared_ptr<PlayerSecureChannel> channel(new PlayerSecureChannel);
    channel->m_kid = kid;
    channel->m_connectionNonce = connectionNonce.toByteArray();
    channel->m_key = *key;
    channel->m_aad = "pgw-e2e-v2|" + kid.toUtf8() + "|peer";
    if (side == Side::Host)
        std::swap(channel->m_sealLabel, channel->m_openLabel);
    channel->m_sealContext = keyedContext(*key, true);
    channel->m_openContext = keyedContext(*key, false);
    if (!channel->m_sealContext || !channel->m_openContext)
        return nullptr;
    return channel;
}

PlayerSecureChannel::~PlayerSecureChannel()
{
    EVP_CIPHER_CTX_free(m_sealContext);
    EVP_CIPHER_CTX_free(m_openContext);
}

QByteArray PlayerSecureChannel::nonceFor(const char *label, quint64 sequence) const
{
    QByteArray nonce(aeadNonceLength, '\0');
    memcpy(nonce.data(), label, 3);
    qToBigEndian(sequence, nonce.data() + 4);
    return nonce;
}

std::optional<QByteArray> PlayerSecureChannel::seal(QByteArrayView plaintext)
{
    return sealParts({plaintext}, 0);
}

std::optional<QByteArray> PlayerSecureChannel::sealFrame(quint8 innerType, const QList<QByteArrayView> &parts)
{
    const char type = char(innerType);
    QList<QByteArrayView> plaintext {QByteArrayView(&type, 1)};
    plaintext.append(parts);
    constexpr qsizetype header = 5;
    auto frame = sealParts(plaintext, header);
    if (frame) {
        qToBigEndian(quint32(frame->size() - 4), frame->data());
        (*frame)[4] = char(Wire::SealedFrame);
    }
    return frame;
}

std::optional<QByteArray> PlayerSecureChannel::sealParts(
    const QList<QByteArrayView> &parts, qsizetype headroom)
{
    qsizetype length = 0;
    for (QByteArrayView part : parts)
        length += part.size();
    if (length > Wire::maxPlaintextLength)
        return std::nullopt;
    const QByteArray nonce = nonceFor(m_sealLabel, m_sendSequence);
    QByteArray out(headroom + overhead + length, Qt::Uninitialized);
    auto *box = reinterpret_cast<unsigned char *>(out.data()) + headroom;
    qToBigEndian(m_sendSequence, box);
    unsigned char *text = box + sequenceLength;
    EVP_CIPHER_CTX *ctx = m_sealContext;
    int written = 0;
    if (EVP_EncryptInit_ex2(ctx, nullptr, nullptr, bytes(nonce), nullptr) != 1
        || EVP_EncryptUpdate(ctx, nullptr, &written, bytes(m_aad), int(m_aad.size())) != 1)
        return std::nullopt;
    for (QByteArrayView part : parts) {
        if (part.isEmpty())
            continue;
        if (EVP_EncryptUpdate(ctx, text, &written, bytes(part), int(part.size())) != 1)
            return std::nullopt;
        text += written;
    }
    if (EVP_EncryptFinal_ex(ctx, text, &written) != 1
        || EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, int(tagLength), box + sequenceLength + length)
            != 1)
        return std::nullopt;
    ++m_sendSequence;
    return out;
}

std::optional<QByteArray> PlayerSecureChannel::open(QByteArray box)
{
    if (box.size() < overhead)
        return std::nullopt;
    const quint64 sequence = qFromBigEndian<quint64>(box.constData());
    if (sequence != m_receiveSequence)
        return std::nullopt;
    unsigned char tag[tagLength];
    memcpy(tag, box.constData() + box.size() - tagLength, tagLength);
    const QByteArray nonce = nonceFor(m_openLabel, sequence);
    const int length = int(box.size() - overhead);
    auto *text = reinterpret_cast<unsigned char *>(box.data()) + sequenceLength;
    int written = 0;
    EVP_CIPHER_CTX *ctx = m_openContext;
    if (EVP_DecryptInit_ex2(ctx, nullptr, nullptr, bytes(nonce), nullptr) != 1
        || EVP_DecryptUpdate(ctx, nullptr, &written, bytes(m_aad), int(m_aad.size())) != 1
        || EVP_DecryptUpdate(ctx, text, &written, text, length) != 1
        || EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, int(tagLength), tag) != 1
        || EVP_DecryptFinal_ex(ctx, text + written, &written) != 1)
        return std::nullopt;
    ++m_receiveSequence;
    box.chop(tagLength);
    box.remove(0, sequenceLength);
    return box;
}

} // namespace pgw
