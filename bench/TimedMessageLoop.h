#pragma once

#include <chrono>

#include "platform/MessageLoop.h"

// A message loop that forwards to another one and adds up the time spent in waits with a
// time limit. Requests wait without a limit (WaitReply); only the fixed delays of device
// preparation (PumpDelay) wait with one, so the sum is the time of those delays.
class TTimedMessageLoop : public TMessageLoop {
public:
    explicit TTimedMessageLoop(TMessageLoop& inner) : inner_(inner) {}

    bool Post(TTask task) override { return inner_.Post(std::move(task)); }
    TTimerId PostDelayed(std::uint32_t delayMs, TTask task) override {
        return inner_.PostDelayed(delayMs, std::move(task));
    }
    TTimerId StartTimer(std::uint32_t intervalMs, TTask onTick) override {
        return inner_.StartTimer(intervalMs, std::move(onTick));
    }
    void StopTimer(TTimerId id) override { inner_.StopTimer(id); }
    void DispatchPending() override { inner_.DispatchPending(); }
    bool WaitAndDispatch(std::int32_t timeoutMs = -1) override;
    std::uint32_t TickCount() const override { return inner_.TickCount(); }

    std::chrono::steady_clock::duration LimitedWaits() const { return limitedWaits_; }
    void ResetLimitedWaits() { limitedWaits_ = {}; }

private:
    TMessageLoop& inner_;
    std::chrono::steady_clock::duration limitedWaits_{};
    int depth_ = 0;
};
