// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/DesktopStageScrollView.h"

#include "stage/StageTurns.h"
#include "stage/ui/KeyboardFocus.h"

#include <QApplication>
#include <QGestureEvent>
#include <QNativeGestureEvent>
#include <QPinchGesture>
#include <QScrollBar>

#include <cmath>

using namespace Qt::StringLiterals;

namespace pgw {

DesktopStageScrollView::DesktopStageScrollView(Scheduler &scheduler, QWidget *parent)
    : QScrollArea(parent)
    , m_scheduler(scheduler)
{
    setObjectName(u"stage-scroll-view"_s);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFocusPolicy(Qt::StrongFocus);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::Base, Qt::black);
    setPalette(black);
    viewport()->setPalette(black);
    viewport()->setAutoFillBackground(true);
    viewport()->grabGesture(Qt::PinchGesture);
    for (QScrollBar *bar : {horizontalScrollBar(), verticalScrollBar()}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (onScroll)
                onScroll();
        });
    }
}

void DesktopStageScrollView::setMagnificationLimits(double minimum, double maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(maximum, minimum);
}

void DesktopStageScrollView::setMagnification(
    double magnification, std::optional<QPointF> anchor, bool relayout)
{
    if (!relayout) {
        m_magnification = std::clamp(magnification, m_minimum, m_maximum);
        return;
    }
    const QPointF at = anchor.value_or(QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
    const QPointF documentPoint
        = (QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value()) + at) / m_magnification;
    m_magnification = std::clamp(magnification, m_minimum, m_maximum);
    if (onViewportChange)
        onViewportChange();
    scrollToDocumentPoint(documentPoint - at / m_magnification);
}

QRectF DesktopStageScrollView::visibleRect() const
{
    const double m = std::max(m_magnification, 0.001);
    return QRectF(QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value()) / m,
        QSizeF(viewport()->size()) / m);
}

void DesktopStageScrollView::scrollToDocumentPoint(const QPointF &origin)
{
    horizontalScrollBar()->setValue(qRound(origin.x() * m_magnification));
    verticalScrollBar()->setValue(qRound(origin.y() * m_magnification));
}

void DesktopStageScrollView::deliverTurn(int delta)
{
    const double now = m_scheduler.now();
    if (now - m_lastKeyTurnAt < turnDebounce)
        return;
    m_lastKeyTurnAt = now;
    if (onPageTurn)
        onPageTurn(delta);
}

bool DesktopStageScrollView::swipe(double dx, double dy)
{
    const bool horizontal = std::abs(dy) <= std::abs(dx);
    if (canTurnOnAxis && !canTurnOnAxis(horizontal ? Qt::Horizontal : Qt::Vertical))
        return false;
    deliverTurn((horizontal ? dx : dy) < 0 ? 1 : -1);
    return true;
}

void DesktopStageScrollView::keyPressEvent(QKeyEvent *event)
{
    const auto turn = StageLayout::pageTurnForKey(event->key(), textInputHasFocus(), event->isAutoRepeat());
    if (!turn) {
        // Held keys are swallowed so that a held arrow does not scroll either.
        if (event->isAutoRepeat() && StageLayout::pageTurnForKey(event->key(), false, false))
            return;
        QScrollArea::keyPressEvent(event);
        return;
    }
    deliverTurn(*turn);
}

void DesktopStageScrollView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        // One notch of a wheel (120) zooms by about one zoom step.
        setMagnification(
            m_magnification * std::pow(1.25, event->angleDelta().y() / 120.0), event->position());
        return;
    }
    const QPointF delta
        = event->pixelDelta().isNull() ? QPointF(event->angleDelta()) : QPointF(event->pixelDelta());
    const double now = m_scheduler.now();
    if (now - m_lastScrollAt > scrollGestureGap || event->phase() == Qt::ScrollBegin) {
        m_scrollGesture = {};
        m_scrollGestureTurned = false;
    }
    m_lastScrollAt = now;
    const bool sideways = std::abs(delta.x()) > std::abs(delta.y());
    if (sideways && (!canTurnOnAxis || canTurnOnAxis(Qt::Horizontal))) {
        // A sideways flick of the touchpad, or a tilt of the wheel, turns once per gesture.
        m_scrollGesture += delta;
        const bool notch = event->pixelDelta().isNull();
        if (!m_scrollGestureTurned && (notch || std::abs(m_scrollGesture.x()) >= swipeDistance)) {
            m_scrollGestureTurned = true;
            // Positive deltas scroll towards the left edge, the way back.
            deliverTurn(m_scrollGesture.x() > 0 ? -1 : 1);
        }
        event->accept();
        return;
    }
    QScrollArea::wheelEvent(event);
}

bool DesktopStageScrollView::handleNativeGesture(QNativeGestureEvent *event)
{
    switch (event->gestureType()) {
    case Qt::ZoomNativeGesture:
        setMagnification(m_magnification * (1.0 + event->value()), event->position());
        return true;
    case Qt::SwipeNativeGesture: {
        const double radians = qDegreesToRadians(event->value());
        swipe(std::cos(radians), -std::sin(radians));
        return true;
    }
    case Qt::BeginNativeGesture:
        m_panGesture = {};
        return true;
    case Qt::PanNativeGesture:
        m_panGesture += event->delta();
        return true;
    case Qt::EndNativeGesture:
        if (std::hypot(m_panGesture.x(), m_panGesture.y()) >= swipeDistance)
            swipe(m_panGesture.x(), m_panGesture.y());
        m_panGesture = {};
        return true;
    default:
        return false;
    }
}

bool DesktopStageScrollView::event(QEvent *event)
{
    if (event->type() == QEvent::NativeGesture
        && handleNativeGesture(static_cast<QNativeGestureEvent *>(event)))
        return true;
    return QScrollArea::event(event);
}

bool DesktopStageScrollView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::NativeGesture)
        return handleNativeGesture(static_cast<QNativeGestureEvent *>(event));
    if (event->type() == QEvent::Gesture) {
        auto *gestures = static_cast<QGestureEvent *>(event);
        if (auto *pinch = static_cast<QPinchGesture *>(gestures->gesture(Qt::PinchGesture))) {
            if (pinch->changeFlags() & QPinchGesture::ScaleFactorChanged)
                setMagnification(
                    m_magnification * pinch->scaleFactor(), viewport()->mapFromGlobal(pinch->centerPoint()));
            gestures->accept(pinch);
            return true;
        }
    }
    return QScrollArea::viewportEvent(event);
}

} // namespace pgw
