#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "sim/SimConfig.h"
#include "sim/SimModelRow.h"
#include "sim/SimStatistics.h"

// The running application of a unit: a Modbus RTU slave for the slave addresses it owns,
// with its holding registers. It answers read holding registers (3), write single
// register (6 and the units' own 103, same layout) and write multiple registers (the
// units' own 104, laid out as the standard write-multiple request).
class TSimApplication {
public:
    static constexpr std::uint16_t kBootEntryValue = 0x5A3E;
    static constexpr std::uint16_t kCommitValue = 0x6E19;
    static constexpr std::uint8_t kCommandSlave = 19;
    static constexpr std::uint16_t kCommandRegister = 29;

    // What one request did.
    struct TOutcome {
        std::vector<std::uint8_t> Reply;  // empty: no reply (broadcast)
        bool EnterBootLoader = false;
        bool Commit = false;
        std::string Note;  // what the request was, for the trace
    };

    TSimApplication(const TSimConfig& config, const TSimModelRow& row);

    bool Owns(std::uint8_t slave) const { return slaves_.count(slave) != 0; }

    // Acts on a request whose CRC is right and whose slave is owned or 0 (broadcast).
    TOutcome Handle(std::span<const std::uint8_t> request, TSimStatistics& stats);

    // The firmware comes back after a restart: the version register takes newVersion, and
    // with resetSettings every settings register reads 0.
    void Restart(std::uint16_t newVersion, bool resetSettings);

    std::optional<std::uint16_t> Register(std::uint8_t slave, std::uint16_t reg) const;
    std::uint16_t Version() const;

private:
    struct TRegister {
        std::uint16_t Value = 0;
        bool Writable = true;
        bool Setting = false;
    };
    static std::uint32_t Key(std::uint8_t slave, std::uint16_t reg) {
        return std::uint32_t{slave} << 16 | reg;
    }

    void AddRegister(std::uint8_t slave, std::uint16_t reg, TRegister value);
    TRegister* Find(std::uint8_t slave, std::uint16_t reg);
    bool IsEntryWrite(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                      std::uint16_t value) const;

    TOutcome Read(std::span<const std::uint8_t> request, TSimStatistics& stats);
    TOutcome WriteSingle(std::span<const std::uint8_t> request, TSimStatistics& stats);
    TOutcome WriteMultiple(std::span<const std::uint8_t> request, TSimStatistics& stats);
    // Exception reply: slave, function | 0x80, code.
    static TOutcome Exception(std::span<const std::uint8_t> request, std::uint8_t code, std::string note,
                              TSimStatistics& stats);

    std::vector<TSimEntryStep> entrySteps_;
    std::set<std::uint8_t> slaves_;
    std::map<std::uint32_t, TRegister> registers_;
};
