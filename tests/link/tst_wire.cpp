// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Wire.h"
#include "support/Json.h"

#include <QJsonDocument>
#include <QTest>
#include <QtEndian>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

QByteArray header(quint32 length, quint8 type)
{
    QByteArray bytes(5, '\0');
    qToBigEndian(length, bytes.data());
    bytes[4] = char(type);
    return bytes;
}

QByteArray assetPayload(const QByteArray &headerJson, const QByteArray &body)
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(headerJson.size()), out.data());
    return out + headerJson + body;
}

QList<Frame> drain(FrameReader &reader)
{
    QList<Frame> frames;
    while (auto frame = reader.next())
        frames.append(*frame);
    return frames;
}

} // namespace

class WireTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frameLayoutCountsTypeByteAndPayload()
    {
        const QByteArray frame = Wire::frame(Wire::JsonMessage, "{}");
        QCOMPARE(frame.toHex(), QByteArray("00000003017b7d"));
        QCOMPARE(Wire::bigEndianLength(frame), 3);
        QCOMPARE(Wire::bigEndianLength(QByteArray::fromHex("0102")), 0x0102);
        QCOMPARE(Wire::bigEndianLength(QByteArray::fromHex("ffffffff")), qint64(0xffffffff));
    }

    void lengthBounds_data()
    {
        QTest::addColumn<quint32>("length");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("zero") << quint32(0) << false;
        QTest::newRow("one") << quint32(1) << true;
        QTest::newRow("largest sealed frame") << quint32(16'777'241) << true;
        QTest::newRow("one more") << quint32(16'777'242) << false;
        QTest::newRow("huge") << quint32(0xffffffff) << false;
    }

    void lengthBounds()
    {
        QFETCH(quint32, length);
        QFETCH(bool, accepted);
        FrameReader reader;
        reader.append(header(length, 1));
        if (accepted && length > 1)
            reader.append(QByteArray(qsizetype(length) - 1, 'x'));
        const auto frame = reader.next();
        QCOMPARE(frame.has_value(), accepted);
        QCOMPARE(reader.hasError(), !accepted);
        if (accepted) {
            QCOMPARE(frame->type, quint8(1));
            QCOMPARE(frame->payload.size(), qsizetype(length) - 1);
        }
    }

    void errorStopsReading()
    {
        FrameReader reader;
        reader.append(header(0, 1));
        reader.append(Wire::frame(1, "{}"));
        QVERIFY(!reader.next());
        QVERIFY(reader.hasError());
        QVERIFY(!reader.next());
    }

    void framesReadTheSameWhateverTheSegmentation()
    {
        const QByteArray stream
            = Wire::frame(1, R"({"type":"nav"})") + Wire::frame(2, "") + Wire::frame(3, "abc");
        FrameReader whole;
        whole.append(stream);
        const QList<Frame> expected = drain(whole);
        QCOMPARE(expected.size(), 3);
        QCOMPARE(expected[1], (Frame {2, {}}));
        QCOMPARE(expected[2], (Frame {3, "abc"}));

        FrameReader split;
        QList<Frame> byteByByte;
        for (char byte : stream) {
            split.append(QByteArrayView(&byte, 1));
            byteByByte += drain(split);
        }
        QCOMPARE(byteByByte, expected);
        QCOMPARE(split.bufferedBytes(), 0);
        QVERIFY(!split.hasError());
    }

    void largePayloadsReadTheSameWithWhatFollowsThem_data()
    {
        QTest::addColumn<int>("segment");
        QTest::newRow("one append") << 0;
        QTest::newRow("64 KiB reads") << 65536;
        QTest::newRow("odd reads") << 9999;
    }

    void largePayloadsReadTheSameWithWhatFollowsThem()
    {
        QFETCH(int, segment);
        QByteArray big(300'000, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 7);
        const QByteArray stream = Wire::frame(2, big) + Wire::frame(1, "{}")
            + Wire::frame(3, big.first(70'000)) + Wire::frame(1, "[]").first(3);
        FrameReader reader;
        QList<Frame> frames;
        for (qsizetype at = 0; at < stream.size(); at += segment ? segment : stream.size()) {
            reader.append(QByteArrayView(stream).sliced(
                at, std::min<qsizetype>(segment ? segment : stream.size(), stream.size() - at)));
            frames += drain(reader);
        }
        QCOMPARE(frames.size(), 3);
        QCOMPARE(frames[0], (Frame {2, big}));
        QCOMPARE(frames[1], (Frame {1, "{}"}));
        QCOMPARE(frames[2], (Frame {3, big.first(70'000)}));
        QCOMPARE(reader.bufferedBytes(), 3);
        reader.append(Wire::frame(1, "[]").sliced(3));
        QCOMPARE(reader.next(), (Frame {1, "[]"}));
    }

    void frameFromPartsMatchesOneBuffer()
    {
        QCOMPARE(Wire::frame(3, QList<QByteArrayView> {"ab", "", "cde"}), Wire::frame(3, "abcde"));
        QCOMPARE(Wire::frame(1, QList<QByteArrayView> {}), Wire::frame(1, ""));
    }

    void assetResponseParsing()
    {
        const auto response = AssetResponse::parse(
            assetPayload(R"({"requestId":"a2","status":200,"fingerprint":"v7"})", "PNGDATA"));
        QVERIFY(response);
        QCOMPARE(response->requestId, u"a2"_s);
        QCOMPARE(response->status, 200);
        QCOMPARE(response->fingerprint, u"v7"_s);
        QCOMPARE(response->png, QByteArray("PNGDATA"));

        const auto bare = AssetResponse::parse(assetPayload(R"({"requestId":"a3"})", {}));
        QVERIFY(bare);
        QCOMPARE(bare->status, 0);
        QVERIFY(!bare->fingerprint);
        QVERIFY(bare->png.isEmpty());
    }

    void malformedAssetPayloadsAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("three bytes") << QByteArray::fromHex("000000");
        QTest::newRow("shorter than header") << QByteArray::fromHex("00000010") + "{}";
        QTest::newRow("header length beyond any buffer") << QByteArray::fromHex("ffffffff") + "{}";
        QTest::newRow("header not an object") << assetPayload("[1]", "x");
        QTest::newRow("header not json") << assetPayload("{nope", "x");
        QTest::newRow("no requestId") << assetPayload(R"({"status":200})", "x");
        QTest::newRow("requestId not a string") << assetPayload(R"({"requestId":7})", "x");
        // A header of tiny objects costs many times its size to parse; a real one is a few dozen bytes.
        QTest::newRow("header past its limit") << assetPayload(QByteArray("{\"requestId\":\"a1\",\"pad\":\"")
                + QByteArray(Wire::maxAssetHeaderBytes, 'x') + "\"}",
            "x");
    }

    void malformedAssetPayloadsAreIgnored()
    {
        QFETCH(QByteArray, payload);
        QVERIFY(!AssetResponse::parse(payload));
        QVERIFY(!AssetChunk::parse(payload));
    }

    void chunkHeaders()
    {
        const auto first = AssetChunk::parse(
            assetPayload(R"({"requestId":"a1","of":3,"bytes":10,"status":200,"fingerprint":"f"})", "abcd"));
        QVERIFY(first && first->startsReassembly());
        QCOMPARE(first->of, 3);
        QCOMPARE(first->bytes, 10);
        QCOMPARE(first->body, QByteArray("abcd"));
        QVERIFY(!first->seq);

        const auto next = AssetChunk::parse(assetPayload(R"({"requestId":"a1","seq":1})", "efgh"));
        QVERIFY(next && !next->startsReassembly());
        QCOMPARE(next->seq, 1);
        QCOMPARE(next->status, 0);

        const auto onlyOf = AssetChunk::parse(assetPayload(R"({"requestId":"a1","of":3})", "x"));
        QVERIFY(onlyOf && !onlyOf->startsReassembly());
    }

    void openingMessages()
    {
        QCOMPARE(Wire::hiMessage(u"Ann"_s, u"1234"_s),
            (QJsonObject {{"type"_L1, "hi"_L1}, {"name"_L1, "Ann"_L1}, {"pin"_L1, "1234"_L1}}));
        QVERIFY(!Wire::hiMessage(u"Ann"_s, std::nullopt).contains("pin"_L1));
        QCOMPARE(Wire::attachMessage(std::nullopt),
            (QJsonObject {{"type"_L1, "attach"_L1}, {"role"_L1, "assets"_L1}}));
        QCOMPARE(Wire::attachMessage(u"5678"_s).value("pin"_L1).toString(), u"5678"_s);
    }

    void secureHelloNonceIsLowercaseZeroPaddedHex()
    {
        QByteArray nonce(16, '\0');
        nonce[0] = char(10);
        nonce[1] = char(255);
        nonce[15] = char(0xAB);
        const auto hello = json::parseObject(Wire::secureHelloPayload(u"pin"_s, nonce));
        QVERIFY(hello);
        QCOMPARE(hello->value("v"_L1).toInt(), 2);
        QCOMPARE(hello->value("kid"_L1).toString(), u"pin"_s);
        QCOMPARE(hello->value("nonce"_L1).toString(), u"0aff"_s + QString(26, u'0') + u"ab"_s);
        QCOMPARE(Wire::hexLower(QByteArray::fromHex("0aff")), u"0aff"_s);
    }

    void messagesSerialiseAsCompactObjects()
    {
        const QByteArray encoded
            = Wire::encodeMessage(QJsonObject {{"type"_L1, "manifest"_L1}, {"requestId"_L1, "m1"_L1}});
        QVERIFY(!encoded.contains('\n'));
        QCOMPARE(json::parseObject(encoded)->value("requestId"_L1).toString(), u"m1"_s);
    }
};

QTEST_GUILESS_MAIN(WireTest)
#include "tst_wire.moc"
