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
    void strokesBeginGrowAndCancelAndUnusableMessagesChangeNothing()
    {
        InkModel model;
        QVERIFY(!model.handle({}, 0));
        for (const char *message : {R"({"strokeId":5,"phase":"begin"})", R"({"strokeId":"s"})",
                 R"({"strokeId":"s","phase":"wiggle"})",
                 R"({"strokeId":"s","phase":"append","samples":[[0.1,0.1]]})",
                 // Page indices beyond 32 bits must not wrap onto a real page.
                 R"({"strokeId":"s","phase":"begin","pageIndex":4294967297})",
                 R"({"strokeId":"s","phase":"begin","pageIndex":-2147483649})"})
            QVERIFY2(!handle(model, message), message);
        QCOMPARE(model.generation(), 0);

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

    void endedStrokesExpireAfterFiveSecondsOrWhenCleared()
    {
        InkModel model;
        // How many times what must be drawn changed during `change`.
        const auto changes = [&](const std::function<void()> &change) {
            const int before = model.generation();
            change();
            return model.generation() - before;
        };
        // Ending changes nothing drawn.
        for (const auto &[id, page, at] : QList<std::tuple<const char *, int, double>> {
                 {"old", 0, 100.0}, {"new", 0, 100.1}, {"other", 1, 100.1}}) {
            begin(model, id, page);
            QVERIFY(!model.handle({{u"strokeId"_s, QLatin1StringView(id)}, {u"phase"_s, u"end"_s}}, at));
        }
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

    void stylesSamplesAndPressure()
    {
        InkModel model;
        handle(model, R"({"strokeId":"two","phase":"begin","style":{"color":[0.1,0.2],"width":"wide"}})");
        handle(
            model, R"({"strokeId":"four","phase":"begin","style":{"color":[0.1,0.2,0.3,0.4],"width":0.01}})");
        handle(model, R"({"strokeId":"three","phase":"begin","style":{"color":[0,0,1]},
                          "samples":[[0.5,0.5],"x",[1],["a",2],[0.2,0.3,"p"],[0.1,0.1,1,9]]})");
        const auto strokes = model.allStrokes();
        QCOMPARE(strokes[u"two"_s], LiveStroke());
        QCOMPARE(strokes[u"four"_s], (LiveStroke {-1, {0.1, 0.2, 0.3, 0.4}, 0.01}));
        QCOMPARE(strokes[u"three"_s],
            (LiveStroke {-1, {0, 0, 1, 1}, 0.0025, {{0.5, 0.5, 0}, {0.2, 0.3, 0}, {0.1, 0.1, 1}}}));

        // Base widths and pressures with the width drawn: unknown pressure draws as full, and nothing is
        // thinner than 0.75 points.
        for (const auto &[base, pressure, width] : QList<std::tuple<double, double, double>> {
                 {10, 0, 14.5}, {10, -1, 14.5}, {10, 1, 14.5}, {10, 0.2, 7.3}, {0.2, 1, 0.75}})
            QVERIFY(qFuzzyCompare(LiveStroke::drawnWidth(base, pressure), width));
    }
};

QTEST_GUILESS_MAIN(InkModelTest)
#include "tst_inkmodel.moc"
