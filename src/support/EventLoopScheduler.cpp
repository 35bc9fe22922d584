// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/EventLoopScheduler.h"

#include <QMetaObject>
#include <QObject>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace pgw {

JitterSource systemJitter()
{
    return [](double low, double high) {
        return low + (high - low) * QRandomGenerator::global()->generateDouble();
    };
}

EventLoopScheduler::EventLoopScheduler(QObject *context)
    : m_context(context)
{ }

double EventLoopScheduler::now() const
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void EventLoopScheduler::post(Task task)
{
    if (m_context)
        QMetaObject::invokeMethod(m_context, std::move(task), Qt::QueuedConnection);
}

TaskHandle EventLoopScheduler::postAfter(double seconds, Task task)
{
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    const int ms = seconds <= 0 ? 0 : int(std::min(std::ceil(seconds * 1000.0), 2.0e9));
    // The timer must be started on the context's thread; hop there first.
    post([context = m_context, cancelled, ms, task = std::move(task)]() mutable {
        if (!context || cancelled->load())
            return;
        QTimer::singleShot(ms, Qt::PreciseTimer, context, [cancelled, task = std::move(task)] {
            if (!cancelled->exchange(true))
                task();
        });
    });
    return TaskHandle(cancelled);
}

void EventLoopScheduler::runSync(const Task &task)
{
    if (!m_context)
        return;
    if (m_context->thread() == QThread::currentThread())
        task();
    else
        QMetaObject::invokeMethod(m_context, task, Qt::BlockingQueuedConnection);
}

} // namespace pgw
