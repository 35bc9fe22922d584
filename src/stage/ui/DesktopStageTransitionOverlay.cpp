// SPDX-License-Identifier: GPL-3.0-or-later
#include "stage/ui/DesktopStageTransitionOverlay.h"

#include <QEasingCurve>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace pgw {

DesktopStageTransitionOverlay::DesktopStageTransitionOverlay(Scheduler &scheduler, const QPixmap &from,
    const QPixmap &to, StagePageTurnTransition transition, QWidget *parent)
    : QWidget(parent)
    , m_scheduler(scheduler)
    , m_from(from)
    , m_to(to)
    , m_transition(transition)
    , m_startedAt(scheduler.now())
{
    setObjectName(u"stage-transition"_s);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_frame = m_scheduler.postAfter(frameInterval, [this] { tick(); });
}

DesktopStageTransitionOverlay::~DesktopStageTransitionOverlay()
{
    m_frame.cancel();
}

double DesktopStageTransitionOverlay::progress() const
{
    return std::clamp((m_scheduler.now() - m_startedAt) / duration, 0.0, 1.0);
}

void DesktopStageTransitionOverlay::tick()
{
    update();
    if (progress() < 1.0) {
        m_frame = m_scheduler.postAfter(frameInterval, [this] { tick(); });
        return;
    }
    if (onFinished)
        onFinished();
}

void DesktopStageTransitionOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const double eased = QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(progress());
    const double direction = m_transition == StagePageTurnTransition::Backward ? 1.0 : -1.0;
    const double shift = direction * width() * eased;
    painter.drawPixmap(QPointF(shift, 0), m_from);
    painter.drawPixmap(QPointF(shift - direction * width(), 0), m_to);
}

} // namespace pgw
