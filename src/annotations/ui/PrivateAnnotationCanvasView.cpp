// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotations/ui/PrivateAnnotationCanvasView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTabletEvent>
#include <QUuid>

#include <cmath>

using namespace Qt::StringLiterals;

namespace pgw {

PrivateAnnotationCanvasView::PrivateAnnotationCanvasView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(u"Private annotation canvas"_s);
    setAccessibleDescription(u"Drawings stay in Player and are never shared with the host"_s);
}

void PrivateAnnotationCanvasView::setStore(PrivateAnnotationStore *store)
{
    if (m_store == store)
        return;
    disconnect(m_storeConnection);
    m_store = store;
    if (store) {
        m_storeConnection
            = connect(store, &PrivateAnnotationStore::generationChanged, this, qOverload<>(&QWidget::update));
    }
}

void PrivateAnnotationCanvasView::setAnnotationMode(bool on)
{
    m_annotationMode = on;
    setAttribute(Qt::WA_TransparentForMouseEvents, !on);
    if (on)
        setCursor(Qt::CrossCursor);
    else
        unsetCursor();
}

std::optional<PrivateAnnotationPoint> PrivateAnnotationCanvasView::normalizedPoint(
    const QPointF &location) const
{
    if (width() <= 0 || height() <= 0 || !std::isfinite(location.x()) || !std::isfinite(location.y()))
        return std::nullopt;
    return PrivateAnnotationPoint {
        std::clamp(location.x() / width(), 0.0, 1.0), std::clamp(location.y() / height(), 0.0, 1.0), 1.0};
}

double PrivateAnnotationCanvasView::pageAspectRatio() const
{
    return width() > 0 && height() > 0 ? double(width()) / height() : 1.0;
}

void PrivateAnnotationCanvasView::begin(const QPointF &location)
{
    const auto point = normalizedPoint(location);
    if (!m_annotationMode || !point)
        return;
    m_activeTool = m_inputTool;
    m_activeStyle = privateAnnotationStyle(m_inputTool, m_inputColor);
    m_activePoints = {*point};
    m_activePageAspectRatio = pageAspectRatio();
    update();
}

void PrivateAnnotationCanvasView::appendUnlessJitter(const PrivateAnnotationPoint &point)
{
    if (!m_activePoints.isEmpty()) {
        const PrivateAnnotationPoint &last = m_activePoints.constLast();
        if (std::hypot(point.x - last.x, point.y - last.y) < jitterTolerance)
            return;
    }
    m_activePoints.append(point);
}

void PrivateAnnotationCanvasView::extend(const QPointF &location)
{
    const auto point = normalizedPoint(location);
    if (!m_annotationMode || !m_activeTool || !point)
        return;
    appendUnlessJitter(*point);
    if (m_activeStyle)
        update();
}

void PrivateAnnotationCanvasView::end(const QPointF &location)
{
    if (!m_activeTool)
        return;
    if (*m_activeTool == PlayerPrivateAnnotationTool::Eraser) {
        if (const auto point = normalizedPoint(location))
            appendUnlessJitter(*point);
    }
    finishGesture();
}

void PrivateAnnotationCanvasView::finishGesture()
{
    if (!m_activeTool)
        return;
    if (m_store && m_pageKey && !m_activePoints.isEmpty()) {
        if (m_activeStyle)
            m_store->addStroke({QUuid::createUuid(), *m_activeStyle, m_activePoints}, *m_pageKey);
        else if (*m_activeTool == PlayerPrivateAnnotationTool::Eraser)
            m_store->erase(m_activePoints, eraserRadius, m_activePageAspectRatio, *m_pageKey);
    }
    m_activePoints.clear();
    m_activeStyle.reset();
    m_activeTool.reset();
    m_activePageAspectRatio = 1.0;
    update();
}

void PrivateAnnotationCanvasView::mousePressEvent(QMouseEvent *event)
{
    if (!m_annotationMode || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    begin(event->position());
}

void PrivateAnnotationCanvasView::mouseMoveEvent(QMouseEvent *event)
{
    extend(event->position());
}

void PrivateAnnotationCanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        end(event->position());
}

void PrivateAnnotationCanvasView::tabletEvent(QTabletEvent *event)
{
    // A stylus draws like the mouse; accepting it keeps Qt from delivering the same stroke again as mouse
    // events.
    if (!m_annotationMode) {
        event->ignore();
        return;
    }
    event->accept();
    switch (event->type()) {
    case QEvent::TabletPress:
        begin(event->position());
        break;
    case QEvent::TabletMove:
        extend(event->position());
        break;
    case QEvent::TabletRelease:
        end(event->position());
        break;
    default:
        break;
    }
}

void PrivateAnnotationCanvasView::drawPrivateAnnotation(QPainter &painter,
    const PrivateAnnotationStyle &style, const QList<PrivateAnnotationPoint> &points, const QSizeF &size)
{
    if (points.isEmpty())
        return;
    const double lineWidth = std::max(std::min(size.width(), size.height()) * style.normalizedWidth, 0.75);
    const QColor color = QColor::fromRgbF(
        float(style.color.red), float(style.color.green), float(style.color.blue), float(style.color.alpha));
    const auto at
        = [&](qsizetype i) { return QPointF(points[i].x * size.width(), points[i].y * size.height()); };

    painter.save();
    if (style.tool == PrivateAnnotationTool::highlighter)
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    if (points.size() == 1) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(at(0), lineWidth / 2, lineWidth / 2);
    } else {
        QPainterPath path(at(0));
        for (qsizetype i = 1; i < points.size(); ++i)
            path.quadTo(at(i - 1), (at(i - 1) + at(i)) / 2);
        path.lineTo(at(points.size() - 1));
        painter.setPen(QPen(color, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
    painter.restore();
}

void PrivateAnnotationCanvasView::paintEvent(QPaintEvent *)
{
    if (width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSizeF area = size();
    if (m_store && m_pageKey) {
        for (const PrivateAnnotationStroke &stroke : m_store->strokes(*m_pageKey))
            drawPrivateAnnotation(painter, stroke.style, stroke.points, area);
    }
    if (m_activeStyle && !m_activePoints.isEmpty())
        drawPrivateAnnotation(painter, *m_activeStyle, m_activePoints, area);
}

} // namespace pgw
