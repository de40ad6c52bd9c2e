#pragma once

#include <cstdint>

// One product of the title table: its package model number, the title the application shows
// (the version is appended to it) and the model number its boot loader reports.
struct TTitleRow {
    std::uint16_t PackageModel;
    const char* Title;
    std::uint16_t ExpectedModel;
};
