#pragma once

#include <cstdint>
#include <vector>

// Bytes the unit sends, and when: DueUs is on the clock of the time stamps the unit was
// fed with, DelayUs is DueUs less the time stamp of the bytes that caused the reply.
struct TSimReply {
    std::uint64_t DueUs = 0;
    std::uint64_t DelayUs = 0;
    std::vector<std::uint8_t> Bytes;
};
