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

void send(QWidget *widget, QEvent::Type type, QPointF at)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class PrivateAnnotationCanvasTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_directory;
    std::unique_ptr<PrivateAnnotationStore> m_store;
    std::unique_ptr<PrivateAnnotationCanvasView> m_canvas;

private Q_SLOTS:
    void init()
    {
        QFile::remove(m_directory.filePath(u"ink.json"_s));
        m_store = std::make_unique<PrivateAnnotationStore>(m_directory.filePath(u"ink.json"_s));
        m_canvas = std::make_unique<PrivateAnnotationCanvasView>();
        m_canvas->resize(800, 400);
        m_canvas->setStore(m_store.get());
        m_canvas->setPageKey(pageKey());
        m_canvas->setAnnotationMode(true);
    }

    void aClickDrawsADotOfTheLineWidth()
    {
        send(m_canvas.get(), QEvent::MouseButtonPress, {200, 100});
        send(m_canvas.get(), QEvent::MouseButtonRelease, {200, 100});
        const auto strokes = m_store->strokes(pageKey());
        QCOMPARE(strokes.size(), 1);
        QCOMPARE(strokes.first().points, (QList<PrivateAnnotationPoint> {{0.25, 0.25, 1.0}}));

        // The pen is 0.0025 of the shorter side: 10 pixels on a 4000 × 8000 page.
        QImage page(4000, 8000, QImage::Format_ARGB32_Premultiplied);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        PrivateAnnotationCanvasView::drawPrivateAnnotation(
            painter, strokes.first().style, strokes.first().points, page.size());
        painter.end();
        int inked = 0;
        for (int x = 980; x < 1020; ++x)
            inked += page.pixelColor(x, 2000).green() < 128;
        QVERIFY2(inked >= 9 && inked <= 11, qPrintable(QString::number(inked)));
    }

    void jitterDoesNotAddPoints()
    {
        send(m_canvas.get(), QEvent::MouseButtonPress, {200, 100});
        // 0.1 pixel of 800 is below the 0.0005 threshold; one pixel is not.
        send(m_canvas.get(), QEvent::MouseMove, {200.1, 100});
        send(m_canvas.get(), QEvent::MouseMove, {201, 100});
        send(m_canvas.get(), QEvent::MouseButtonRelease, {240, 100});
        QCOMPARE(m_store->strokes(pageKey()).first().points.size(), 2);
    }

    void eraserMeasuresInPageHeightsOnAWidePage()
    {
        // The canvas is twice as wide as high: 0.009 of its width is 0.018 of its height, inside the
        // 0.02 radius; 0.015 of its width is 0.03, outside.
        QVERIFY(m_store->addStroke(stroke({{0.509, 0.5, 1.0}}), pageKey()));
        QVERIFY(m_store->addStroke(stroke({{0.515, 0.5, 1.0}}), pageKey()));
        m_canvas->setInputTool(PlayerPrivateAnnotationTool::Eraser);
        send(m_canvas.get(), QEvent::MouseButtonPress, {400, 200});
        send(m_canvas.get(), QEvent::MouseButtonRelease, {400, 200});
        const auto left = m_store->strokes(pageKey());
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.first().points.first().x, 0.515);
    }

    void withoutAPageKeyOrOutsideAnnotationModeNothingIsStored()
    {
        m_canvas->setPageKey(std::nullopt);
        send(m_canvas.get(), QEvent::MouseButtonPress, {200, 100});
        send(m_canvas.get(), QEvent::MouseButtonRelease, {200, 100});
        m_canvas->setPageKey(pageKey());
        m_canvas->setAnnotationMode(false);
        QVERIFY(m_canvas->testAttribute(Qt::WA_TransparentForMouseEvents));
        send(m_canvas.get(), QEvent::MouseButtonPress, {200, 100});
        send(m_canvas.get(), QEvent::MouseButtonRelease, {200, 100});
        QVERIFY(m_store->strokes(pageKey()).isEmpty());
        QCOMPARE(m_store->generation(), 0);
    }
};

QTEST_MAIN(PrivateAnnotationCanvasTest)
#include "tst_privateannotationcanvas.moc"
