#pragma once

// unitsim started as a child process for a test, its ready line and its pseudo-terminal.

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

// unitsim as a child process; its standard output carries the ready line.
class TUnitSimProcess : public TChildProcess {
public:
    explicit TUnitSimProcess(std::vector<std::string> args) : TChildProcess("unitsim", std::move(args)) {}
};

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace simtest
