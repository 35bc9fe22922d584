// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <avahi-common/watch.h>

namespace pgw {

// Runs Avahi's I/O and timers on the Qt event loop of the thread that creates it, so Avahi's callbacks
// arrive on that thread without locks. Must outlive every Avahi object created with api().
class AvahiQtPoll
{
public:
    AvahiQtPoll();
    AvahiQtPoll(const AvahiQtPoll &) = delete;
    AvahiQtPoll &operator=(const AvahiQtPoll &) = delete;

    const AvahiPoll *api() const { return &m_api; }

private:
    AvahiPoll m_api;
};

} // namespace pgw
