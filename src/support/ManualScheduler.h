// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Scheduler.h"

#include <cstdint>
#include <map>
#include <utility>

namespace pgw {

// A scheduler whose clock only moves when told to. Tasks run on the caller's thread inside
// advance(), in deadline order; equal deadlines run first in, first out.
class ManualScheduler : public Scheduler
{
public:
    explicit ManualScheduler(double start = 1000.0)
        : m_now(start)
    { }

    double now() const override { return m_now; }
    void post(Task task) override;
    TaskHandle postAfter(double seconds, Task task) override;
    void runSync(const Task &task) override { task(); }

    // Moves the clock forward, running every task that falls due on the way, including tasks
    // scheduled by those tasks.
    void advance(double seconds);
    // Runs what is due now.
    void runPending() { advance(0); }
    int pendingCount() const;
    // Every task still queued, cancelled ones included until they fall due: what the timers of a real
    // event loop would still hold.
    int queuedCount() const { return int(m_queue.size()); }

private:
    struct Entry
    {
        Task task;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    double m_now;
    std::uint64_t m_sequence = 0;
    std::map<std::pair<double, std::uint64_t>, Entry> m_queue;
};

} // namespace pgw
