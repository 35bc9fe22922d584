// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace pgw {

// A cancellable reference to a task posted with a delay. Cancelling is safe from any thread;
// a cancelled task never runs. A default-constructed handle refers to nothing.
class TaskHandle
{
public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<std::atomic<bool>> cancelled)
        : m_cancelled(std::move(cancelled))
    { }

    void cancel()
    {
        if (m_cancelled)
            m_cancelled->store(true);
        m_cancelled.reset();
    }
    bool isActive() const { return m_cancelled && !m_cancelled->load(); }

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

// Time and deferred work for one queue. Nothing in the Player reads the clock or starts a timer
// except through a scheduler, so tests can drive time by hand.
class Scheduler
{
public:
    using Task = std::function<void()>;

    virtual ~Scheduler() = default;

    // Monotonic seconds.
    virtual double now() const = 0;
    virtual void post(Task task) = 0;
    virtual TaskHandle postAfter(double seconds, Task task) = 0;
    // Runs the task on this scheduler's queue and returns when it has run.
    virtual void runSync(const Task &task) = 0;
};

// Uniform factor source for jittered delays, injected so tests can pin it.
using JitterSource = std::function<double(double low, double high)>;
JitterSource systemJitter();

} // namespace pgw
