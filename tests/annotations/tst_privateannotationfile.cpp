// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnnotationFixtures.h"

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
        for (const auto &[scoreKey, baseVersion, pageIndex, expected] : cases)
            QCOMPARE(PrivateAnnotationPageKey::rendered(scoreKey, baseVersion, pageIndex)
                         .value_or(PrivateAnnotationPageKey())
                         .scoreKey,
                expected);
    }

    void encodingIsCompactCurrentAndReadsBack()
    {
        // Sorted keys and the shortest numbers that read back the same.
        const QUuid id = QUuid::fromString("0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8e11"_L1);
        const PrivateAnnotationStroke highlight {id,
            {PrivateAnnotationTool::highlighter, {1.0, 0.78, 0.05, 0.32}, 0.014},
            {{0.1 + 0.2, 0.00009, std::nextafter(1.0, 0.0)}}};
        QCOMPARE(PrivateAnnotationEncoder().encode(onePage(highlight, {u"t7|base:v2"_s, 3})),
            envelope(
                R"({"key":{"pageIndex":3,"scoreKey":"t7|base:v2"},"strokes":[{"id":"0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8e11",)"
                R"("points":[{"pressure":0.9999999999999999,"x":0.30000000000000004,"y":9e-05}],"style":{"color":)"
                R"({"alpha":0.32,"blue":0.05,"green":0.78,"red":1},"normalizedWidth":0.014,"tool":"highlighter"}}]})"));

        // An encoder that is reused writes the strokes as they are now.
        PrivateAnnotationEncoder encoder;
        PrivateAnnotationStroke first = line(0.1, 0.1);
        const PrivateAnnotationStroke second = line(0.2, 0.2);
        encoder.encode({{pageKey(0), {first, second}}});
        // The same identifier with other points, and one stroke listed twice.
        first.points[0].x = 0.75;
        const PrivateAnnotationPages changed {{pageKey(0), {first, second}}, {pageKey(1), {second}}};
        QCOMPARE(encoder.encode(changed), PrivateAnnotationEncoder().encode(changed));
        QVERIFY(encoder.encode(changed).contains(R"("x":0.75)"));

        // What is written reads back as the same pages, escapes and odd keys included.
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
        QCOMPARE(decoded(encoded), pages);
    }

    void validationAndDecoding()
    {
        const Limits limits;
        const Limits small {.maximumPointsPerStroke = 2};
        const PrivateAnnotationStroke drawn = line(0.1, 0.1);
        PrivateAnnotationStroke red = line(0.1, 0.1);
        red.style.color.red = 1.0000001;
        const QString pointCount = invalid("stroke point count is outside its limit");
        const QString keyText = invalid("score key is missing or too long");
        const QString indexText = invalid("page index is outside its safe range");
        const PrivateAnnotationPages twoPagesOfTwo {
            {pageKey(0), {line(0.1, 0.1), line(0.2, 0.2)}}, {pageKey(1), {line(0.1, 0.1), line(0.2, 0.2)}}};
        const auto counts = [](qsizetype pages, qsizetype perPage, qsizetype strokes, qsizetype points) {
            return Limits {.maximumPages = pages,
                .maximumStrokesPerPage = perPage,
                .maximumTotalStrokes = strokes,
                .maximumTotalPoints = points};
        };
        // Points, widths, colours, point counts, score keys and page indices at and past their limits, a
        // stroke on two pages, and every count at its limit then one past it.
        const QList<std::tuple<PrivateAnnotationPages, Limits, QString>> checks {
            {onePage(withPoint({1.0, 1.0, 1.0})), limits, {}},
            {onePage(withPoint({1.0000001, 0.5, 1.0})), limits, invalidPoint},
            {onePage(withPoint({0.5, -0.0000001, 1.0})), limits, invalidPoint},
            {onePage(withPoint({0.5, 0.5, notANumber})), limits, invalidPoint},
            {onePage(stroke({{0.5, 0.5, 1}}, 0.25)), limits, {}},
            {onePage(stroke({{0.5, 0.5, 1}}, 0.2500001)), limits, invalidStyle},
            {onePage(stroke({{0.5, 0.5, 1}}, 0.00009)), limits, invalidStyle},
            {onePage(red), limits, invalidStyle}, {onePage(stroke({})), limits, pointCount},
            {onePage(drawn), small, {}},
            {onePage(stroke({{0.1, 0.1, 1}, {0.2, 0.2, 1}, {0.3, 0.3, 1}})), small, pointCount},
            {onePage(drawn, {QString(), 0}), limits, keyText},
            {onePage(drawn, {QString(512, u'k'), 0}), limits, {}},
            {onePage(drawn, {QString(513, u'k'), 0}), limits, keyText},
            {onePage(drawn, pageKey(-1)), limits, indexText},
            {onePage(drawn, pageKey(1'000'000)), limits, {}},
            {onePage(drawn, pageKey(1'000'001)), limits, indexText},
            {{{pageKey(0), {drawn}}, {pageKey(1), {drawn}}}, limits, invalid("duplicate stroke identifier")},
            {twoPagesOfTwo, counts(2, 2, 4, 8), {}}, {twoPagesOfTwo, counts(1, 2, 4, 8), oversized},
            {twoPagesOfTwo, counts(2, 1, 4, 8), oversized}, {twoPagesOfTwo, counts(2, 2, 3, 8), oversized},
            {twoPagesOfTwo, counts(2, 2, 4, 7), oversized}};
        for (const auto &[checked, bounds, expected] : checks)
            QCOMPARE(failureText(PrivateAnnotationFile::validate(checked, bounds)), expected);

        const QByteArray valid = page(strokeJson());
        const QString unreadable = u"Private annotation storage could not be read: "_s;
        const QString wrongType = unreadable + u"the value for \"%1\" is missing or has the wrong type."_s;
        // Documents with how the error begins and how many pages they hold: unknown members are ignored,
        // empty pages dropped and integral fractions read as integers.
        const QList<std::tuple<QByteArray, QString, int>> documents {{envelope(valid), {}, 1},
            {R"({"extra":[1],"format":"local.pagewright.private-annotations","pages":[],"schemaVersion":1})",
                {}, 0},
            {envelope(page("") + "," + page(strokeJson(), "s|base:1", 1)), {}, 1},
            {envelope(R"({"key":{"pageIndex":2.0,"scoreKey":"s"},"strokes":[)" + strokeJson() + "]}"), {}, 1},
            {R"({"pages":[],"schemaVersion":1})", Error {Error::Kind::unsupportedFormat}.text(), 0},
            {envelope(page("") + "," + valid), invalid("duplicate page key"), 0},
            {envelope(page(strokeJson(R"({"pressure":1,"x":1.0000001,"y":0.5})"))), invalidPoint, 0},
            {"{\"format\":", unreadable, 0}, {"[]", unreadable + u"the document is not a JSON object."_s, 0},
            {R"({"format":"local.pagewright.private-annotations","schemaVersion":1})",
                wrongType.arg("pages"_L1), 0},
            {envelope(R"({"key":{"pageIndex":2.5,"scoreKey":"s"},"strokes":[]})"),
                wrongType.arg("pageIndex"_L1), 0},
            {envelope(page(strokeJson(R"({"pressure":1,"x":"0.5","y":0.5})"))), wrongType.arg("x"_L1), 0},
            {envelope(page(strokeJson().replace("\"pen\"", "\"marker\""))), wrongType.arg("tool"_L1), 0},
            {envelope(page(strokeJson(
                 R"({"pressure":1,"x":0.5,"y":0.5})", "0.0025", "0b6c9a1e-4f43-4c47-9a8f-2f3f0f6a8eZZ"))),
                unreadable + u"the value for \"id\" is not a UUID."_s, 0}};
        for (const auto &[document, expected, pageCount] : documents) {
            QString error;
            QCOMPARE(decoded(document, &error).size(), pageCount);
            QVERIFY2(error.startsWith(expected) && error.isEmpty() == expected.isEmpty(), qPrintable(error));
        }
        // Empty pages count towards the limit.
        PrivateAnnotationPages pages;
        const QByteArray twoEmptyPages = envelope(page("", "a") + "," + page("", "b"));
        QCOMPARE(
            failureText(PrivateAnnotationFile::decode(twoEmptyPages, {.maximumPages = 1}, pages)), oversized);
    }
};

QTEST_GUILESS_MAIN(PrivateAnnotationFileTest)
#include "tst_privateannotationfile.moc"
