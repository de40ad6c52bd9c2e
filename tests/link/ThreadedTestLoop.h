#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "platform/MessageLoop.h"

// A message loop on real time for tests of the receive thread: a locked queue of posted
// tasks that the test thread runs. It can be told to refuse posts, as a loop that is
// going away does. It has no timers; the receive thread uses none.
class TThreadedTestLoop : public TMessageLoop {
public:
    bool Post(TTask task) override {
        std::lock_guard lock(mutex_);
        ++postAttempts_;
        if (refusing_)
            return false;
        queue_.push_back(std::move(task));
        ready_.notify_all();
        return true;
    }

    TTimerId PostDelayed(std::uint32_t, TTask) override { throw std::logic_error("no timers in this loop"); }
    TTimerId StartTimer(std::uint32_t, TTask) override { throw std::logic_error("no timers in this loop"); }
    void StopTimer(TTimerId) override {}

    void DispatchPending() override {
        std::deque<TTask> pending;
        {
            std::lock_guard lock(mutex_);
            pending.swap(queue_);
        }
        for (TTask& task : pending)
            task();
    }

    bool WaitAndDispatch(std::int32_t timeoutMs = -1) override {
        {
            std::unique_lock lock(mutex_);
            const auto hasTask = [this] { return !queue_.empty(); };
            if (timeoutMs < 0)
                ready_.wait(lock, hasTask);
            else if (!ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), hasTask))
                return false;
        }
        DispatchPending();
        return true;
    }

    std::uint32_t TickCount() const override {
        return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now().time_since_epoch())
                                              .count());
    }

    // Dispatches until done() holds or nothing has come for idleMs. Returns done().
    template <typename TDone>
    bool DispatchUntil(TDone done, std::int32_t idleMs = 5000) {
        while (!done())
            if (!WaitAndDispatch(idleMs))
                return done();
        return true;
    }

    void Refuse() {
        std::lock_guard lock(mutex_);
        refusing_ = true;
    }

    unsigned PostAttempts() const {
        std::lock_guard lock(mutex_);
        return postAttempts_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<TTask> queue_;
    bool refusing_ = false;
    unsigned postAttempts_ = 0;
};
