// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/SerialQueue.h"

#include <QObject>
#include <QThread>

namespace pgw {

SerialQueue::SerialQueue(const QString &name)
    : m_thread(new QThread)
    , m_context(new QObject)
{
    m_thread->setObjectName(name);
    m_context->moveToThread(m_thread);
    m_scheduler = std::make_unique<EventLoopScheduler>(m_context);
    m_thread->start();
}

SerialQueue::~SerialQueue()
{
    stop();
    delete m_thread;
}

QString SerialQueue::name() const
{
    return m_thread->objectName();
}

void SerialQueue::stop()
{
    if (!m_context)
        return;
    // The context is deleted on its own thread, then the loop quits; both after pending work.
    QObject *context = m_context;
    m_context = nullptr;
    QThread *thread = m_thread;
    QMetaObject::invokeMethod(
        context,
        [context, thread] {
            delete context;
            thread->quit();
        },
        Qt::QueuedConnection);
    m_thread->wait();
}

} // namespace pgw
