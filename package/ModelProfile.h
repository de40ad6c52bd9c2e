#pragma once

#include <cstdint>
#include <vector>

#include "package/BootEntryStep.h"

// Model number that the boot loader of several products reports instead of their own.
inline constexpr std::uint16_t SharedBoardModel = 6140;

// Written by every boot-entry step; a running unit takes it as the order to restart into its
// boot loader.
inline constexpr std::uint16_t BootModeEntryValue = 0x5A3E;

// What depends on the model the boot loader reports: line speeds (bit/s, 8 data bits, no parity,
// one stop bit) of the running application and of the boot loader, and the writes that switch
// a running unit into its boot loader, in the order they are made.
struct ModelProfile {
    std::uint32_t ModbusSpeed = 9600;
    std::uint32_t BootSpeed = 115200;
    std::vector<TBootEntryStep> BootEntryRecipe;
};

// The profile of an expected model; a model the table does not list gets the default row:
// 9600 and 115200 bit/s, no boot-entry writes.
ModelProfile ProfileFor(std::uint16_t expectedModel);
