// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerCrypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/rand.h>

#include <sys/random.h>

#include <cerrno>
#include <memory>

namespace pgw::PlayerCrypto {

namespace {

constexpr QByteArrayView pinSalt = "Marigold-Quay-Tuner-v4";
constexpr int pinRounds = 32'768;
constexpr QByteArrayView hkdfSaltPrefix = "OboeDuetKey-5";

struct KdfDeleter
{
    void operator()(EVP_KDF *kdf) const { EVP_KDF_free(kdf); }
    void operator()(EVP_KDF_CTX *ctx) const { EVP_KDF_CTX_free(ctx); }
};

bool kernelRandom(unsigned char *buffer, size_t length)
{
    size_t filled = 0;
    while (filled < length) {
        const ssize_t got = getrandom(buffer + filled, length - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        filled += size_t(got);
    }
    return true;
}

} // namespace

std::optional<QByteArray> ikmForJoinPIN(const QString &pin)
{
    const QByteArray password = pin.toUtf8();
    QByteArray out(keyMaterialLength, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()),
            reinterpret_cast<const unsigned char *>(pinSalt.data()), int(pinSalt.size()), pinRounds,
            EVP_sha256(), int(out.size()), reinterpret_cast<unsigned char *>(out.data()))
        != 1)
        return std::nullopt;
    return out;
}

std::optional<QByteArray> channelKey(
    QByteArrayView keyMaterial, QByteArrayView connectionNonce, const QString &kid)
{
    QByteArray salt = hkdfSaltPrefix.toByteArray() + connectionNonce.toByteArray();
    QByteArray info = "lane|peer|" + kid.toUtf8();
    QByteArray ikm = keyMaterial.toByteArray();
    char digest[] = "SHA256";

    std::unique_ptr<EVP_KDF, KdfDeleter> kdf(EVP_KDF_fetch(nullptr, "HKDF", nullptr));
    if (!kdf)
        return std::nullopt;
    std::unique_ptr<EVP_KDF_CTX, KdfDeleter> ctx(EVP_KDF_CTX_new(kdf.get()));
    if (!ctx)
        return std::nullopt;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, ikm.data(), size_t(ikm.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, salt.data(), size_t(salt.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, info.data(), size_t(info.size())),
        OSSL_PARAM_construct_end(),
    };
    QByteArray key(keyLength, Qt::Uninitialized);
    if (EVP_KDF_derive(ctx.get(), reinterpret_cast<unsigned char *>(key.data()), size_t(key.size()), params)
        != 1)
        return std::nullopt;
    return key;
}

RandomFill opensslRandom()
{
    return [](unsigned char *buffer, int length) { return RAND_bytes(buffer, length) == 1; };
}

std::optional<QByteArray> secureRandomBytes(qsizetype count, const RandomFill &primary)
{
    QByteArray out(count, Qt::Uninitialized);
    auto *buffer = reinterpret_cast<unsigned char *>(out.data());
    if (primary && primary(buffer, int(count)))
        return out;
    if (kernelRandom(buffer, size_t(count)))
        return out;
    return std::nullopt;
}

std::optional<QByteArray> randomConnectionNonce()
{
    return secureRandomBytes(connectionNonceLength, opensslRandom());
}

void releaseThreadState()
{
    OPENSSL_thread_stop();
}

std::optional<QByteArray> sessionSecret(const std::optional<QString> &linkValue)
{
    if (!linkValue)
        return std::nullopt;
    const QString trimmed = linkValue->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    auto bytes = dataFromBase32(trimmed);
    if (!bytes || bytes->size() != sessionSecretLength)
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> dataFromBase32(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    QByteArray out;
    out.reserve(text.size() * 5 / 8);
    quint32 bits = 0;
    int bitCount = 0;
    // Each character is read as it is: lowering the text first would turn the Kelvin sign into a "k".
    for (QChar c : text) {
        const char16_t u = c.unicode();
        quint32 value = 0;
        if (u >= u'a' && u <= u'z')
            value = u - u'a';
        else if (u >= u'A' && u <= u'Z')
            value = u - u'A';
        else if (u >= u'2' && u <= u'7')
            value = 26 + (u - u'2');
        else
            return std::nullopt;
        bits = ((bits << 5) | value) & 0x1fff;
        bitCount += 5;
        if (bitCount >= 8) {
            bitCount -= 8;
            out.append(char((bits >> bitCount) & 0xff));
        }
    }
    return out;
}

} // namespace pgw::PlayerCrypto
