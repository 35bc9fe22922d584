// SPDX-License-Identifier: GPL-3.0-or-later
// Join links and base 32. The input, as UTF-8, is read as a join link (from the command line, the local
// socket, a pasted text or a QR code) and as the base-32 text of a link's "k" value.
#include "FuzzSupport.h"

#include "link/PlayerAccessPIN.h"
#include "link/PlayerCrypto.h"
#include "link/PlayerJoinLink.h"

#include <QUrl>

#include <algorithm>

using namespace pgw;

namespace {

bool isBase32Digit(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'2' && c <= u'7');
}

void checkBase32(const QString &text)
{
    const auto decoded = PlayerCrypto::dataFromBase32(text);
    fuzz::require(PlayerCrypto::dataFromBase32(text.toUpper()) == decoded || !decoded,
        "base 32 reads either case alike");
    if (!decoded)
        return;
    fuzz::require(std::all_of(text.begin(), text.end(), isBase32Digit), "base 32 is made of its 32 digits");
    fuzz::require(decoded->size() == text.size() * 5 / 8, "every whole byte of base 32 is read");
    const auto secret = PlayerCrypto::sessionSecret(text);
    fuzz::require(
        !secret || secret->size() == PlayerCrypto::sessionSecretLength, "a session secret is 16 bytes");
}

void checkLink(const QUrl &url)
{
    const auto host = PlayerJoinLink::discoveredHost(url);
    if (!host)
        return;
    fuzz::require(!host->id.isEmpty() && !host->name.isEmpty(), "a linked Host has an id and a name");
    fuzz::require(host->supportsEncryption == host->key.has_value(), "a link offers encryption with a key");
    fuzz::require(
        !host->key || host->key->size() == PlayerCrypto::sessionSecretLength, "a link's key is 16 bytes");
    fuzz::require(PlayerAccessPIN::normalized(host->pin) == host->pin, "a link's PIN is normalised");
    fuzz::require(PlayerJoinLink::mergedHosts({*host}, {*host}).size() == 1, "a Host is listed once");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    checkLink(QUrl(text));
    checkBase32(text);
    return 0;
}
