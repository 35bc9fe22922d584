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

using Limits = PrivateAnnotationLimits;

PrivateAnnotationPages onePage(
    const PrivateAnnotationStroke &stroke, const PrivateAnnotationPageKey &key = pageKey())
{
    return {{key, {stroke}}};
}

PrivateAnnotationStroke withPoint(PrivateAnnotationPoint point)
{
    return stroke({{0.5, 0.5, 1.0}, point});
}

PrivateAnnotationPages decoded(const QByteArray &document, QString *error = nullptr)
{
    PrivateAnnotationPages pages;
    const auto failure = PrivateAnnotationFile::decode(document, {}, pages);
    if (error)
        *error = failureText(failure);
    return pages;
}

const QString invalidPoint = invalid("stroke contains a non-normalized point");
const QString invalidStyle = invalid("stroke contains an invalid style");

} // namespace

class PrivateAnnotationFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void renderedPageKey()
    {
        // Score key, base version and page index, with the page key they render or none.
        const QList<std::tuple<QString, QString, qint64, QString>> cases {
            {u"t12"_s, u"v3"_s, 4, u"t12|base:v3"_s}, {QString(), u"v3"_s, 4, QString()},
            {u"t12"_s, QString(), 4, QString()}, {u"t12"_s, u"v3"_s, -1, QString()},
            {QString(500, u'k'), u"abcdef"_s, 0, QString(500, u'k') + u"|base:abcdef"_s}, // 512 bytes
            {QString(500, u'k'), u"abcdefg"_s, 0, QString()},
            {QString(250, u'é'), u"abcdefg"_s, 0, QString()}}; // 263 characters but 513 bytes of UTF-8
        for (const auto &[scoreKey, baseVersion, pageIndex, expected] : cases) {
            const auto expectedKey = PrivateAnnotationPageKey {expected, pageIndex};
            QCOMPARE(PrivateAnnotationPageKey::rendered(scoreKey, baseVersion, pageIndex),
                expected.isEmpty() ? std::nullopt : std::optional(expectedKey));
        }
    }

    void encodingIsCompactWithSortedKeysAndShortestNumbers()
    {
        const QUuid id = QUuid::fromString("0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8e11"_L1);
        const PrivateAnnotationStroke highlight {id,
            {PrivateAnnotationTool::highlighter, {1.0, 0.78, 0.05, 0.32}, 0.014},
            {{0.1 + 0.2, 0.00009, std::nextafter(1.0, 0.0)}}};
        QCOMPARE(PrivateAnnotationEncoder().encode(onePage(highlight, {u"t7|base:v2"_s, 3})),
            envelope(
                R"({"key":{"pageIndex":3,"scoreKey":"t7|base:v2"},"strokes":[{"id":"0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8e11",)"
                R"("points":[{"pressure":0.9999999999999999,"x":0.30000000000000004,"y":9e-05}],"style":{"color":)"
                R"({"alpha":0.32,"blue":0.05,"green":0.78,"red":1},"normalizedWidth":0.014,"tool":"highlighter"}}]})"));
        QCOMPARE(PrivateAnnotationEncoder().encode({}), envelope(""));
    }

    void pagesAreOrderedByScoreKeyThenPageIndex()
    {
        PrivateAnnotationPages pages;
        for (const PrivateAnnotationPageKey &key : {PrivateAnnotationPageKey {u"b"_s, 0}, {u"a"_s, 10},
                 {u"a"_s, 2}, {u"\U0001F3B5"_s, 0}, {u"\uFF21"_s, 0}, {u"B"_s, 1}})
            pages.insert(key, {line(0.1, 0.1)});
        QStringList order;
        for (const QJsonValue &entry :
            QJsonDocument::fromJson(PrivateAnnotationEncoder().encode(pages))["pages"_L1].toArray())
            order.append(entry["key"_L1]["scoreKey"_L1].toString() + u'/'
                + QString::number(entry["key"_L1]["pageIndex"_L1].toInteger()));
        // Code point order puts U+1F3B5 after U+FF21, unlike UTF-16 code unit order.
        QCOMPARE(
            order, (QStringList {u"B/1"_s, u"a/2"_s, u"a/10"_s, u"b/0"_s, u"\uFF21/0"_s, u"\U0001F3B5/0"_s}));
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
        QTest::addColumn<Limits>("limits");
        QTest::addColumn<QString>("expected");
        const Limits limits;
        const PrivateAnnotationStroke drawn = line(0.1, 0.1);
        QTest::newRow("x at one") << onePage(withPoint({1.0, 1.0, 1.0})) << limits << QString();
        QTest::newRow("x past one") << onePage(withPoint({1.0000001, 0.5, 1.0})) << limits << invalidPoint;
        QTest::newRow("y below zero") << onePage(withPoint({0.5, -0.0000001, 1.0})) << limits << invalidPoint;
        QTest::newRow("NaN pressure") << onePage(withPoint({0.5, 0.5, notANumber})) << limits << invalidPoint;
        QTest::newRow("widest") << onePage(stroke({{0.5, 0.5, 1}}, 0.25)) << limits << QString();
        QTest::newRow("too wide") << onePage(stroke({{0.5, 0.5, 1}}, 0.2500001)) << limits << invalidStyle;
        QTest::newRow("too thin") << onePage(stroke({{0.5, 0.5, 1}}, 0.00009)) << limits << invalidStyle;
        PrivateAnnotationStroke red = line(0.1, 0.1);
        red.style.color.red = 1.0000001;
        QTest::newRow("red past one") << onePage(red) << limits << invalidStyle;

        const QString pointCount = invalid("stroke point count is outside its limit");
        QTest::newRow("no points") << onePage(stroke({})) << limits << pointCount;
        const Limits small {.maximumPointsPerStroke = 2};
        QTest::newRow("points at limit") << onePage(drawn) << small << QString();
        QTest::newRow("points past limit")
            << onePage(stroke({{0.1, 0.1, 1}, {0.2, 0.2, 1}, {0.3, 0.3, 1}})) << small << pointCount;

        const QString keyText = invalid("score key is missing or too long");
        QTest::newRow("empty score key") << onePage(drawn, {QString(), 0}) << limits << keyText;
        QTest::newRow("512-byte score key") << onePage(drawn, {QString(512, u'k'), 0}) << limits << QString();
        QTest::newRow("513-byte score key") << onePage(drawn, {QString(513, u'k'), 0}) << limits << keyText;
        const QString indexText = invalid("page index is outside its safe range");
        QTest::newRow("negative page") << onePage(drawn, pageKey(-1)) << limits << indexText;
        QTest::newRow("last page") << onePage(drawn, pageKey(1'000'000)) << limits << QString();
        QTest::newRow("page past limit") << onePage(drawn, pageKey(1'000'001)) << limits << indexText;
        QTest::newRow("same stroke on two pages") << PrivateAnnotationPages {{pageKey(0), {drawn}},
            {pageKey(1), {drawn}}} << limits << invalid("duplicate stroke identifier");

        const PrivateAnnotationPages twoPagesOfTwo {
            {pageKey(0), {line(0.1, 0.1), line(0.2, 0.2)}}, {pageKey(1), {line(0.1, 0.1), line(0.2, 0.2)}}};
        const auto counts = [](qsizetype pages, qsizetype perPage, qsizetype strokes, qsizetype points) {
            return Limits {.maximumPages = pages,
                .maximumStrokesPerPage = perPage,
                .maximumTotalStrokes = strokes,
                .maximumTotalPoints = points};
        };
        QTest::newRow("every count at its limit") << twoPagesOfTwo << counts(2, 2, 4, 8) << QString();
        QTest::newRow("too many pages") << twoPagesOfTwo << counts(1, 2, 4, 8) << oversized;
        QTest::newRow("too many strokes on a page") << twoPagesOfTwo << counts(2, 1, 4, 8) << oversized;
        QTest::newRow("too many strokes in all") << twoPagesOfTwo << counts(2, 2, 3, 8) << oversized;
        QTest::newRow("too many points in all") << twoPagesOfTwo << counts(2, 2, 4, 7) << oversized;
    }

    void validation()
    {
        QFETCH(PrivateAnnotationPages, pages);
        QFETCH(Limits, limits);
        QFETCH(QString, expected);
        QCOMPARE(failureText(PrivateAnnotationFile::validate(pages, limits)), expected);
    }

    void decoding_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("pageCount");
        const QByteArray valid = page(strokeJson());
        QTest::newRow("one page") << envelope(valid) << QString() << 1;
        QTest::newRow("unknown members are ignored") << QByteArray(
            R"({"extra":[1],"format":"local.pagewright.private-annotations","pages":[],"schemaVersion":1})")
                                                     << QString() << 0;
        QTest::newRow("empty page dropped")
            << envelope(page("") + "," + page(strokeJson(), "s|base:1", 1)) << QString() << 1;
        QTest::newRow("integral page index as a fraction")
            << envelope(R"({"key":{"pageIndex":2.0,"scoreKey":"s"},"strokes":[)" + strokeJson() + "]}")
            << QString() << 1;
        QTest::newRow("format missing") << QByteArray(R"({"pages":[],"schemaVersion":1})")
                                        << Error {Error::Kind::unsupportedFormat}.text() << 0;
        QTest::newRow("duplicate of an empty page")
            << envelope(page("") + "," + valid) << invalid("duplicate page key") << 0;
        QTest::newRow("point past the edge")
            << envelope(page(strokeJson(R"({"pressure":1,"x":1.0000001,"y":0.5})"))) << invalidPoint << 0;

        const QString unreadable = u"Private annotation storage could not be read: "_s;
        const QString wrongType = unreadable + u"the value for \"%1\" is missing or has the wrong type."_s;
        QTest::newRow("not JSON") << QByteArray("{\"format\":") << unreadable << 0;
        QTest::newRow("not an object")
            << QByteArray("[]") << unreadable + u"the document is not a JSON object."_s << 0;
        QTest::newRow("pages missing")
            << QByteArray(R"({"format":"local.pagewright.private-annotations","schemaVersion":1})")
            << wrongType.arg("pages"_L1) << 0;
        QTest::newRow("fractional page index")
            << envelope(R"({"key":{"pageIndex":2.5,"scoreKey":"s"},"strokes":[]})")
            << wrongType.arg("pageIndex"_L1) << 0;
        QTest::newRow("x as text") << envelope(page(strokeJson(R"({"pressure":1,"x":"0.5","y":0.5})")))
                                   << wrongType.arg("x"_L1) << 0;
        QTest::newRow("unknown tool")
            << envelope(page(strokeJson().replace("\"pen\"", "\"marker\""))) << wrongType.arg("tool"_L1) << 0;
        QTest::newRow("identifier not a UUID") << envelope(page(strokeJson(
            R"({"pressure":1,"x":0.5,"y":0.5})", "0.0025", "0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8eZZ")))
                                               << unreadable + u"the value for \"id\" is not a UUID."_s << 0;
    }

    void decoding()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, expected);
        QFETCH(int, pageCount);
        QString error;
        QCOMPARE(decoded(document, &error).size(), pageCount);
        QVERIFY2(error.startsWith(expected) && error.isEmpty() == expected.isEmpty(), qPrintable(error));
    }

    void decodingRefusesMorePagesThanTheLimit()
    {
        PrivateAnnotationPages pages;
        const QByteArray twoEmptyPages = envelope(page("", "a") + "," + page("", "b"));
        QCOMPARE(
            failureText(PrivateAnnotationFile::decode(twoEmptyPages, {.maximumPages = 1}, pages)), oversized);
    }

    void encodedPagesDecodeToTheSamePages()
    {
        PrivateAnnotationStroke highlight = stroke({{0.1, 0.2, 0.3}, {1.0 / 3.0, 0.7, 1.0}}, 0.014);
        highlight.style = {PrivateAnnotationTool::highlighter, {1.0, 0.78, 0.05, 0.32}, 0.014};
        const PrivateAnnotationPageKey escaped {u"quote\" back\\ line\n tab\t bell\a é \U0001F3B5"_s, 1};
        // Keys from the Host may hold half of a surrogate pair; such keys must not collapse into one.
        const QString high(QChar(0xD800));
        const QString low(QChar(0xDC00));
        const PrivateAnnotationPages pages {{pageKey(0), {line(0.1, 0.1), highlight}},
            {{u"t9|base:x"_s, 1'000'000}, {stroke({{0, 0, 0}})}}, {escaped, {line(0.2, 0.2)}},
            {{u"s|base:"_s + high, 0}, {line(0.3, 0.3)}}, {{u"s|base:"_s + low, 0}, {line(0.4, 0.4)}},
            {{u"\U0001F3B5"_s + low + high, 0}, {line(0.5, 0.5)}}};
        const QByteArray encoded = PrivateAnnotationEncoder().encode(pages);
        QVERIFY(encoded.contains(R"("quote\" back\\ line\n tab\t bell\u0007 )"));
        QString error;
        QCOMPARE(decoded(encoded, &error), pages);
        QCOMPARE(error, QString());
    }
};

QTEST_GUILESS_MAIN(PrivateAnnotationFileTest)
#include "tst_privateannotationfile.moc"
