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

class PrivateAnnotationCanvasTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_directory;
    std::unique_ptr<PrivateAnnotationStore> m_store;
    std::unique_ptr<PrivateAnnotationCanvasView> m_canvas;

    // Presses at the first point, moves through the others and releases at the last.
    void drag(const QList<QPointF> &points)
    {
        const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
            QMouseEvent event(type, at, m_canvas->mapToGlobal(at), button, held, Qt::NoModifier);
            QApplication::sendEvent(m_canvas.get(), &event);
        };
        send(QEvent::MouseButtonPress, points.first(), Qt::LeftButton, Qt::LeftButton);
        for (const QPointF &at : points.mid(1, points.size() - 2))
            send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, points.last(), Qt::LeftButton, Qt::NoButton);
    }

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

    void aClickDrawsADotOfTheLineWidthAndJitterAddsNoPoints()
    {
        drag({{200, 100}});
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

        // 0.1 pixel of 800 is below the 0.0005 threshold; one pixel is not.
        drag({{200, 100}, {200.1, 100}, {201, 100}, {240, 100}});
        QCOMPARE(m_store->strokes(pageKey()).last().points.size(), 2);
    }

    void eraserMeasuresInPageHeightsOnAWidePage()
    {
        // The canvas is twice as wide as high: 0.009 of its width is 0.018 of its height, inside the
        // 0.02 radius; 0.015 of its width is 0.03, outside.
        QVERIFY(m_store->addStroke(stroke({{0.509, 0.5, 1.0}}), pageKey()));
        QVERIFY(m_store->addStroke(stroke({{0.515, 0.5, 1.0}}), pageKey()));
        m_canvas->setInputTool(PlayerPrivateAnnotationTool::Eraser);
        drag({{400, 200}});
        const auto left = m_store->strokes(pageKey());
        QCOMPARE(left.size(), 1);
        QCOMPARE(left.first().points.first().x, 0.515);
    }

    void withoutAPageKeyOrOutsideAnnotationModeNothingIsStored()
    {
        m_canvas->setPageKey(std::nullopt);
        drag({{200, 100}});
        m_canvas->setPageKey(pageKey());
        m_canvas->setAnnotationMode(false);
        QVERIFY(m_canvas->testAttribute(Qt::WA_TransparentForMouseEvents));
        drag({{200, 100}});
        QCOMPARE(m_store->generation(), 0);
    }
};

QTEST_MAIN(PrivateAnnotationCanvasTest)
#include "tst_privateannotationcanvas.moc"
