#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>

#include "platform/MessageLoop.h"

// A message loop on real time for the receive thread's tests: a locked queue that the test
// thread dispatches. It can refuse posts, as a loop that is going away does. No timers:
// the receive thread uses none. Posts can be held: the posting thread then waits inside
// Post until they are released.
class TThreadedTestLoop : public TMessageLoop {
public:
    bool Post(TTask task) override {
        std::unique_lock lock(mutex_);
        ++postAttempts_;
        released_.wait(lock, [this] { return !holding_; });
        if (!refusing_) queue_.push_back(std::move(task)), ready_.notify_all();
        return !refusing_;
    }
    TTimerId PostDelayed(std::uint32_t, TTask) override { throw std::logic_error("no timers"); }
    TTimerId StartTimer(std::uint32_t, TTask) override { throw std::logic_error("no timers"); }
    void StopTimer(TTimerId) override {}
    void DispatchPending() override { WaitAndDispatch(0); }
    bool WaitAndDispatch(std::int32_t timeoutMs = -1) override {
        std::deque<TTask> pending;
        {
            std::unique_lock lock(mutex_);
            const auto limit = std::chrono::milliseconds(timeoutMs < 0 ? 60000 : timeoutMs);
            if (!ready_.wait_for(lock, limit, [this] { return !queue_.empty(); })) return false;
            pending.swap(queue_);
        }
        for (TTask& task : pending) task();
        return true;
    }
    std::uint32_t TickCount() const override { throw std::logic_error("no clock"); }

    // Dispatches until done() holds or nothing came for 5 s. Returns done().
    template <typename TDone>
    bool DispatchUntil(TDone done) {
        while (!done() && WaitAndDispatch(5000)) {
        }
        return done();
    }
    void Refuse() {
        std::lock_guard lock(mutex_);
        refusing_ = true;
    }
    void HoldPosts() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    void ReleasePosts() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        released_.notify_all();
    }
    unsigned PostAttempts() const {
        std::lock_guard lock(mutex_);
        return postAttempts_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable released_;
    bool holding_ = false;
    std::deque<TTask> queue_;
    bool refusing_ = false;
    unsigned postAttempts_ = 0;
};
