#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The program's version record: the texts and flags the about box shows. The build makes
// it from the project's version and configure options; a string the record lacks is empty
// here (std::nullopt), which is not the same as an empty text.
struct TVersionInfo {
    // The pre-release bit of FileFlags and FileFlagsMask.
    static constexpr std::uint32_t kPrerelease = 0x2;

    // False when the program carries no record at all.
    bool Present = false;
    std::optional<std::string> FileDescription;
    // "major.minor.patch.build"
    std::optional<std::string> FileVersion;
    std::optional<std::string> LegalCopyright;
    std::uint32_t FileFlags = 0;
    std::uint32_t FileFlagsMask = 0;
};

// The record this build embedded (generated at configure time).
TVersionInfo ReadVersionInfo();
