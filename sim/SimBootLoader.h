#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/SimConfig.h"
#include "sim/SimStatistics.h"

// The resident boot loader of a unit: identity, erase and write of program memory,
// the boot flag and restart. It owns the unit's 64 KiB of flash.
//
// Request payloads (checksum verified by the caller): command, count, data, checksum.
// Every command must come with exactly its count and data; anything else is ignored.
// Replies carry two header bytes (the command and a status 0), the reply data and a
// checksum that brings the 8-bit sum of the payload to 0.
class TSimBootLoader {
public:
    static constexpr std::size_t kFlashSize = 0x10000;
    static constexpr std::uint32_t kApplicationStart = 2048;
    static constexpr std::uint32_t kEraseSize = 512;
    static constexpr std::uint32_t kWriteSize = 128;

    enum class TKind : std::uint8_t { ReadModel, ReadInfo, Erase, Write, ClearFlag, Restart, Malformed };

    struct TRequest {
        TKind Kind = TKind::Malformed;
        std::uint32_t Address = 0;
        std::span<const std::uint8_t> Data;  // the 128 bytes of a write
        std::string Note;
    };

    struct TOutcome {
        bool Replies = false;
        std::vector<std::uint8_t> Reply;  // the complete frame on the wire
        bool Refused = false;
        std::string Note;
    };

    explicit TSimBootLoader(const TSimConfig& config);

    // Classifies a payload; the request refers to the payload's bytes.
    static TRequest Parse(std::span<const std::uint8_t> payload);

    // Carries out a request. Restart only answers; what follows it is the unit's business.
    TOutcome Execute(const TRequest& request, TSimStatistics& stats);

    bool BootFlag() const { return bootFlag_; }
    void SetBootFlag(bool set) { bootFlag_ = set; }

    const std::vector<std::uint8_t>& Flash() const { return flash_; }

private:
    TOutcome Answer(std::uint8_t command, std::vector<std::uint8_t> data, std::string note) const;

    std::vector<std::uint8_t> flash_;
    std::uint32_t partEnd_;
    std::uint16_t model_;
    std::uint16_t infoModel_;
    std::uint16_t infoVersion_;
    bool bootFlag_ = false;
};
