#pragma once

#include <cstdint>

// One Modbus single-register write of the boot-mode entry value: function code 6 (the
// standard write-single-register) or 103 (the units' own code with the same frame layout).
struct TBootEntryStep {
    std::uint8_t FunctionCode;
    std::uint8_t Slave;
    std::uint16_t Register;

    bool operator==(const TBootEntryStep&) const = default;
};
