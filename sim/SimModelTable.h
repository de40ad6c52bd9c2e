#pragma once

#include <cstdint>

#include "sim/SimModelRow.h"

// The unit models the simulated unit can be.
class TSimModelTable {
public:
    // The row of model; a model without a row of its own gets the default row (standard
    // speeds, no entry write) with its model number filled in.
    static TSimModelRow Find(std::uint16_t model);
    // Whether model has a row of its own.
    static bool Known(std::uint16_t model);
};
