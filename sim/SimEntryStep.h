#pragma once

#include <cstdint>

// One Modbus single-register write that switches a running unit into its boot loader
// when it carries the entry value: the function code, slave address and register the
// write must use.
struct TSimEntryStep {
    std::uint8_t Function = 0;
    std::uint8_t Slave = 0;
    std::uint16_t Register = 0;
};
