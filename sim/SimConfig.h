#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/SimFaultPlan.h"
#include "sim/SimMode.h"

// One holding register of the application, by slave address and register number.
struct TSimRegisterValue {
    std::uint8_t Slave = 0;
    std::uint16_t Register = 0;
    std::uint16_t Value = 0;
};

// Everything that makes one simulated unit. Unset optionals take their value from the
// model's row of the simulated unit's own model table.
struct TSimConfig {
    // Model number the boot loader reports, and the row that gives speeds and entry writes.
    std::uint16_t Model = 6181;
    // Model number the application reports at 19:20 when it differs (a product built on a
    // shared board reports its own number there).
    std::optional<std::uint16_t> ApplicationModel;

    // Application firmware version before and after a restart from the boot loader.
    std::uint16_t Version = 109;
    std::optional<std::uint16_t> NewVersion;

    // Identity answered to the boot info command.
    std::optional<std::uint16_t> BootLoaderModel;
    std::uint16_t BootLoaderVersion = 105;

    std::optional<TSimMode> InitialMode;
    std::optional<std::uint32_t> ModbusSpeed;
    std::optional<std::uint32_t> BootSpeed;

    // Last address of program memory; erase and write above it are refused.
    std::uint32_t PartEnd = 0xFFFF;
    // Flash content from address 0; the rest of the 64 KiB is erased (0xFF).
    std::vector<std::uint8_t> InitialFlash;

    // Start values of settings registers; the others hold (slave << 8) | register.
    std::vector<TSimRegisterValue> Settings;
    // Whether a restart into new firmware clears the settings registers; unset: as the
    // model's row says.
    std::optional<bool> ResetSettingsOnRestart;

    // Added to every reply's delay: the unit's own turnaround, the erase and write times,
    // and with EmulateWireTime the time request and reply take on the wire (10 bits a byte).
    std::uint32_t TurnaroundUs = 0;
    std::uint32_t EraseLatencyUs = 0;
    std::uint32_t WriteLatencyUs = 0;
    bool EmulateWireTime = false;

    // Silence that ends an incomplete Modbus request; 0: 3.5 character times
    // (1750 us above 19200 bit/s).
    std::uint32_t FrameGapUs = 0;

    TSimFaultPlan Faults;
};
