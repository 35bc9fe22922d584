// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Wire.h"
#include "support/Json.h"

#include <QTest>
#include <QtEndian>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

// The header's length in four bytes, the header and the body.
QByteArray payload(const QByteArray &header, const QByteArray &body = "x")
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(header.size()), out.data());
    return out + header + body;
}

// An asset header of `size` bytes: a requestId and padding.
QByteArray headerOfSize(qsizetype size)
{
    QByteArray header = R"({"requestId":"a1","pad":""})";
    return header.insert(header.size() - 2, QByteArray(size - header.size(), 'x'));
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
    void framesCountTheTypeByteInTheirLength()
    {
        QCOMPARE(Wire::frame(Wire::JsonMessage, "{}").toHex(), QByteArray("00000003017b7d"));
        QCOMPARE(Wire::frame(3, QList<QByteArrayView> {"ab", "", "cde"}), Wire::frame(3, "abcde"));
        QCOMPARE(Wire::frame(1, QList<QByteArrayView> {}), Wire::frame(1, ""));
        QCOMPARE(Wire::bigEndianLength(QByteArray::fromHex("000000030100")), 3);
        QCOMPARE(Wire::bigEndianLength(QByteArray::fromHex("0102")), 0x0102);
        QCOMPARE(Wire::bigEndianLength(QByteArray::fromHex("ffffffff")), qint64(0xffffffff));
    }

    void lengthBounds()
    {
        for (const quint32 length : {0u, 1u, 16'777'241u, 16'777'242u, 0xffffffffu}) {
            const bool accepted = length == 1 || length == 16'777'241;
            FrameReader reader;
            QByteArray header(4, '\0');
            qToBigEndian(length, header.data());
            // A bad length is refused from its four bytes alone, and nothing is read after it.
            reader.append(header);
            reader.append(
                accepted ? QByteArray(1, '\1') + QByteArray(length - 1, 'x') : Wire::frame(1, "{}"));
            const auto frame = reader.next();
            QCOMPARE(reader.hasError(), !accepted);
            QCOMPARE(frame, accepted ? std::optional(Frame {1, QByteArray(length - 1, 'x')}) : std::nullopt);
            QCOMPARE(reader.bufferedBytes(), 0);
            QVERIFY(!reader.next());
        }
    }

    void framesReadTheSameWhateverTheSegmentation_data()
    {
        QTest::addColumn<int>("segment");
        QTest::newRow("one append") << 0;
        QTest::newRow("byte by byte") << 1;
        QTest::newRow("64 KiB reads") << 65536;
        QTest::newRow("odd reads") << 9999;
    }

    void framesReadTheSameWhateverTheSegmentation()
    {
        QFETCH(int, segment);
        QByteArray big(300'000, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 7);
        const QList<Frame> sent {{2, big}, {1, "{}"}, {2, {}}, {3, big.first(70'000)}};
        QByteArray stream;
        for (const Frame &frame : sent)
            stream += Wire::frame(frame.type, frame.payload);
        stream += Wire::frame(1, "[]").first(3);
        FrameReader reader;
        QList<Frame> frames;
        const qsizetype step = segment ? segment : stream.size();
        for (qsizetype at = 0; at < stream.size(); at += step) {
            reader.append(QByteArrayView(stream).sliced(at, std::min(step, stream.size() - at)));
            frames += drain(reader);
        }
        QCOMPARE(frames, sent);
        QCOMPARE(reader.bufferedBytes(), 3);
        reader.append(Wire::frame(1, "[]").sliced(3));
        QCOMPARE(reader.next(), (Frame {1, "[]"}));
        QVERIFY(!reader.hasError());
    }

    void assetPayloadsCarryAHeaderAndABody()
    {
        QCOMPARE(
            AssetResponse::parse(payload(R"({"requestId":"a2","status":200,"fingerprint":"v7"})", "PNG")),
            std::optional(AssetResponse {u"a2"_s, 200, u"v7"_s, "PNG"}));
        QCOMPARE(AssetResponse::parse(payload(R"({"requestId":"a3"})", {})),
            std::optional(AssetResponse {u"a3"_s}));
        // A header may be as long as its limit.
        QVERIFY(AssetResponse::parse(payload(headerOfSize(Wire::maxAssetHeaderBytes))));
        QCOMPARE(AssetChunk::parse(payload(
                     R"({"requestId":"a1","of":3,"bytes":10,"status":200,"fingerprint":"f"})", "abcd")),
            std::optional(AssetChunk {u"a1"_s, 3, 10, {}, 200, u"f"_s, "abcd"}));
        QCOMPARE(AssetChunk::parse(payload(R"({"requestId":"a1","seq":1})", "efgh")),
            std::optional(AssetChunk {u"a1"_s, {}, {}, 1, 0, {}, "efgh"}));
    }

    void malformedAssetPayloadsAreIgnored()
    {
        // A header of tiny objects costs many times its size to parse; a real one is a few dozen bytes.
        for (const QByteArray &bytes : {QByteArray(), QByteArray::fromHex("000000"),
                 QByteArray::fromHex("00000010") + "{}", QByteArray::fromHex("ffffffff") + "{}",
                 payload("[1]"), payload("{nope"), payload(R"({"status":200})"),
                 payload(R"({"requestId":7})"), payload(headerOfSize(Wire::maxAssetHeaderBytes + 1))}) {
            QVERIFY(!AssetResponse::parse(bytes));
            QVERIFY(!AssetChunk::parse(bytes));
        }
    }

    void openingMessages()
    {
        QCOMPARE(Wire::hiMessage(u"Ann"_s, u"1234"_s),
            (QJsonObject {{"type"_L1, "hi"_L1}, {"name"_L1, "Ann"_L1}, {"pin"_L1, "1234"_L1}}));
        QVERIFY(!Wire::hiMessage(u"Ann"_s, std::nullopt).contains("pin"_L1));
        QCOMPARE(Wire::attachMessage(std::nullopt),
            (QJsonObject {{"type"_L1, "attach"_L1}, {"role"_L1, "assets"_L1}}));
        QCOMPARE(Wire::attachMessage(u"5678"_s).value("pin"_L1).toString(), u"5678"_s);
        // The nonce in lowercase, zero-padded hex.
        const QString nonce = u"0aff"_s + QString(26, u'0') + u"ab"_s;
        QCOMPARE(json::parseObject(Wire::secureHelloPayload(u"pin"_s, QByteArray::fromHex(nonce.toLatin1()))),
            (QJsonObject {{"v"_L1, 2}, {"kid"_L1, "pin"_L1}, {"nonce"_L1, nonce}}));
    }
};

QTEST_GUILESS_MAIN(WireTest)
#include "tst_wire.moc"
