#pragma once

#include <cstdint>
#include <vector>

#include "sim/SimEntryStep.h"

// What the simulated unit knows about one unit model.
struct TSimModelRow {
    std::uint16_t Model = 0;
    // Line speed of the running application and of the boot loader, 8N1.
    std::uint32_t ModbusSpeed = 9600;
    std::uint32_t BootSpeed = 115200;
    // Writes of the entry value that switch the application into the boot loader; any one
    // of them does. Empty for a model that has no such write: it starts in its boot loader.
    std::vector<TSimEntryStep> EntrySteps;
    // Whether the application holds the settings registers (17:24, 19:22..32, 20:7..28).
    bool HasSettings = false;
    // Version from which the application firmware lays its settings out anew: a restart
    // from an older version into this one or a later one clears them. 0: never.
    std::uint16_t SettingsResetFrom = 0;
};
