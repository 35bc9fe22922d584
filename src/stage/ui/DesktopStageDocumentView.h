// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

namespace pgw {

// The bank document the page surfaces sit in. A click (press and release without dragging) is reported
// where it ended; a drag pans the stage when it is zoomed in.
class DesktopStageDocumentView : public QWidget
{
    Q_OBJECT

public:
    explicit DesktopStageDocumentView(QWidget *parent = nullptr);

    // In this widget's pixels.
    std::function<void(const QPointF &)> onClick;
    std::function<void(const QPointF &delta)> onDrag;
    // A drag ended after moving by `total`: a swipe when it went far enough.
    std::function<void(const QPointF &total)> onDragFinished;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::optional<QPointF> m_pressedAt;
    QPointF m_lastGlobal;
    bool m_dragging = false;
};

} // namespace pgw
