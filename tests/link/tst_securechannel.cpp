// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "link/PlayerCrypto.h"
#include "link/PlayerSecureChannel.h"
#include "link/Wire.h"

#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

using Side = PlayerSecureChannel::Side;

namespace {

QJsonObject vectors(QLatin1StringView section)
{
    return QJsonDocument::fromJson(
        test::readAll(QStringLiteral(PGW_SHARED_DIR "/vectors/secure-channel.json")))
        .object()
        .value(section)
        .toObject();
}

QByteArray hex(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1StringView(key)).toString().toLatin1();
}

std::shared_ptr<PlayerSecureChannel> channelFrom(const QJsonObject &v, const QByteArray &ikm, Side side)
{
    return PlayerSecureChannel::create(
        v.value("kid"_L1).toString(), ikm, QByteArray::fromHex(hex(v, "connection_nonce_hex")), side);
}

std::shared_ptr<PlayerSecureChannel> channel(Side side = Side::Player, const QString &kid = u"pin"_s)
{
    return PlayerSecureChannel::create(kid, QByteArray(32, 'i'), QByteArray(16, 'n'), side);
}

} // namespace

class SecureChannelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pinChannelReproducesTheVectors()
    {
        const QJsonObject v = vectors("pin"_L1);
        QVERIFY(!v.isEmpty());
        const auto ikm = PlayerCrypto::ikmForJoinPIN(v.value("pin"_L1).toString());
        QCOMPARE(ikm->toHex(), hex(v, "ikm_hex"));
        auto player = channelFrom(v, *ikm, Side::Player);
        QCOMPARE(player->key().toHex(), hex(v, "key_hex"));
        QCOMPARE(player->aad(), v.value("aad"_L1).toString().toUtf8());
        const QByteArray hi = QByteArray::fromHex(hex(v, "c2h_seq0_plaintext_hex"));
        QCOMPARE(player->seal(hi)->toHex(), hex(v, "c2h_seq0_box_hex"));
        QCOMPARE(player->seal(hi)->toHex(), hex(v, "c2h_seq1_box_hex"));
        // A whole sealed frame is the same box behind a frame header.
        const QByteArray json = hi.sliced(1);
        QCOMPARE(
            channelFrom(v, *ikm, Side::Player)->sealFrame(Wire::JsonMessage, {json.first(5), json.sliced(5)}),
            Wire::frame(Wire::SealedFrame, QByteArray::fromHex(hex(v, "c2h_seq0_box_hex"))));
        QCOMPARE(player->open(QByteArray::fromHex(hex(v, "h2c_seq0_box_hex")))->toHex(),
            hex(v, "h2c_seq0_plaintext_hex"));
    }

    void linkChannelReproducesTheVectors()
    {
        const QJsonObject v = vectors("link"_L1);
        const auto secret = PlayerCrypto::sessionSecret(v.value("k_text"_L1).toString());
        QVERIFY(secret);
        QCOMPARE(secret->toHex(), hex(v, "secret_hex"));
        auto host = channelFrom(v, *secret, Side::Host);
        QCOMPARE(host->key().toHex(), hex(v, "key_hex"));
        QCOMPARE(host->aad(), v.value("aad"_L1).toString().toUtf8());
        const QByteArray hello = QByteArray::fromHex(hex(v, "h2c_seq0_plaintext_hex"));
        const QByteArray box = *host->seal(hello);
        QCOMPARE(box.toHex(), hex(v, "h2c_seq0_box_hex"));
        QCOMPARE(channelFrom(v, *secret, Side::Player)->open(box), hello);
    }

    void openingTakesOnlyTheNextAuthenticBoxFromTheOtherSide()
    {
        auto host = channel(Side::Host);
        auto player = channel();
        const QByteArray box0 = *host->seal("zero");
        const QByteArray box1 = *host->seal("one");
        QCOMPARE(box0.first(8), QByteArray(8, '\0'));
        QCOMPARE(box1.first(8), QByteArray::fromHex("0000000000000001"));
        QCOMPARE(box0.size(), 4 + PlayerSecureChannel::overhead);
        QVERIFY(!player->open(box1)); // sequence 1 while 0 is expected, though it would authenticate
        QVERIFY(!player->open(box0.first(23)));
        QByteArray tampered = box0;
        tampered[10] = char(tampered[10] ^ 1);
        QVERIFY(!player->open(tampered));
        QCOMPARE(player->open(box0), QByteArray("zero"));
        QVERIFY(!player->open(box0)); // a replay
        QCOMPARE(player->open(box1), QByteArray("one"));
        QCOMPARE(player->open(*host->seal({})), QByteArray());
        // The direction is in the nonce: a Player's box does not open as the Host's.
        QVERIFY(!channel()->open(*channel()->seal("x")));
    }

    void everyConnectionHasItsOwnRandomNonceAndKey()
    {
        const QByteArray secret(16, 's');
        const auto a = PlayerSecureChannel::create(u"k"_s, secret, *PlayerCrypto::randomConnectionNonce());
        const auto b = PlayerSecureChannel::create(u"k"_s, secret, *PlayerCrypto::randomConnectionNonce());
        QCOMPARE(a->connectionNonce().size(), 16);
        QVERIFY(a->connectionNonce() != b->connectionNonce() && a->key() != b->key());
        // Without the library's generator the kernel's serves, never a predictable source.
        const auto failing = [](unsigned char *, int) { return false; };
        const auto first = PlayerCrypto::secureRandomBytes(16, failing);
        QCOMPARE(first->size(), 16);
        QVERIFY(*first != *PlayerCrypto::secureRandomBytes(16, failing));
    }

    void base32AndSessionSecrets()
    {
        // Either case; trailing bits that make no whole byte are dropped; no padding.
        const std::optional<QByteArray> refused;
        for (const auto &[text, bytes] :
            std::initializer_list<std::pair<QString, std::optional<QByteArray>>> {{u"mfrgg"_s, "abc"},
                {u"MFRGG"_s, "abc"}, {u"mfrggz"_s, "abc"}, {u"77777777"_s, QByteArray::fromHex("ffffffffff")},
                {u"m"_s, QByteArray()}, {u"mfrgg==="_s, refused}, {u"mfrg1"_s, refused},
                {QString(), refused}})
            QCOMPARE(PlayerCrypto::dataFromBase32(text), bytes);

        // A session secret is exactly sixteen bytes.
        QCOMPARE(
            PlayerCrypto::sessionSecret(u"  MFRGGZDFMZTWQ2LKNNWG23TPOB\n"_s), QByteArray("abcdefghijklmnop"));
        for (const QString &bad : {u"mfrggzdfmztwq2lknnwg23tpo"_s, u"mfrggzdfmztwq2lknnwg23tpobqq"_s,
                 u"   "_s, u"mfrggzdfmztwq2lknnwg23tpo!"_s})
            QVERIFY2(!PlayerCrypto::sessionSecret(bad), qPrintable(bad));
        QVERIFY(!PlayerCrypto::sessionSecret(std::nullopt));
    }
};

QTEST_GUILESS_MAIN(SecureChannelTest)
#include "tst_securechannel.moc"
