#pragma once

#include <cstdint>
#include <span>
#include <string>

// A named block of bytes built into the program.
struct TResourceBlock {
    const char* Name;
    std::span<const std::uint8_t> Data;
};

// Every package resource the build carries: "HFile" (the program image), "PROC_NUM", "VX_NUM"
// and "FW_VER" (two bytes each, little-endian). Defined by the source file the build generates
// from its package settings.
std::span<const TResourceBlock> PackageResources();

// The bytes of the named resource (names match exactly, letter case included).
// Throws EResourceError "Resource <name> not found".
std::span<const std::uint8_t> FindResource(const std::string& name);
