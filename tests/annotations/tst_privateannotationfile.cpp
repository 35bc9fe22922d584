// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnnotationFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <cmath>

using namespace pgw;
using namespace pgw::fixtures;
using namespace pgw::test;
using namespace Qt::StringLiterals;

namespace {

PrivateAnnotationPages onePage(
    const PrivateAnnotationStroke &stroke, const PrivateAnnotationPageKey &key = pageKey())
{
    return {{key, {stroke}}};
}

PrivateAnnotationStroke withPoint(PrivateAnnotationPoint point)
{
    return stroke({{0.5, 0.5, 1.0}, point});
}

PrivateAnnotationStroke withColor(PrivateAnnotationRGBA color)
{
    PrivateAnnotationStroke result = line(0.1, 0.1);
    result.style.color = color;
    return result;
}

QString errorText(const std::optional<PrivateAnnotationStoreError> &error)
{
    return error ? error->text() : QString();
}

const QString invalidPoint
    = u"Private annotation storage is invalid: stroke contains a non-normalized point."_s;
const QString invalidStyle = u"Private annotation storage is invalid: stroke contains an invalid style."_s;
const QString oversized = u"Private annotation storage exceeds its safe size limit."_s;

} // namespace

class PrivateAnnotationFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void renderedPageKey_data()
    {
        QTest::addColumn<QString>("scoreKey");
        QTest::addColumn<QString>("baseVersion");
        QTest::addColumn<qint64>("pageIndex");
        QTest::addColumn<QString>("expected");

        QTest::newRow("displayed page") << u"t12"_s << u"v3"_s << qint64(4) << u"t12|base:v3"_s;
        QTest::newRow("no score key") << QString() << u"v3"_s << qint64(4) << QString();
        QTest::newRow("no base version") << u"t12"_s << QString() << qint64(4) << QString();
        QTest::newRow("negative index") << u"t12"_s << u"v3"_s << qint64(-1) << QString();
        QTest::newRow("512 bytes") << QString(500, u'k') << u"abcdef"_s << qint64(0)
                                   << QString(500, u'k') + u"|base:abcdef"_s;
        QTest::newRow("513 bytes") << QString(500, u'k') << u"abcdefg"_s << qint64(0) << QString();
        // 263 characters but 513 bytes of UTF-8.
        QTest::newRow("513 bytes of two-byte characters")
            << QString(250, u'é') << u"abcdefg"_s << qint64(0) << QString();
    }

    void renderedPageKey()
    {
        QFETCH(QString, scoreKey);
        QFETCH(QString, baseVersion);
        QFETCH(qint64, pageIndex);
        QFETCH(QString, expected);

        const auto key = PrivateAnnotationPageKey::rendered(scoreKey, baseVersion, pageIndex);
        QCOMPARE(key.has_value(), !expected.isEmpty());
        if (key)
            QCOMPARE(*key, (PrivateAnnotationPageKey {expected, pageIndex}));
    }

    void encodingIsCompactWithSortedKeys()
    {
        const QUuid id = QUuid::fromString("0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8e11"_L1);
        const PrivateAnnotationStroke highlight {
            id, {PrivateAnnotationTool::highlighter, {1.0, 0.78, 0.05, 0.32}, 0.014}, {{0.25, 0.5, 1.0}}};

        QCOMPARE(PrivateAnnotationEncoder().encode(onePage(highlight, {u"t7|base:v2"_s, 3})),
            QByteArray(
                R"({"format":"local.pagewright.private-annotations","pages":[{"key":{"pageIndex":3,)"
                R"("scoreKey":"t7|base:v2"},"strokes":[{"id":"0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8e11",)"
                R"("points":[{"pressure":1,"x":0.25,"y":0.5}],"style":{"color":{"alpha":0.32,)"
                R"("blue":0.05,"green":0.78,"red":1},"normalizedWidth":0.014,"tool":"highlighter"}}]}],)"
                R"("schemaVersion":1})"));
        QCOMPARE(PrivateAnnotationEncoder().encode({}),
            QByteArray(R"({"format":"local.pagewright.private-annotations","pages":[],"schemaVersion":1})"));
    }

    void pagesAreOrderedByScoreKeyThenPageIndex()
    {
        const QList<PrivateAnnotationPageKey> keys {
            {u"b"_s, 0}, {u"a"_s, 10}, {u"a"_s, 2}, {u"\U0001F3B5"_s, 0}, {u"\uFF21"_s, 0}, {u"B"_s, 1}};
        PrivateAnnotationPages pages;
        for (const PrivateAnnotationPageKey &key : keys)
            pages.insert(key, {line(0.1, 0.1)});

        const QJsonArray written
            = QJsonDocument::fromJson(PrivateAnnotationEncoder().encode(pages))["pages"_L1].toArray();
        QStringList order;
        for (const QJsonValue &entry : written) {
            const QJsonObject key = entry["key"_L1].toObject();
            order.append(
                key["scoreKey"_L1].toString() + u'/' + QString::number(key["pageIndex"_L1].toInteger()));
        }
        // Code point order puts U+1F3B5 after U+FF21, unlike UTF-16 code unit order.
        QCOMPARE(
            order, (QStringList {u"B/1"_s, u"a/2"_s, u"a/10"_s, u"b/0"_s, u"\uFF21/0"_s, u"\U0001F3B5/0"_s}));
    }

    void numbersAreShortestAndReadBackExactly_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("one") << 1.0 << QByteArray("1");
        QTest::newRow("tenth") << 0.1 << QByteArray("0.1");
        QTest::newRow("sum of tenths") << 0.1 + 0.2 << QByteArray("0.30000000000000004");
        QTest::newRow("just below one") << std::nextafter(1.0, 0.0) << QByteArray("0.9999999999999999");
        QTest::newRow("tiny") << 0.00009 << QByteArray("9e-05");
    }

    void numbersAreShortestAndReadBackExactly()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, text);

        const PrivateAnnotationPages pages = onePage(withPoint({value, 0.5, 1.0}));
        const QByteArray encoded = PrivateAnnotationEncoder().encode(pages);
        QVERIFY2(encoded.contains(R"(,"x":)" + text + ","), encoded.constData());

        PrivateAnnotationPages decoded;
        QCOMPARE(errorText(PrivateAnnotationFile::decode(encoded, {}, decoded)), QString());
        QCOMPARE(decoded, pages);
    }

    void reusedEncoderWritesTheCurrentStrokes()
    {
        PrivateAnnotationEncoder encoder;
        PrivateAnnotationStroke first = line(0.1, 0.1);
        const PrivateAnnotationStroke second = line(0.2, 0.2);
        encoder.encode({{pageKey(0), {first, second}}});

        // The same identifier with other points, and one stroke listed twice.
        first.points[0].x = 0.75;
        const PrivateAnnotationPages changed {{pageKey(0), {first, second}}, {pageKey(1), {second}}};
        QCOMPARE(encoder.encode(changed), PrivateAnnotationEncoder().encode(changed));
        QVERIFY(encoder.encode(changed).contains(R"("x":0.75)"));
    }

    void validation_data()
    {
        QTest::addColumn<PrivateAnnotationPages>("pages");
        QTest::addColumn<PrivateAnnotationLimits>("limits");
        QTest::addColumn<QString>("expected");

        const PrivateAnnotationLimits limits;
        QTest::newRow("x at one") << onePage(withPoint({1.0, 1.0, 1.0})) << limits << QString();
        QTest::newRow("x past one") << onePage(withPoint({1.0000001, 0.5, 1.0})) << limits << invalidPoint;
        QTest::newRow("y below zero") << onePage(withPoint({0.5, -0.0000001, 1.0})) << limits << invalidPoint;
        QTest::newRow("NaN pressure") << onePage(withPoint({0.5, 0.5, notANumber})) << limits << invalidPoint;

        QTest::newRow("widest") << onePage(stroke({{0.5, 0.5, 1}}, 0.25)) << limits << QString();
        QTest::newRow("too wide") << onePage(stroke({{0.5, 0.5, 1}}, 0.2500001)) << limits << invalidStyle;
        QTest::newRow("too thin") << onePage(stroke({{0.5, 0.5, 1}}, 0.00009)) << limits << invalidStyle;
        QTest::newRow("red past one") << onePage(withColor({1.0000001, 0, 0, 1})) << limits << invalidStyle;

        const QString pointCount
            = u"Private annotation storage is invalid: stroke point count is outside its limit."_s;
        QTest::newRow("no points") << onePage(stroke({})) << limits << pointCount;
        PrivateAnnotationLimits small;
        small.maximumPointsPerStroke = 2;
        QTest::newRow("points at limit") << onePage(line(0.1, 0.1)) << small << QString();
        QTest::newRow("points past limit")
            << onePage(stroke({{0.1, 0.1, 1}, {0.2, 0.2, 1}, {0.3, 0.3, 1}})) << small << pointCount;

        const QString keyText = u"Private annotation storage is invalid: score key is missing or too long."_s;
        QTest::newRow("empty score key") << onePage(line(0.1, 0.1), {QString(), 0}) << limits << keyText;
        QTest::newRow("512-byte score key")
            << onePage(line(0.1, 0.1), {QString(512, u'k'), 0}) << limits << QString();
        QTest::newRow("513-byte score key")
            << onePage(line(0.1, 0.1), {QString(513, u'k'), 0}) << limits << keyText;

        const QString indexText
            = u"Private annotation storage is invalid: page index is outside its safe range."_s;
        QTest::newRow("negative page") << onePage(line(0.1, 0.1), pageKey(-1)) << limits << indexText;
        QTest::newRow("last page") << onePage(line(0.1, 0.1), pageKey(1'000'000)) << limits << QString();
        QTest::newRow("page past limit")
            << onePage(line(0.1, 0.1), pageKey(1'000'001)) << limits << indexText;

        const PrivateAnnotationStroke shared = line(0.1, 0.1);
        QTest::newRow("same stroke on two pages")
            << PrivateAnnotationPages {{pageKey(0), {shared}}, {pageKey(1), {shared}}} << limits
            << u"Private annotation storage is invalid: duplicate stroke identifier."_s;

        const PrivateAnnotationPages twoPagesOfTwo {
            {pageKey(0), {line(0.1, 0.1), line(0.2, 0.2)}}, {pageKey(1), {line(0.1, 0.1), line(0.2, 0.2)}}};
        PrivateAnnotationLimits counts;
        counts.maximumPages = 2;
        counts.maximumStrokesPerPage = 2;
        counts.maximumTotalStrokes = 4;
        counts.maximumTotalPoints = 8;
        QTest::newRow("every count at its limit") << twoPagesOfTwo << counts << QString();
        PrivateAnnotationLimits fewer = counts;
        fewer.maximumPages = 1;
        QTest::newRow("too many pages") << twoPagesOfTwo << fewer << oversized;
        fewer = counts;
        fewer.maximumStrokesPerPage = 1;
        QTest::newRow("too many strokes on a page") << twoPagesOfTwo << fewer << oversized;
        fewer = counts;
        fewer.maximumTotalStrokes = 3;
        QTest::newRow("too many strokes in all") << twoPagesOfTwo << fewer << oversized;
        fewer = counts;
        fewer.maximumTotalPoints = 7;
        QTest::newRow("too many points in all") << twoPagesOfTwo << fewer << oversized;
    }

    void validation()
    {
        QFETCH(PrivateAnnotationPages, pages);
        QFETCH(PrivateAnnotationLimits, limits);
        QFETCH(QString, expected);

        QCOMPARE(errorText(PrivateAnnotationFile::validate(pages, limits)), expected);
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("pageCount");

        const QByteArray valid = page(strokeJson());
        QTest::newRow("one page") << envelope(valid) << QString() << 1;
        QTest::newRow("unknown members are ignored") << QByteArray(
            R"({"extra":[1],"format":"local.pagewright.private-annotations","pages":[],)"
            R"("schemaVersion":1})") << QString() << 0;
        QTest::newRow("empty page dropped")
            << envelope(page("") + "," + page(strokeJson(), "s|base:1", 1)) << QString() << 1;
        QTest::newRow("integral page index as a fraction")
            << envelope(R"({"key":{"pageIndex":2.0,"scoreKey":"s"},"strokes":[)" + strokeJson() + "]}")
            << QString() << 1;
        QTest::newRow("format missing") << QByteArray(R"({"pages":[],"schemaVersion":1})")
                                        << u"Private annotation storage has an unknown format."_s << 0;
        QTest::newRow("duplicate of an empty page")
            << envelope(page("") + "," + valid)
            << u"Private annotation storage is invalid: duplicate page key."_s << 0;
        QTest::newRow("point past the edge")
            << envelope(page(strokeJson(R"({"pressure":1,"x":1.0000001,"y":0.5})"))) << invalidPoint << 0;

        const QString unreadable = u"Private annotation storage could not be read: "_s;
        QTest::newRow("not JSON") << QByteArray("{\"format\":") << unreadable << 0;
        QTest::newRow("not an object")
            << QByteArray("[]") << unreadable + u"the document is not a JSON object."_s << 0;
        QTest::newRow("pages missing")
            << QByteArray(R"({"format":"local.pagewright.private-annotations","schemaVersion":1})")
            << unreadable + u"the value for \"pages\" is missing or has the wrong type."_s << 0;
        QTest::newRow("fractional page index")
            << envelope(R"({"key":{"pageIndex":2.5,"scoreKey":"s"},"strokes":[]})")
            << unreadable + u"the value for \"pageIndex\" is missing or has the wrong type."_s << 0;
        QTest::newRow("x as text") << envelope(page(strokeJson(R"({"pressure":1,"x":"0.5","y":0.5})")))
                                   << unreadable + u"the value for \"x\" is missing or has the wrong type."_s
                                   << 0;
        QTest::newRow("unknown tool")
            << envelope(page(strokeJson().replace("\"pen\"", "\"marker\"")))
            << unreadable + u"the value for \"tool\" is missing or has the wrong type."_s << 0;
        QTest::newRow("identifier not a UUID") << envelope(page(strokeJson(
            R"({"pressure":1,"x":0.5,"y":0.5})", "0.0025", "0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8eZZ")))
                                               << unreadable + u"the value for \"id\" is not a UUID."_s << 0;
    }

    void decoding()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, expected);
        QFETCH(int, pageCount);

        PrivateAnnotationPages pages;
        const QString error = errorText(PrivateAnnotationFile::decode(document, {}, pages));
        QVERIFY2(error.startsWith(expected) && (error.isEmpty() == expected.isEmpty()), qPrintable(error));
        QCOMPARE(pages.size(), pageCount);
    }

    void decodingRefusesMorePagesThanTheLimit()
    {
        PrivateAnnotationLimits limits;
        limits.maximumPages = 1;
        PrivateAnnotationPages pages;
        const QByteArray twoEmptyPages = envelope(page("", "a") + "," + page("", "b"));
        QCOMPARE(errorText(PrivateAnnotationFile::decode(twoEmptyPages, limits, pages)), oversized);
    }

    void encodedPagesDecodeToTheSamePages()
    {
        PrivateAnnotationStroke highlight = stroke({{0.1, 0.2, 0.3}, {1.0 / 3.0, 0.7, 1.0}}, 0.014);
        highlight.style = {PrivateAnnotationTool::highlighter, {1.0, 0.78, 0.05, 0.32}, 0.014};
        const PrivateAnnotationPageKey escaped {u"quote\" back\\ line\n tab\t bell\a é \U0001F3B5"_s, 1};
        const PrivateAnnotationPages pages {{pageKey(0), {line(0.1, 0.1), highlight}},
            {{u"t9|base:x"_s, 1'000'000}, {stroke({{0, 0, 0}})}}, {escaped, {line(0.2, 0.2)}}};

        const QByteArray encoded = PrivateAnnotationEncoder().encode(pages);
        QVERIFY(encoded.contains(R"("quote\" back\\ line\n tab\t bell\u0007 )"));
        PrivateAnnotationPages decoded;
        QCOMPARE(errorText(PrivateAnnotationFile::decode(encoded, {}, decoded)), QString());
        QCOMPARE(decoded, pages);
    }
};

QTEST_GUILESS_MAIN(PrivateAnnotationFileTest)
#include "tst_privateannotationfile.moc"
