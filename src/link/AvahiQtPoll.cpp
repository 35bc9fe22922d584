// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/AvahiQtPoll.h"

#include <QSocketNotifier>
#include <QTimer>

#include <avahi-common/timeval.h>

#include <algorithm>

struct AvahiWatch
{
    int fd = -1;
    AvahiWatchEvent wanted = AvahiWatchEvent(0);
    AvahiWatchEvent happened = AvahiWatchEvent(0);
    AvahiWatchCallback callback = nullptr;
    void *userdata = nullptr;
    QSocketNotifier *reader = nullptr;
    QSocketNotifier *writer = nullptr;
};

struct AvahiTimeout
{
    AvahiTimeoutCallback callback = nullptr;
    void *userdata = nullptr;
    QTimer *timer = nullptr;
};

namespace pgw {

namespace {

void fire(AvahiWatch *watch, AvahiWatchEvent event)
{
    watch->happened = event;
    // The callback may free the watch; nothing touches it afterwards.
    watch->callback(watch, watch->fd, event, watch->userdata);
}

void applyEvents(AvahiWatch *watch, AvahiWatchEvent events)
{
    watch->wanted = events;
    watch->reader->setEnabled(events & AVAHI_WATCH_IN);
    watch->writer->setEnabled(events & AVAHI_WATCH_OUT);
}

AvahiWatch *watchNew(
    const AvahiPoll *, int fd, AvahiWatchEvent events, AvahiWatchCallback callback, void *userdata)
{
    auto *watch
        = new AvahiWatch {fd, AvahiWatchEvent(0), AvahiWatchEvent(0), callback, userdata, nullptr, nullptr};
    watch->reader = new QSocketNotifier(fd, QSocketNotifier::Read);
    watch->writer = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(watch->reader, &QSocketNotifier::activated, [watch] { fire(watch, AVAHI_WATCH_IN); });
    QObject::connect(watch->writer, &QSocketNotifier::activated, [watch] { fire(watch, AVAHI_WATCH_OUT); });
    applyEvents(watch, events);
    return watch;
}

void watchUpdate(AvahiWatch *watch, AvahiWatchEvent events)
{
    applyEvents(watch, events);
}

AvahiWatchEvent watchGetEvents(AvahiWatch *watch)
{
    return watch->happened;
}

void watchFree(AvahiWatch *watch)
{
    for (QSocketNotifier *notifier : {watch->reader, watch->writer}) {
        notifier->setEnabled(false);
        QObject::disconnect(notifier, nullptr, nullptr, nullptr);
        notifier->deleteLater();
    }
    delete watch;
}

void timeoutArm(AvahiTimeout *timeout, const struct timeval *when)
{
    timeout->timer->stop();
    if (!when)
        return;
    // avahi_age is negative for a moment still in the future.
    const AvahiUsec untilDue = -avahi_age(when);
    timeout->timer->start(int(std::clamp<AvahiUsec>((untilDue + 999) / 1000, 0, 1'000'000'000)));
}

AvahiTimeout *timeoutNew(
    const AvahiPoll *, const struct timeval *when, AvahiTimeoutCallback callback, void *userdata)
{
    auto *timeout = new AvahiTimeout {callback, userdata, new QTimer};
    timeout->timer->setSingleShot(true);
    timeout->timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(
        timeout->timer, &QTimer::timeout, [timeout] { timeout->callback(timeout, timeout->userdata); });
    timeoutArm(timeout, when);
    return timeout;
}

void timeoutFree(AvahiTimeout *timeout)
{
    timeout->timer->stop();
    QObject::disconnect(timeout->timer, nullptr, nullptr, nullptr);
    timeout->timer->deleteLater();
    delete timeout;
}

} // namespace

AvahiQtPoll::AvahiQtPoll()
    : m_api {nullptr, watchNew, watchUpdate, watchGetEvents, watchFree, timeoutNew, timeoutArm, timeoutFree}
{ }

} // namespace pgw
