// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ManualScheduler.h"

#include <algorithm>

namespace pgw {

void ManualScheduler::post(Task task)
{
    postAfter(0, std::move(task));
}

TaskHandle ManualScheduler::postAfter(double seconds, Task task)
{
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_queue.emplace(
        std::make_pair(m_now + std::max(seconds, 0.0), m_sequence++), Entry {std::move(task), cancelled});
    return TaskHandle(cancelled);
}

void ManualScheduler::advance(double seconds)
{
    const double target = m_now + std::max(seconds, 0.0);
    while (!m_queue.empty() && m_queue.begin()->first.first <= target) {
        auto node = m_queue.extract(m_queue.begin());
        m_now = std::max(m_now, node.key().first);
        if (!node.mapped().cancelled->exchange(true))
            node.mapped().task();
    }
    m_now = target;
}

int ManualScheduler::pendingCount() const
{
    return int(std::count_if(
        m_queue.begin(), m_queue.end(), [](const auto &entry) { return !entry.second.cancelled->load(); }));
}

} // namespace pgw
