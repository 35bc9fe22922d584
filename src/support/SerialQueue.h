// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/EventLoopScheduler.h"

#include <QString>

#include <memory>

class QThread;
class QObject;

namespace pgw {

// A named thread with its own event loop: work posted to its scheduler runs there, one task at a time.
class SerialQueue
{
public:
    explicit SerialQueue(const QString &name);
    ~SerialQueue();
    SerialQueue(const SerialQueue &) = delete;
    SerialQueue &operator=(const SerialQueue &) = delete;

    Scheduler &scheduler() { return *m_scheduler; }
    // An object living on the queue's thread, for connecting Qt objects created there.
    QObject *context() const { return m_context; }
    QString name() const;
    // Stops the loop after the tasks already posted; blocks until the thread has ended.
    void stop();

private:
    QThread *m_thread;
    QObject *m_context;
    std::unique_ptr<EventLoopScheduler> m_scheduler;
};

} // namespace pgw
