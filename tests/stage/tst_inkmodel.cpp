// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/InkModel.h"
#include "support/Json.h"

#include <QTest>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

QJsonObject ink(const char *text)
{
    return *json::parseObject(QByteArray(text));
}

} // namespace

class InkModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strokeLifecycle()
    {
        InkModel model;
        QVERIFY(!model.handle(ink(R"({"strokeId":"s","phase":"append","samples":[[0.1,0.1]]})"), 0));
        QVERIFY(model.allStrokes().isEmpty());
        QCOMPARE(model.generation(), 0);

        QVERIFY(model.handle(
            ink(R"({"strokeId":"s","phase":"begin","pageIndex":2,"samples":[[0.1,0.2,0.5]]})"), 0));
        QVERIFY(model.handle(ink(R"({"strokeId":"s","phase":"append","samples":[[0.3,0.4]]})"), 0));
        QCOMPARE(model.generation(), 2);
        const LiveStroke stroke = model.strokes(2).value(0);
        QCOMPARE(stroke.points, (QList<InkPoint> {{0.1, 0.2, 0.5}, {0.3, 0.4, 0}}));
        QVERIFY(model.strokes(3).isEmpty());

        // Beginning an existing stroke starts it over.
        QVERIFY(
            model.handle(ink(R"({"strokeId":"s","phase":"begin","pageIndex":2,"samples":[[0.9,0.9]]})"), 0));
        QCOMPARE(model.strokes(2).value(0).points.size(), 1);

        QVERIFY(model.handle(ink(R"({"strokeId":"s","phase":"cancel"})"), 0));
        QVERIFY(!model.handle(ink(R"({"strokeId":"s","phase":"cancel"})"), 0));
        QVERIFY(model.allStrokes().isEmpty());
    }

    void messagesWithoutIdPhaseOrUsablePageChangeNothing()
    {
        InkModel model;
        QVERIFY(!model.handle({}, 0));
        QVERIFY(!model.handle(ink(R"({"strokeId":5,"phase":"begin"})"), 0));
        QVERIFY(!model.handle(ink(R"({"strokeId":"s"})"), 0));
        QVERIFY(!model.handle(ink(R"({"strokeId":"s","phase":"wiggle"})"), 0));
        // Page indices beyond 32 bits must not wrap onto a real page.
        QVERIFY(!model.handle(ink(R"({"strokeId":"s","phase":"begin","pageIndex":4294967297})"), 0));
        QVERIFY(!model.handle(ink(R"({"strokeId":"s","phase":"begin","pageIndex":-2147483649})"), 0));
        QVERIFY(model.allStrokes().isEmpty());
        QCOMPARE(model.generation(), 0);
    }

    void endedStrokesExpireAfterFiveSeconds()
    {
        InkModel model;
        model.handle(ink(R"({"strokeId":"old","phase":"begin","pageIndex":0})"), 0);
        model.handle(ink(R"({"strokeId":"new","phase":"begin","pageIndex":0})"), 0);
        const int generation = model.generation();
        QVERIFY(!model.handle(ink(R"({"strokeId":"old","phase":"end"})"), 100.0));
        QVERIFY(!model.handle(ink(R"({"strokeId":"new","phase":"end"})"), 100.1));
        QCOMPARE(model.generation(), generation);
        QVERIFY(model.strokes(0).value(0).ended);

        model.expireStaleEnded(105.0);
        QCOMPARE(model.allStrokes().keys(), QList<QString> {u"new"_s});
        QCOMPARE(model.generation(), generation + 1);
        model.expireStaleEnded(105.0);
        QCOMPARE(model.generation(), generation + 1);
    }

    void clearEndedDropsOnlyEndedStrokesOfThatPage()
    {
        InkModel model;
        model.handle(ink(R"({"strokeId":"a","phase":"begin","pageIndex":1})"), 0);
        model.handle(ink(R"({"strokeId":"b","phase":"begin","pageIndex":1})"), 0);
        model.handle(ink(R"({"strokeId":"c","phase":"begin","pageIndex":2})"), 0);
        model.handle(ink(R"({"strokeId":"a","phase":"end"})"), 0);
        model.handle(ink(R"({"strokeId":"c","phase":"end"})"), 0);
        const int generation = model.generation();
        model.clearEnded(1);
        QCOMPARE(model.strokes(1).size(), 1);
        QCOMPARE(model.strokes(2).size(), 1);
        QCOMPARE(model.generation(), generation + 1);
        model.clearEnded(5);
        QCOMPARE(model.generation(), generation + 1);

        model.clearAll();
        QVERIFY(model.allStrokes().isEmpty());
        QCOMPARE(model.generation(), generation + 2);
        model.clearAll();
        QCOMPARE(model.generation(), generation + 2);
    }

    void styleAndSampleFallbacks()
    {
        InkModel model;
        model.handle(
            ink(R"({"strokeId":"two","phase":"begin","style":{"color":[0.1,0.2],"width":"wide"}})"), 0);
        model.handle(
            ink(R"({"strokeId":"four","phase":"begin","style":{"color":[0.1,0.2,0.3,0.4],"width":0.01}})"),
            0);
        model.handle(ink(R"({"strokeId":"three","phase":"begin","style":{"color":[0,0,1]},
                             "samples":[[0.5,0.5],"x",[1],["a",2],[0.2,0.3,"p"],[0.1,0.1,1,9]]})"),
            0);
        const auto strokes = model.allStrokes();
        QCOMPARE(strokes[u"two"_s].color, InkColor());
        QCOMPARE(strokes[u"two"_s].normalizedWidth, 0.0025);
        QCOMPARE(strokes[u"two"_s].pageIndex, -1);
        QCOMPARE(strokes[u"four"_s].color, (InkColor {0.1, 0.2, 0.3, 0.4}));
        QCOMPARE(strokes[u"four"_s].normalizedWidth, 0.01);
        QCOMPARE(strokes[u"three"_s].color, (InkColor {0, 0, 1, 1}));
        QCOMPARE(strokes[u"three"_s].points, (QList<InkPoint> {{0.5, 0.5, 0}, {0.2, 0.3, 0}, {0.1, 0.1, 1}}));
    }

    void pressureWidths()
    {
        QCOMPARE(LiveStroke::pressureFactor(0), 1.45);
        QCOMPARE(LiveStroke::pressureFactor(-1), 1.45);
        QVERIFY(qFuzzyCompare(LiveStroke::pressureFactor(0.2), 0.73));
        QCOMPARE(LiveStroke::pressureFactor(1), 1.45);
        QVERIFY(qFuzzyCompare(LiveStroke::drawnWidth(10, 0.2), 7.3));
        QCOMPARE(LiveStroke::drawnWidth(0.2, 1), 0.75);
    }
};

QTEST_GUILESS_MAIN(InkModelTest)
#include "tst_inkmodel.moc"
