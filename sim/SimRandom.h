#pragma once

#include <cstdint>

// A small seeded generator (splitmix64) whose sequence is the same on every platform
// and library, so a fault plan replays exactly.
class TSimRandom {
public:
    explicit TSimRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next();
    // True with the given probability; rates at or below 0 never, at or above 1 always.
    bool Chance(double rate);
    // Uniform in 0 .. bound - 1; bound must not be 0.
    std::uint32_t Below(std::uint32_t bound);

private:
    std::uint64_t state_;
};
