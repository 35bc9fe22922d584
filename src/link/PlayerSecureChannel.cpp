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

bool PlayerSecureChannel::beginSealing()
{
    const QByteArray nonce = nonceFor(m_sealLabel, m_sendSequence);
    int written = 0;
    return EVP_EncryptInit_ex2(m_sealContext, nullptr, nullptr, bytes(nonce), nullptr) == 1
        && EVP_EncryptUpdate(m_sealContext, nullptr, &written, bytes(m_aad), int(m_aad.size())) == 1;
}

bool PlayerSecureChannel::sealInto(char *out, QByteArrayView plaintext)
{
    int written = 0;
    return plaintext.isEmpty()
        || EVP_EncryptUpdate(m_sealContext, reinterpret_cast<unsigned char *>(out), &written,
               bytes(plaintext), int(plaintext.size()))
        == 1;
}

bool PlayerSecureChannel::finishSealing(char *out, char *tag)
{
    int written = 0;
    if (EVP_EncryptFinal_ex(m_sealContext, reinterpret_cast<unsigned char *>(out), &written) != 1
        || EVP_CIPHER_CTX_ctrl(m_sealContext, EVP_CTRL_AEAD_GET_TAG, int(tagLength), tag) != 1)
        return false;
    ++m_sendSequence;
    return true;
}

std::optional<QByteArray> PlayerSecureChannel::sealParts(
    const QList<QByteArrayView> &parts, qsizetype headroom)
{
    qsizetype length = 0;
    for (QByteArrayView part : parts)
        length += part.size();
    if (length > Wire::maxPlaintextLength)
        return std::nullopt;
    QByteArray out(headroom + overhead + length, Qt::Uninitialized);
    char *box = out.data() + headroom;
    qToBigEndian(m_sendSequence, box);
    char *text = box + sequenceLength;
    if (!beginSealing())
        return std::nullopt;
    for (QByteArrayView part : parts) {
        if (!sealInto(text, part))
            return std::nullopt;
        text += part.size();
    }
    if (!finishSealing(text, text))
        return std::nullopt;
    return out;
}

bool PlayerSecureChannel::sealFrameInRuns(quint8 innerType, const QList<QByteArrayView> &parts, qsizetype run,
    const std::function<void(QByteArrayView)> &send)
{
    const char type = char(innerType);
    qsizetype length = 1;
    for (QByteArrayView part : parts)
        length += part.size();
    if (length > Wire::maxPlaintextLength || run < 1)
        return false;
    char head[5 + sequenceLength + 1];
    qToBigEndian(quint32(1 + overhead + length), head);
    head[4] = char(Wire::SealedFrame);
    qToBigEndian(m_sendSequence, head + 5);
    if (!beginSealing() || !sealInto(head + 5 + sequenceLength, QByteArrayView(&type, 1)))
        return false;
    send(QByteArrayView(head, sizeof head));
    QByteArray out(std::min(run, length), Qt::Uninitialized);
    for (QByteArrayView part : parts) {
        for (qsizetype at = 0; at < part.size(); at += run) {
            const QByteArrayView piece = part.sliced(at, std::min(run, part.size() - at));
            if (!sealInto(out.data(), piece))
                return false;
            send(QByteArrayView(out).first(piece.size()));
        }
    }
    char tag[tagLength];
    if (!finishSealing(out.data(), tag))
        return false;
    send(QByteArrayView(tag, tagLength));
    return true;
}

bool PlayerSecureChannel::beginOpening(QByteArrayView box)
{
    const quint64 sequence = qFromBigEndian<quint64>(box.data());
    if (sequence != m_receiveSequence)
        return false;
    const QByteArray nonce = nonceFor(m_openLabel, sequence);
    int written = 0;
    return EVP_DecryptInit_ex2(m_openContext, nullptr, nullptr, bytes(nonce), nullptr) == 1
        && EVP_DecryptUpdate(m_openContext, nullptr, &written, bytes(m_aad), int(m_aad.size())) == 1;
}

bool PlayerSecureChannel::decryptInPlace(char *text, qsizetype length)
{
    auto *data = reinterpret_cast<unsigned char *>(text);
    int written = 0;
    return length == 0 || EVP_DecryptUpdate(m_openContext, data, &written, data, int(length)) == 1;
}

bool PlayerSecureChannel::openArriving(char *box, qsizetype arrived, qsizetype boxLength, qsizetype &opened)
{
    if (boxLength < overhead || arrived < sequenceLength)
        return true;
    if (opened == 0 && !beginOpening(QByteArrayView(box, sequenceLength)))
        return false;
    // The tag is not ciphertext: it waits for open().
    const qsizetype ready = std::min(arrived, boxLength - tagLength) - sequenceLength;
    if (ready <= opened)
        return true;
    if (!decryptInPlace(box + sequenceLength + opened, ready - opened))
        return false;
    opened = ready;
    return true;
}

std::optional<QByteArray> PlayerSecureChannel::open(QByteArray box, qsizetype opened)
{
    if (box.size() < overhead || (opened == 0 && !beginOpening(box)))
        return std::nullopt;
    const qsizetype length = box.size() - overhead;
    if (opened > length)
        return std::nullopt;
    unsigned char tag[tagLength];
    memcpy(tag, box.constData() + box.size() - tagLength, tagLength);
    char *text = box.data() + sequenceLength;
    int written = 0;
    if (!decryptInPlace(text + opened, length - opened)
        || EVP_CIPHER_CTX_ctrl(m_openContext, EVP_CTRL_AEAD_SET_TAG, int(tagLength), tag) != 1
        || EVP_DecryptFinal_ex(m_openContext, reinterpret_cast<unsigned char *>(text + length), &written)
            != 1)
        return std::nullopt;
    ++m_receiveSequence;
    box.chop(tagLength);
    box.remove(0, sequenceLength);
    return box;
}

} // namespace pgw
