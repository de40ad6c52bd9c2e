#pragma once

#include <cstdint>
#include <functional>

// The user-interface thread's message loop, as the link, the upgrade sequencer
// and the waits that keep the program responsive see it.
//
// Everything but Post() is called on the user-interface thread. Posted tasks run
// in the order they were posted. A wait that "keeps dispatching" (WaitReply,
// PumpDelay) is a loop of WaitAndDispatch() followed by a test of its own flags.
// Whatever changes such flags from outside this loop's tasks and timers (a toolkit
// event, a dialog) posts a task as well, so the wait wakes and sees the change.
//
// The loops of this program (the Qt one, the Win32 one and the virtual clock of the
// tests) all keep this contract; the test support holds it as cases that each runs.
class TMessageLoop {
public:
    using TTask = std::function<void()>;
    // 0 never names a timer.
    using TTimerId = std::uint64_t;

    virtual ~TMessageLoop() = default;

    // Queues a task for the user-interface thread. Safe from any thread.
    // Returns false when the loop accepts no more tasks; the task is then dropped.
    virtual bool Post(TTask task) = 0;

    // Runs task once, no earlier than delayMs from now.
    virtual TTimerId PostDelayed(std::uint32_t delayMs, TTask task) = 0;

    // Starts a repeating timer; the first tick comes intervalMs after the call.
    virtual TTimerId StartTimer(std::uint32_t intervalMs, TTask onTick) = 0;

    // Stops a repeating timer or cancels a delayed task. Unknown or finished ids are ignored.
    virtual void StopTimer(TTimerId id) = 0;

    // Runs every task that is pending now (posted tasks and due timers), then returns.
    virtual void DispatchPending() = 0;

    // Blocks until a task is pending or a timer is due, or until timeoutMs has passed,
    // and dispatches what is pending. timeoutMs < 0 waits without a limit.
    // Returns true as soon as one of this loop's tasks or timers has run, false only once
    // timeoutMs has passed without one. Whatever else the wait dispatches meanwhile (the
    // toolkit's own events, messages of other windows) does not end it early.
    virtual bool WaitAndDispatch(std::int32_t timeoutMs = -1) = 0;

    // Milliseconds since an arbitrary start; wraps at 2^32.
    virtual std::uint32_t TickCount() const = 0;
};
