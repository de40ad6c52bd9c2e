#include "sim/SimRandom.h"

std::uint64_t TSimRandom::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

bool TSimRandom::Chance(double rate) {
    // Always draws, so that the sequence does not depend on the rates in use.
    const double u = static_cast<double>(Next() >> 11) * 0x1.0p-53;
    return u < rate;
}

std::uint32_t TSimRandom::Below(std::uint32_t bound) {
    return static_cast<std::uint32_t>(Next() % bound);
}
