#pragma once

#include <cstdint>
#include <optional>
#include <set>

// Misbehaviour the simulated unit shows on request. Exchanges are the valid requests
// the unit takes as its own (right line speed, CRC or checksum correct, addressed to one
// of its slaves or broadcast), numbered from 1 across both modes. The random faults are
// drawn from a generator seeded with Seed, so the same requests meet the same faults.
struct TSimFaultPlan {
    std::uint64_t Seed = 1;

    // Probability (0 to 1) that a reply has one byte corrupted, is dropped, is delayed
    // by DelayUs, or is preceded by NoiseBytes random bytes.
    double CorruptRate = 0;
    double DropRate = 0;
    double DelayRate = 0;
    double NoiseRate = 0;

    // The same faults at given exchanges.
    std::set<std::uint32_t> CorruptAt;
    std::set<std::uint32_t> DropAt;
    std::set<std::uint32_t> DelayAt;
    std::set<std::uint32_t> NoiseAt;
    // The unit ignores these exchanges altogether: no action, no reply.
    std::set<std::uint32_t> FailAt;

    std::uint32_t DelayUs = 500000;
    std::uint32_t NoiseBytes = 3;

    // The boot loader answers the model request with this model instead of its own.
    std::optional<std::uint16_t> ReportModel;

    // At this exchange the unit drops the line instead of acting (0: never). The model
    // only records it; whoever serves the line closes it.
    std::uint32_t HangUpAt = 0;
    // At this boot loader write command (numbered from 1) the unit loses power before
    // programming: no reply, the flash stays as it was, and it comes back in its boot
    // loader (0: never).
    std::uint32_t PowerLossAtWrite = 0;
};
