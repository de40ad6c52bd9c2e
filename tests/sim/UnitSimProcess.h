#pragma once

// What the tests that start unitsim as a child process (a TChildProcess whose standard output
// carries the ready line) share: patience, its pseudo-terminal and its flash dump.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/PtyIo.h"

namespace simtest {

// Generous bound for a process to answer or end; it only keeps a broken run from hanging.
constexpr int kPatienceMs = 10000;

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace simtest
