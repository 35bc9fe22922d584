// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Scheduler.h"

#include <QHash>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace pgw {

// Outstanding requests of one response type, each completed exactly once: by its answer, by a
// failure, or by its deadline. Everything runs on the connection queue, so an answer and a deadline
// never race; whichever comes first removes the request.
template<typename Response>
class PlayerRequestDeadlineStore
{
public:
    using Completion = std::function<void(Response)>;

    explicit PlayerRequestDeadlineStore(Scheduler &queue)
        : m_queue(queue)
    { }
    ~PlayerRequestDeadlineStore()
    {
        for (auto &pending : m_requests)
            pending.deadline.cancel();
    }
    PlayerRequestDeadlineStore(const PlayerRequestDeadlineStore &) = delete;
    PlayerRequestDeadlineStore &operator=(const PlayerRequestDeadlineStore &) = delete;

    // An outstanding request under the same id is failed first.
    void insert(const QString &requestId, double timeout, Response timeoutResponse,
        std::function<void()> onTimeout, Completion completion)
    {
        fail(requestId);
        TaskHandle deadline = m_queue.postAfter(timeout, [this, requestId] { expire(requestId); });
        m_requests.insert(requestId,
            Pending {std::move(timeoutResponse), std::move(onTimeout), std::move(completion), deadline});
    }

    bool resolve(const QString &requestId, Response response)
    {
        auto pending = take(requestId);
        if (!pending)
            return false;
        pending->completion(std::move(response));
        return true;
    }

    bool fail(const QString &requestId)
    {
        auto pending = take(requestId);
        if (!pending)
            return false;
        pending->completion(pending->timeoutResponse);
        return true;
    }

    void failAll()
    {
        const auto requests = std::exchange(m_requests, {});
        for (auto pending : requests) {
            pending.deadline.cancel();
            pending.completion(pending.timeoutResponse);
        }
    }

    bool contains(const QString &requestId) const { return m_requests.contains(requestId); }
    qsizetype size() const { return m_requests.size(); }

private:
    struct Pending
    {
        Response timeoutResponse;
        std::function<void()> onTimeout;
        Completion completion;
        TaskHandle deadline;
    };

    std::optional<Pending> take(const QString &requestId)
    {
        auto it = m_requests.find(requestId);
        if (it == m_requests.end())
            return std::nullopt;
        Pending pending = std::move(*it);
        m_requests.erase(it);
        pending.deadline.cancel();
        return pending;
    }

    void expire(const QString &requestId)
    {
        auto pending = take(requestId);
        if (!pending)
            return;
        pending->completion(pending->timeoutResponse);
        if (pending->onTimeout)
            pending->onTimeout();
    }

    Scheduler &m_queue;
    QHash<QString, Pending> m_requests;
};

} // namespace pgw
