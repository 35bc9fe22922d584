// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Scheduler.h"

#include <QPointer>

class QObject;

namespace pgw {

// Runs tasks on the event loop of the thread that owns `context`.
class EventLoopScheduler : public Scheduler
{
public:
    explicit EventLoopScheduler(QObject *context);

    double now() const override;
    void post(Task task) override;
    TaskHandle postAfter(double seconds, Task task) override;
    void runSync(const Task &task) override;

private:
    QPointer<QObject> m_context;
};

} // namespace pgw
