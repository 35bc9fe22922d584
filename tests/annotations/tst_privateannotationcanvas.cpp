// SPDX-License-Identifier: GPL-3.0-or-later
#include "AnnotationFixtures.h"

#include "annotations/PrivateAnnotationStore.h"
#include "annotations/ui/PrivateAnnotationCanvasView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

using namespace pgw;
using namespace pgw::fixtures;

namespace {

// Presses at the first point, moves through the others and releases at the last.
void drag(QWidget *canvas, const QList<QPointF> &points)
{
    const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, canvas->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
    };
    send(QEvent::MouseButtonPress, points.first(), Qt::LeftButton, Qt::LeftButton);
    for (const QPointF &at : points.mid(1, points.size() - 2))
        send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, points.last(), Qt::LeftButton, Qt::NoButton);
}

} // namespace

class PrivateAnnotationCanvasTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aClickDrawsADotJitterAddsNoPointsAndTheEraserMeasuresInPageHeights()
    {
        QTemporaryDir directory;
        PrivateAnnotationStore store(directory.filePath(u"ink.json"_s));
        PrivateAnnotationCanvasView canvas;
        canvas.resize(800, 400);
        canvas.setStore(&store);
        // Without a page key or outside annotation mode nothing is stored.
        canvas.setAnnotationMode(true);
        drag(&canvas, {{200, 100}});
        canvas.setPageKey(pageKey());
        canvas.setAnnotationMode(false);
        drag(&canvas, {{200, 100}});
        QCOMPARE(store.generation(), 0);
        canvas.setAnnotationMode(true);

        drag(&canvas, {{200, 100}});
        const auto dot = store.strokes(pageKey()).value(0);
        QCOMPARE(dot.points, (QList<PrivateAnnotationPoint> {{0.25, 0.25, 1.0}}));
        // The pen is 0.0025 of the shorter side: 10 pixels on a 4000 × 8000 page.
        QImage page(4000, 8000, QImage::Format_ARGB32_Premultiplied);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        PrivateAnnotationCanvasView::drawPrivateAnnotation(painter, dot.style, dot.points, page.size());
        painter.end();
        int inked = 0;
        for (int x = 980; x < 1020; ++x)
            inked += page.pixelColor(x, 2000).green() < 128;
        QVERIFY2(inked >= 9 && inked <= 11, qPrintable(QString::number(inked)));

        // 0.1 pixel of 800 is below the 0.0005 threshold; one pixel is not.
        drag(&canvas, {{200, 100}, {200.1, 100}, {201, 100}, {240, 100}});
        QCOMPARE(store.strokes(pageKey()).last().points.size(), 2);

        // The canvas is twice as wide as high: 0.009 of its width is 0.018 of its height, inside the
        // 0.02 radius; 0.015 of its width is 0.03, outside.
        QVERIFY(store.addStroke(stroke({{0.509, 0.5, 1.0}}), pageKey()));
        QVERIFY(store.addStroke(stroke({{0.515, 0.5, 1.0}}), pageKey()));
        canvas.setInputTool(PlayerPrivateAnnotationTool::Eraser);
        drag(&canvas, {{400, 200}});
        QCOMPARE(store.strokes(pageKey()).size(), 3);
        QCOMPARE(store.strokes(pageKey()).last().points.first().x, 0.515);
    }
};

QTEST_MAIN(PrivateAnnotationCanvasTest)
#include "tst_privateannotationcanvas.moc"
