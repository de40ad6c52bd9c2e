#pragma once

#include <cstdint>

#include "platform/MessageLoop.h"

// Waits the given number of milliseconds while dispatching the user-interface thread's
// tasks, so received data, timers and operator input go on being handled. Lasts longer
// when a dispatched task takes longer than what was left. Zero or less returns at once.
void PumpDelay(TMessageLoop& loop, std::int32_t milliseconds);
