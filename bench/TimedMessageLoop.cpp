#include "bench/TimedMessageLoop.h"

bool TTimedMessageLoop::WaitAndDispatch(std::int32_t timeoutMs) {
    if (timeoutMs <= 0) return inner_.WaitAndDispatch(timeoutMs);
    // A limited wait can dispatch a task that waits again: only the outermost one counts.
    const auto start = std::chrono::steady_clock::now();
    ++depth_;
    const bool dispatched = inner_.WaitAndDispatch(timeoutMs);
    --depth_;
    if (depth_ == 0) limitedWaits_ += std::chrono::steady_clock::now() - start;
    return dispatched;
}
