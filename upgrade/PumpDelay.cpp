#include "upgrade/PumpDelay.h"

void PumpDelay(TMessageLoop& loop, std::int32_t milliseconds) {
    if (milliseconds <= 0) return;
    const std::uint32_t deadline = loop.TickCount() + static_cast<std::uint32_t>(milliseconds);
    std::int32_t remaining = milliseconds;
    while (remaining > 0) {
        if (!loop.WaitAndDispatch(remaining)) break;  // the time limit passed
        // The tick clock wraps; the signed difference stays right across the wrap.
        remaining = static_cast<std::int32_t>(deadline - loop.TickCount());
    }
}
