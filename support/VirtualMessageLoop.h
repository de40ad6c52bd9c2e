#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/MessageLoop.h"

// A message loop on a virtual millisecond clock, for tests. Nothing sleeps: a wait with
// nothing pending moves the clock to the next timer (or to the wait's deadline), so a
// 3 s timeout costs nothing and every run dispatches in the same order.
//
// Order: every posted task and every timer expiry is due at a virtual time; what is due
// runs in due-time order, and entries due at the same time in the order they were
// scheduled (posting order for posted tasks; a repeating timer is rescheduled when it
// fires). One dispatch pass runs what was due when it began; tasks posted by those tasks
// wait for the next pass, so a task that keeps reposting itself cannot hang a pass.
//
// Post() is safe from any thread; everything else belongs to the test's thread. Dispatch
// is re-entrant: a task may itself wait (as a request does inside WaitReply).
class TVirtualMessageLoop : public TMessageLoop {
public:
    TVirtualMessageLoop() = default;
    TVirtualMessageLoop(const TVirtualMessageLoop&) = delete;
    TVirtualMessageLoop& operator=(const TVirtualMessageLoop&) = delete;

    bool Post(TTask task) override;
    TTimerId PostDelayed(std::uint32_t delayMs, TTask task) override;
    // An interval of 0 is taken as 1 ms, so a repeating timer always moves the clock.
    TTimerId StartTimer(std::uint32_t intervalMs, TTask onTick) override;
    void StopTimer(TTimerId id) override;
    void DispatchPending() override;
    // Dispatches what is due now; else moves the clock to the earlier of the next timer and
    // the deadline and dispatches what is due then. Throws std::logic_error when nothing is
    // pending, no timer exists and there is no deadline: a real loop would block for ever.
    bool WaitAndDispatch(std::int32_t timeoutMs = -1) override;
    std::uint32_t TickCount() const override;

    // Virtual milliseconds since construction.
    std::uint64_t Now() const;
    // Moves the clock forward by ms, running everything that falls due on the way at its
    // own due time, then what is due at the end.
    void AdvanceBy(std::uint64_t ms);
    // Dispatches until nothing is due at the current time (the clock does not move).
    void RunUntilIdle();
    // Posted tasks and timer expiries that are scheduled, due or not.
    std::size_t ScheduledCount() const;
    bool TimerActive(TTimerId id) const;
    // false: Post() refuses tasks (returns false, drops them), as a loop that is shutting down.
    void SetAcceptPosts(bool accept);

private:
    struct TEntry {
        TTimerId Id = 0;
        std::uint32_t Interval = 0;  // 0: runs once
        std::shared_ptr<TTask> Task;
    };
    using TKey = std::pair<std::uint64_t, std::uint64_t>;  // due time, scheduling order

    TTimerId Schedule(std::uint64_t due, std::uint32_t interval, std::shared_ptr<TTask> task);
    // Takes the first entry due at or before now and scheduled before limitSeq, re-arming a
    // repeating timer; false when there is none.
    bool TakeDue(std::uint64_t limitSeq, std::shared_ptr<TTask>& task);
    bool AnythingDueLocked() const;

    mutable std::mutex mutex_;
    std::uint64_t now_ = 0;
    std::uint64_t nextSeq_ = 1;
    TTimerId nextId_ = 1;
    bool acceptPosts_ = true;
    std::map<TKey, TEntry> queue_;
    std::unordered_map<TTimerId, TKey> byId_;
};
