// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Scheduler.h"

#include <QScrollArea>

#include <functional>
#include <limits>

class QNativeGestureEvent;

namespace pgw {

// The stage's magnifying scroll view: no scroll bars, a black background, magnification between limits
// (pinch, Ctrl + wheel), and page turns from keys and swipes, at most one every 0.18 s.
class DesktopStageScrollView : public QScrollArea
{
    Q_OBJECT

public:
    static constexpr double turnDebounce = 0.18;
    // A drag or scroll this far sideways, in pixels, is a swipe.
    static constexpr double swipeDistance = 80;
    // A sideways scroll gesture turns once; it ends after this long without scrolling.
    static constexpr double scrollGestureGap = 0.3;

    DesktopStageScrollView(Scheduler &scheduler, QWidget *parent = nullptr);

    std::function<void(int delta)> onPageTurn;
    // The magnification changed: the document must be laid out again.
    std::function<void()> onViewportChange;
    // The visible origin moved.
    std::function<void()> onScroll;
    std::function<bool(Qt::Orientation)> canTurnOnAxis;

    double magnification() const { return m_magnification; }
    double minimumMagnification() const { return m_minimum; }
    double maximumMagnification() const { return m_maximum; }
    // The minimum never exceeds the maximum, whichever order they change in.
    void setMagnificationLimits(double minimum, double maximum);
    // Keeps the document point under `anchor` (viewport pixels; the middle by default) where it is and
    // has the document laid out again; `relayout` false only records the value, for the layout itself.
    void setMagnification(
        double magnification, std::optional<QPointF> anchor = std::nullopt, bool relayout = true);

    // What the viewport shows, in document units.
    QRectF visibleRect() const;
    void scrollToDocumentPoint(const QPointF &origin);

    // A swipe by (dx, dy): the content moved left (dx < 0) turns forward. Turns only where
    // `canTurnOnAxis` allows; returns whether it was taken as a turn attempt.
    bool swipe(double dx, double dy);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void deliverTurn(int delta);
    bool handleNativeGesture(QNativeGestureEvent *event);

    Scheduler &m_scheduler;
    double m_magnification = 1.0;
    double m_minimum = 1.0;
    double m_maximum = 4.0;
    double m_lastKeyTurnAt = std::numeric_limits<double>::lowest();
    QPointF m_scrollGesture;
    double m_lastScrollAt = std::numeric_limits<double>::lowest();
    bool m_scrollGestureTurned = false;
    QPointF m_panGesture;
};

} // namespace pgw
