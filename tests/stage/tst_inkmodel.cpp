// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/InkModel.h"
#include "support/Json.h"

#include <QTest>

#include <functional>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

bool handle(InkModel &model, const char *message, double now = 0)
{
    return model.handle(*json::parseObject(QByteArray(message)), now);
}

// Begins a stroke without samples on a page.
void begin(InkModel &model, const char *id, int page)
{
    model.handle(
        {{u"strokeId"_s, QLatin1StringView(id)}, {u"phase"_s, u"begin"_s}, {u"pageIndex"_s, page}}, 0);
}

} // namespace

class InkModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strokeLifecycle()
    {
        InkModel model;
        QVERIFY(!handle(model, R"({"strokeId":"s","phase":"append","samples":[[0.1,0.1]]})"));
        QVERIFY(handle(model, R"({"strokeId":"s","phase":"begin","pageIndex":2,"samples":[[0.1,0.2,0.5]]})"));
        QVERIFY(handle(model, R"({"strokeId":"s","phase":"append","samples":[[0.3,0.4]]})"));
        QCOMPARE(model.generation(), 2);
        QCOMPARE(model.strokes(2).value(0).points, (QList<InkPoint> {{0.1, 0.2, 0.5}, {0.3, 0.4, 0}}));
        QVERIFY(model.strokes(3).isEmpty());

        // Beginning an existing stroke starts it over.
        QVERIFY(handle(model, R"({"strokeId":"s","phase":"begin","pageIndex":2,"samples":[[0.9,0.9]]})"));
        QCOMPARE(model.strokes(2).value(0).points.size(), 1);
        QVERIFY(handle(model, R"({"strokeId":"s","phase":"cancel"})"));
        QVERIFY(!handle(model, R"({"strokeId":"s","phase":"cancel"})"));
        QVERIFY(model.allStrokes().isEmpty());
    }

    void messagesWithoutIdPhaseOrUsablePageChangeNothing()
    {
        InkModel model;
        QVERIFY(!model.handle({}, 0));
        for (const char *message : {R"({"strokeId":5,"phase":"begin"})", R"({"strokeId":"s"})",
                 R"({"strokeId":"s","phase":"wiggle"})",
                 // Page indices beyond 32 bits must not wrap onto a real page.
                 R"({"strokeId":"s","phase":"begin","pageIndex":4294967297})",
                 R"({"strokeId":"s","phase":"begin","pageIndex":-2147483649})"})
            QVERIFY2(!handle(model, message), message);
        QVERIFY(model.allStrokes().isEmpty());
        QCOMPARE(model.generation(), 0);
    }

    void endedStrokesExpireAfterFiveSecondsOrWhenCleared()
    {
        InkModel model;
        // How many times what must be drawn changed during `change`.
        const auto changes = [&](const std::function<void()> &change) {
            const int before = model.generation();
            change();
            return model.generation() - before;
        };
        begin(model, "old", 0);
        begin(model, "new", 0);
        begin(model, "other", 1);
        // Ending changes nothing drawn.
        const int generation = model.generation();
        QVERIFY(!handle(model, R"({"strokeId":"old","phase":"end"})", 100.0));
        QVERIFY(!handle(model, R"({"strokeId":"new","phase":"end"})", 100.1));
        QVERIFY(!handle(model, R"({"strokeId":"other","phase":"end"})", 100.1));
        QCOMPARE(model.generation(), generation);
        QCOMPARE(changes([&] { model.expireStaleEnded(105.0); }), 1);
        QCOMPARE(changes([&] { model.expireStaleEnded(105.0); }), 0);
        QCOMPARE(model.allStrokes().size(), 2);
        QVERIFY(!model.allStrokes().contains(u"old"_s));

        begin(model, "drawing", 1);
        QCOMPARE(changes([&] { model.clearEnded(1); }), 1);
        QCOMPARE(changes([&] { model.clearEnded(5); }), 0);
        QCOMPARE(model.strokes(1).size(), 1);
        QCOMPARE(model.strokes(0).size(), 1);
        QCOMPARE(changes([&] { model.clearAll(); }), 1);
        QCOMPARE(changes([&] { model.clearAll(); }), 0);
        QVERIFY(model.allStrokes().isEmpty());
    }

    void styleAndSampleFallbacks()
    {
        InkModel model;
        handle(model, R"({"strokeId":"two","phase":"begin","style":{"color":[0.1,0.2],"width":"wide"}})");
        handle(
            model, R"({"strokeId":"four","phase":"begin","style":{"color":[0.1,0.2,0.3,0.4],"width":0.01}})");
        handle(model, R"({"strokeId":"three","phase":"begin","style":{"color":[0,0,1]},
                          "samples":[[0.5,0.5],"x",[1],["a",2],[0.2,0.3,"p"],[0.1,0.1,1,9]]})");
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
        for (const double unknownOrFull : {0.0, -1.0, 1.0})
            QCOMPARE(LiveStroke::pressureFactor(unknownOrFull), 1.45);
        QVERIFY(qFuzzyCompare(LiveStroke::pressureFactor(0.2), 0.73));
        QVERIFY(qFuzzyCompare(LiveStroke::drawnWidth(10, 0.2), 7.3));
        QCOMPARE(LiveStroke::drawnWidth(0.2, 1), 0.75);
    }
};

QTEST_GUILESS_MAIN(InkModelTest)
#include "tst_inkmodel.moc"
