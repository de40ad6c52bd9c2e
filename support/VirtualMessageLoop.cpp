#include "support/VirtualMessageLoop.h"

#include <algorithm>
#include <stdexcept>

bool TVirtualMessageLoop::Post(TTask task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!acceptPosts_) {
        return false;
    }
    const std::uint64_t seq = nextSeq_++;
    const TTimerId id = nextId_++;
    queue_.emplace(TKey{now_, seq}, TEntry{id, 0, std::make_shared<TTask>(std::move(task))});
    byId_.emplace(id, TKey{now_, seq});
    return true;
}

TMessageLoop::TTimerId TVirtualMessageLoop::Schedule(std::uint64_t due, std::uint32_t interval,
                                                     std::shared_ptr<TTask> task) {
    const std::uint64_t seq = nextSeq_++;
    const TTimerId id = nextId_++;
    queue_.emplace(TKey{due, seq}, TEntry{id, interval, std::move(task)});
    byId_.emplace(id, TKey{due, seq});
    return id;
}

TMessageLoop::TTimerId TVirtualMessageLoop::PostDelayed(std::uint32_t delayMs, TTask task) {
    std::lock_guard<std::mutex> lock(mutex_);
    return Schedule(now_ + delayMs, 0, std::make_shared<TTask>(std::move(task)));
}

TMessageLoop::TTimerId TVirtualMessageLoop::StartTimer(std::uint32_t intervalMs, TTask onTick) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uint32_t interval = std::max<std::uint32_t>(intervalMs, 1);
    return Schedule(now_ + interval, interval, std::make_shared<TTask>(std::move(onTick)));
}

void TVirtualMessageLoop::StopTimer(TTimerId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = byId_.find(id);
    if (it == byId_.end()) {
        return;
    }
    queue_.erase(it->second);
    byId_.erase(it);
}

bool TVirtualMessageLoop::TakeDue(std::uint64_t limitSeq, std::shared_ptr<TTask>& task) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = queue_.begin(); it != queue_.end() && it->first.first <= now_; ++it) {
        if (it->first.second >= limitSeq) {
            continue;
        }
        TEntry entry = std::move(it->second);
        const std::uint64_t due = it->first.first;
        queue_.erase(it);
        byId_.erase(entry.Id);
        task = entry.Task;
        if (entry.Interval != 0) {
            // Re-armed before it runs, so the tick itself may stop its timer. The id stays.
            const TKey key{due + entry.Interval, nextSeq_++};
            queue_.emplace(key, entry);
            byId_.emplace(entry.Id, key);
        }
        return true;
    }
    return false;
}

void TVirtualMessageLoop::DispatchPending() {
    std::uint64_t limitSeq;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        limitSeq = nextSeq_;
    }
    std::shared_ptr<TTask> task;
    while (TakeDue(limitSeq, task)) {
        (*task)();
        task.reset();
    }
}

bool TVirtualMessageLoop::AnythingDueLocked() const {
    return !queue_.empty() && queue_.begin()->first.first <= now_;
}

bool TVirtualMessageLoop::WaitAndDispatch(std::int32_t timeoutMs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!AnythingDueLocked()) {
            const bool haveNext = !queue_.empty();
            if (!haveNext && timeoutMs < 0) {
                throw std::logic_error(
                    "virtual message loop: wait without limit with nothing pending and no timer");
            }
            std::uint64_t target = haveNext ? queue_.begin()->first.first : now_;
            if (timeoutMs >= 0) {
                const std::uint64_t deadline = now_ + static_cast<std::uint64_t>(timeoutMs);
                target = haveNext ? std::min(target, deadline) : deadline;
            }
            now_ = std::max(now_, target);
            if (!AnythingDueLocked()) {
                return false;
            }
        }
    }
    DispatchPending();
    return true;
}

std::uint32_t TVirtualMessageLoop::TickCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::uint32_t>(now_);
}

std::uint64_t TVirtualMessageLoop::Now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

void TVirtualMessageLoop::AdvanceBy(std::uint64_t ms) {
    std::uint64_t target;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target = now_ + ms;
    }
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!AnythingDueLocked()) {
                if (queue_.empty() || queue_.begin()->first.first > target) {
                    now_ = std::max(now_, target);
                    if (!AnythingDueLocked()) {
                        return;
                    }
                } else {
                    now_ = queue_.begin()->first.first;
                }
            }
        }
        DispatchPending();
    }
}

void TVirtualMessageLoop::RunUntilIdle() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!AnythingDueLocked()) {
                return;
            }
        }
        DispatchPending();
    }
}

std::size_t TVirtualMessageLoop::ScheduledCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

bool TVirtualMessageLoop::TimerActive(TTimerId id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return byId_.count(id) != 0;
}

void TVirtualMessageLoop::SetAcceptPosts(bool accept) {
    std::lock_guard<std::mutex> lock(mutex_);
    acceptPosts_ = accept;
}
