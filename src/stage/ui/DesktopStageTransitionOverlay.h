// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Scheduler.h"

#include <QPixmap>
#include <QWidget>

#include <functional>

namespace pgw {

enum class StagePageTurnTransition { None, Forward, Backward };

// Slides the stage's old picture out and the new one in after a turn by one page. It never takes the
// mouse, and its frames run on the injected scheduler so the slide can be driven by hand.
class DesktopStageTransitionOverlay : public QWidget
{
    Q_OBJECT

public:
    static constexpr double duration = 0.28;
    static constexpr double frameInterval = 1.0 / 60;

    DesktopStageTransitionOverlay(Scheduler &scheduler, const QPixmap &from, const QPixmap &to,
        StagePageTurnTransition transition, QWidget *parent);
    ~DesktopStageTransitionOverlay() override;

    StagePageTurnTransition transition() const { return m_transition; }
    // 0 at the start, 1 when the new picture is in place.
    double progress() const;
    // Runs once, when the slide has ended.
    std::function<void()> onFinished;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void tick();

    Scheduler &m_scheduler;
    QPixmap m_from;
    QPixmap m_to;
    StagePageTurnTransition m_transition;
    double m_startedAt;
    TaskHandle m_frame;
};

} // namespace pgw
