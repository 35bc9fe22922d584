// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PlayerCrypto.h"
#include "link/PlayerSecureChannel.h"
#include "link/Wire.h"
#include "support/Json.h"

#include <QFile>
#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

QJsonObject vectors(QLatin1StringView section)
{
    QFile file(QStringLiteral(PGW_SHARED_DIR "/vectors/secure-channel.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return json::objectOr(json::parseObject(file.readAll()).value_or(QJsonObject()), section);
}

QByteArray hex(const QJsonObject &object, QLatin1StringView key)
{
    return QByteArray::fromHex(object.value(key).toString().toLatin1());
}

std::shared_ptr<PlayerSecureChannel> channelFrom(
    const QJsonObject &v, const QByteArray &ikm, PlayerSecureChannel::Side side)
{
    return PlayerSecureChannel::create(
        v.value("kid"_L1).toString(), ikm, hex(v, "connection_nonce_hex"_L1), side);
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
        QVERIFY(ikm);
        QCOMPARE(ikm->toHex(), hex(v, "ikm_hex"_L1).toHex());

        auto player = channelFrom(v, *ikm, PlayerSecureChannel::Side::Player);
        QVERIFY(player);
        QCOMPARE(player->key().toHex(), hex(v, "key_hex"_L1).toHex());
        QCOMPARE(player->aad(), v.value("aad"_L1).toString().toUtf8());
        QCOMPARE(player->kid(), u"pin"_s);

        const QByteArray hi = hex(v, "c2h_seq0_plaintext_hex"_L1);
        QCOMPARE(player->seal(hi)->toHex(), hex(v, "c2h_seq0_box_hex"_L1).toHex());
        QCOMPARE(player->seal(hi)->toHex(), hex(v, "c2h_seq1_box_hex"_L1).toHex());
        QCOMPARE(player->sendSequence(), quint64(2));

        // A whole sealed frame is the same box behind a frame header.
        auto again = channelFrom(v, *ikm, PlayerSecureChannel::Side::Player);
        const QByteArray json = hi.sliced(1);
        QCOMPARE(again->sealFrame(Wire::JsonMessage, {json.first(5), json.sliced(5)})->toHex(),
            Wire::frame(Wire::SealedFrame, hex(v, "c2h_seq0_box_hex"_L1)).toHex());

        const auto hello = player->open(hex(v, "h2c_seq0_box_hex"_L1));
        QVERIFY(hello);
        QCOMPARE(hello->toHex(), hex(v, "h2c_seq0_plaintext_hex"_L1).toHex());
        QCOMPARE(player->receiveSequence(), quint64(1));
    }

    void linkChannelReproducesTheVectors()
    {
        const QJsonObject v = vectors("link"_L1);
        QVERIFY(!v.isEmpty());
        const auto secret = PlayerCrypto::sessionSecret(v.value("k_text"_L1).toString());
        QVERIFY(secret);
        QCOMPARE(secret->toHex(), hex(v, "secret_hex"_L1).toHex());

        auto host = channelFrom(v, *secret, PlayerSecureChannel::Side::Host);
        QVERIFY(host);
        QCOMPARE(host->key().toHex(), hex(v, "key_hex"_L1).toHex());
        QCOMPARE(host->aad(), v.value("aad"_L1).toString().toUtf8());
        const QByteArray hello = hex(v, "h2c_seq0_plaintext_hex"_L1);
        QCOMPARE(host->seal(hello)->toHex(), hex(v, "h2c_seq0_box_hex"_L1).toHex());

        auto player = channelFrom(v, *secret, PlayerSecureChannel::Side::Player);
        QCOMPARE(player->open(hex(v, "h2c_seq0_box_hex"_L1)), hello);
    }

    void firstBoxCarriesSequenceZeroThenOne()
    {
        auto channel = PlayerSecureChannel::create(u"k"_s, QByteArray(16, 'x'), QByteArray(16, 'n'));
        const QByteArray first = *channel->seal("a");
        const QByteArray second = *channel->seal("a");
        QCOMPARE(first.first(8), QByteArray(8, '\0'));
        QCOMPARE(second.first(8), QByteArray::fromHex("0000000000000001"));
        QCOMPARE(first.size(), 1 + PlayerSecureChannel::overhead);
        QVERIFY(first.sliced(8) != second.sliced(8));
    }

    void openingRejectsAnythingButTheNextAuthenticBox()
    {
        auto host = PlayerSecureChannel::create(
            u"pin"_s, QByteArray(32, 'i'), QByteArray(16, 'n'), PlayerSecureChannel::Side::Host);
        auto player = PlayerSecureChannel::create(u"pin"_s, QByteArray(32, 'i'), QByteArray(16, 'n'));
        const QByteArray box0 = *host->seal("zero");
        const QByteArray box1 = *host->seal("one");

        QVERIFY(!player->open(box1)); // sequence 1 while 0 is expected, though it would authenticate
        QVERIFY(!player->open(box0.first(23)));
        QByteArray tampered = box0;
        tampered[10] = char(tampered[10] ^ 1);
        QVERIFY(!player->open(tampered));
        QCOMPARE(player->receiveSequence(), quint64(0));

        QCOMPARE(player->open(box0), QByteArray("zero"));
        QVERIFY(!player->open(box0)); // a replay
        QCOMPARE(player->open(box1), QByteArray("one"));

        // A box sealed by the Player does not open as one from the Host: the direction is in the nonce.
        auto other = PlayerSecureChannel::create(u"pin"_s, QByteArray(32, 'i'), QByteArray(16, 'n'));
        QVERIFY(!other->open(
            *PlayerSecureChannel::create(u"pin"_s, QByteArray(32, 'i'), QByteArray(16, 'n'))->seal("x")));
    }

    void emptyBoxOpensToEmptyPlaintext()
    {
        auto host = PlayerSecureChannel::create(
            u"k"_s, QByteArray(16, 's'), QByteArray(16, 'n'), PlayerSecureChannel::Side::Host);
        auto player = PlayerSecureChannel::create(u"k"_s, QByteArray(16, 's'), QByteArray(16, 'n'));
        const QByteArray box = *host->seal({});
        QCOMPARE(box.size(), 24);
        const auto plaintext = player->open(box);
        QVERIFY(plaintext && plaintext->isEmpty());
    }

    void differentNoncesGiveDifferentKeys()
    {
        const QByteArray secret(16, 's');
        const auto a = PlayerSecureChannel::create(u"k"_s, secret, *PlayerCrypto::randomConnectionNonce());
        const auto b = PlayerSecureChannel::create(u"k"_s, secret, *PlayerCrypto::randomConnectionNonce());
        QVERIFY(a->connectionNonce() != b->connectionNonce());
        QVERIFY(a->key() != b->key());
        QCOMPARE(a->connectionNonce().size(), 16);
    }

    void randomFallsBackToTheKernelNotToAPredictableSource()
    {
        const auto failing = [](unsigned char *, int) { return false; };
        const auto first = PlayerCrypto::secureRandomBytes(16, failing);
        const auto second = PlayerCrypto::secureRandomBytes(16, failing);
        QVERIFY(first && second);
        QCOMPARE(first->size(), 16);
        QVERIFY(*first != *second);
    }

    void base32_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("lower") << u"mfrgg"_s << true << QByteArray("abc");
        QTest::newRow("upper") << u"MFRGG"_s << true << QByteArray("abc");
        QTest::newRow("trailing bits dropped") << u"mfrggz"_s << true << QByteArray("abc");
        QTest::newRow("digits 2-7") << u"77777777"_s << true << QByteArray::fromHex("ffffffffff");
        QTest::newRow("padding") << u"mfrgg==="_s << false << QByteArray();
        QTest::newRow("digit 1") << u"mfrg1"_s << false << QByteArray();
        QTest::newRow("empty") << QString() << false << QByteArray();
        QTest::newRow("one char") << u"m"_s << true << QByteArray();
    }

    void base32()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QByteArray, bytes);
        const auto decoded = PlayerCrypto::dataFromBase32(text);
        QCOMPARE(decoded.has_value(), valid);
        if (valid)
            QCOMPARE(*decoded, bytes);
    }

    void sessionSecretNeedsExactlySixteenBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("26 characters") << u"mfrggzdfmztwq2lknnwg23tpob"_s << true;
        QTest::newRow("26 upper with spaces") << u"  MFRGGZDFMZTWQ2LKNNWG23TPOB\n"_s << true;
        QTest::newRow("25 characters") << u"mfrggzdfmztwq2lknnwg23tpo"_s << false;
        QTest::newRow("28 characters") << u"mfrggzdfmztwq2lknnwg23tpobqq"_s << false;
        QTest::newRow("blank") << u"   "_s << false;
        QTest::newRow("invalid") << u"mfrggzdfmztwq2lknnwg23tpo!"_s << false;
    }

    void sessionSecretNeedsExactlySixteenBytes()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        const auto secret = PlayerCrypto::sessionSecret(text);
        QCOMPARE(secret.has_value(), accepted);
        if (accepted)
            QCOMPARE(*secret, QByteArray("abcdefghijklmnop"));
        QVERIFY(!PlayerCrypto::sessionSecret(std::nullopt));
    }
};

QTEST_GUILESS_MAIN(SecureChannelTest)
#include "tst_securechannel.moc"
