#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/PortFactory.h"
#include "platform/MessageLoop.h"

// How a receive thread hands received bytes to the loop's thread, the same on every
// platform: a copy of the n bytes in a block of its own (with a 0 after the last byte) goes
// to the handler in a task posted to the loop. The task is the block's only owner, so it is
// freed by whoever ends up with the task: the handler, or the loop when it drops the task or
// refuses it. The receive thread keeps no reference that it could release after the handler
// has taken the block on the other thread. n is at most 65535 (the length is 16 bits).
// True when the task was posted; false when there was no memory for the block or the loop
// refused the task.
bool PostChunk(TMessageLoop& loop, const std::shared_ptr<const TChunkHandler>& handler,
               const std::uint8_t* bytes, std::size_t n);
