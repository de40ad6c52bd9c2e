#pragma once

// The contract of TMessageLoop (platform/MessageLoop.h) as cases that hold for every loop:
// the virtual clock, Qt and Win32. Each case takes a fresh loop and a check that records a
// failure; the GoogleTest suite (tests/platform/MessageLoopConformanceTest.cpp) runs them
// as a typed suite, the Win32 harness (tests/wine/Win32LoopConformance.cpp) under Wine.
//
// The cases wait only with a time limit (a real loop would block for ever on a wait
// without one and nothing to run) and assert no durations: on a real clock those are
// goals for a benchmark. Nothing here needs GoogleTest or a toolkit.

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/MessageLoop.h"

namespace loopcontract {

class TCheck {
public:
    virtual ~TCheck() = default;
    virtual void Fail(const char* what, const char* file, int line) = 0;
};

#define LOOP_CONTRACT_CHECK(check, holds) ((holds) ? (void)0 : (check).Fail(#holds, __FILE__, __LINE__))

// Waits, with a limit of a second per wait, until done() holds; false when a wait reached
// its limit first.
template <typename TDone>
bool DispatchUntil(TMessageLoop& loop, TDone done) {
    for (int i = 0; i < 100 && !done(); ++i)
        if (!loop.WaitAndDispatch(1000)) return done();
    return done();
}

// Posted tasks run in the order they were posted, each once, on the next dispatch.
inline void PostedTasksRunOnceInPostingOrder(TMessageLoop& loop, TCheck& check) {
    std::vector<int> seen;
    for (int i = 1; i <= 3; ++i) LOOP_CONTRACT_CHECK(check, loop.Post([&seen, i] { seen.push_back(i); }));
    loop.DispatchPending();
    LOOP_CONTRACT_CHECK(check, (seen == std::vector<int>{1, 2, 3}));
    loop.DispatchPending();
    LOOP_CONTRACT_CHECK(check, seen.size() == 3u);
}

// A task posted from another thread runs on the loop's own thread.
inline void APostFromAnotherThreadRunsOnTheLoopsThread(TMessageLoop& loop, TCheck& check) {
    std::thread::id ranOn;
    bool posted = false;
    std::thread poster([&] { posted = loop.Post([&ranOn] { ranOn = std::this_thread::get_id(); }); });
    poster.join();
    LOOP_CONTRACT_CHECK(check, posted);
    LOOP_CONTRACT_CHECK(check, DispatchUntil(loop, [&] { return ranOn != std::thread::id(); }));
    LOOP_CONTRACT_CHECK(check, ranOn == std::this_thread::get_id());
}

// WaitAndDispatch: true as soon as one of the loop's tasks ran, whatever the limit.
inline void AWaitThatRanATaskIsTrue(TMessageLoop& loop, TCheck& check) {
    bool ran = false;
    loop.Post([&ran] { ran = true; });
    LOOP_CONTRACT_CHECK(check, loop.WaitAndDispatch(1000));
    LOOP_CONTRACT_CHECK(check, ran);
    ran = false;
    loop.Post([&ran] { ran = true; });
    LOOP_CONTRACT_CHECK(check, loop.WaitAndDispatch(0));
    LOOP_CONTRACT_CHECK(check, ran);
}

// WaitAndDispatch: false only once the limit passed with nothing of the loop's to run.
inline void AWaitWithNothingToRunIsFalseAtItsLimit(TMessageLoop& loop, TCheck& check) {
    LOOP_CONTRACT_CHECK(check, !loop.WaitAndDispatch(0));
    const std::uint32_t start = loop.TickCount();
    LOOP_CONTRACT_CHECK(check, !loop.WaitAndDispatch(50));
    LOOP_CONTRACT_CHECK(check, loop.TickCount() != start);  // the clock moved on
}

// A delayed task runs once, by a wait that then reports it; the id names it, not 0.
inline void ADelayedTaskRunsOnce(TMessageLoop& loop, TCheck& check) {
    int runs = 0;
    const TMessageLoop::TTimerId id = loop.PostDelayed(20, [&runs] { ++runs; });
    LOOP_CONTRACT_CHECK(check, id != 0);
    LOOP_CONTRACT_CHECK(check, DispatchUntil(loop, [&] { return runs > 0; }));
    LOOP_CONTRACT_CHECK(check, !loop.WaitAndDispatch(60));
    LOOP_CONTRACT_CHECK(check, runs == 1);
    loop.StopTimer(id);  // a finished id is ignored
}

// A repeating timer ticks until it is stopped, and not after.
inline void ARepeatingTimerTicksUntilStopped(TMessageLoop& loop, TCheck& check) {
    int ticks = 0;
    const TMessageLoop::TTimerId id = loop.StartTimer(10, [&ticks] { ++ticks; });
    LOOP_CONTRACT_CHECK(check, id != 0);
    LOOP_CONTRACT_CHECK(check, DispatchUntil(loop, [&] { return ticks >= 3; }));
    loop.StopTimer(id);
    const int stoppedAt = ticks;
    LOOP_CONTRACT_CHECK(check, !loop.WaitAndDispatch(60));
    LOOP_CONTRACT_CHECK(check, ticks == stoppedAt);
}

// A delayed task cancelled before it is due never runs; unknown ids are ignored.
inline void ACancelledDelayedTaskNeverRuns(TMessageLoop& loop, TCheck& check) {
    bool ran = false;
    const TMessageLoop::TTimerId id = loop.PostDelayed(10, [&ran] { ran = true; });
    loop.StopTimer(id);
    loop.StopTimer(0);
    loop.StopTimer(id + 1000);
    LOOP_CONTRACT_CHECK(check, !loop.WaitAndDispatch(60));
    LOOP_CONTRACT_CHECK(check, !ran);
}

// Two timers of different intervals both run, each on its own timer.
inline void TimersRunSideBySide(TMessageLoop& loop, TCheck& check) {
    int fast = 0, slow = 0;
    const TMessageLoop::TTimerId a = loop.StartTimer(10, [&fast] { ++fast; });
    const TMessageLoop::TTimerId b = loop.StartTimer(30, [&slow] { ++slow; });
    LOOP_CONTRACT_CHECK(check, a != b);
    LOOP_CONTRACT_CHECK(check, DispatchUntil(loop, [&] { return slow >= 2; }));
    LOOP_CONTRACT_CHECK(check, fast >= slow);
    loop.StopTimer(a);
    loop.StopTimer(b);
}

// A task may itself wait, as a request does inside WaitReply: the inner wait runs what was
// posted meanwhile and reports it.
inline void ATaskMayWaitItself(TMessageLoop& loop, TCheck& check) {
    bool inner = false, innerWaitRan = false, outerDone = false;
    loop.Post([&] {
        loop.Post([&inner] { inner = true; });
        innerWaitRan = loop.WaitAndDispatch(1000);
        outerDone = true;
    });
    LOOP_CONTRACT_CHECK(check, DispatchUntil(loop, [&] { return outerDone; }));
    LOOP_CONTRACT_CHECK(check, innerWaitRan);
    LOOP_CONTRACT_CHECK(check, inner);
}

// Every case, for a harness to run one by one: X(name) for each.
#define LOOP_CONTRACT_CASES(X)                    \
    X(PostedTasksRunOnceInPostingOrder)           \
    X(APostFromAnotherThreadRunsOnTheLoopsThread) \
    X(AWaitThatRanATaskIsTrue)                    \
    X(AWaitWithNothingToRunIsFalseAtItsLimit)     \
    X(ADelayedTaskRunsOnce)                       \
    X(ARepeatingTimerTicksUntilStopped)           \
    X(ACancelledDelayedTaskNeverRuns)             \
    X(TimersRunSideBySide)                        \
    X(ATaskMayWaitItself)

}  // namespace loopcontract
