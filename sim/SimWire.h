#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Byte-level rules of the two protocols a unit speaks, as the unit implements them:
// the Modbus RTU CRC, and the checksum and DLE stuffing of boot loader frames.
// Written for the simulated unit alone, so that it checks the updater instead of
// agreeing with it by construction.
class TSimWire {
public:
    static constexpr std::uint8_t kDle = 0x10;
    static constexpr std::uint8_t kStx = 0x02;
    static constexpr std::uint8_t kEtx = 0x03;

    // CRC-16 of Modbus RTU (preset 0xFFFF, reflected polynomial 0xA001, no final XOR),
    // as a plain value: the low byte goes on the wire first.
    static std::uint16_t ModbusCrc(std::span<const std::uint8_t> bytes);

    // True when the last two bytes are the CRC of the bytes before them, low byte first.
    static bool ModbusCrcMatches(std::span<const std::uint8_t> frame);

    // Appends the CRC of everything in frame, low byte first.
    static void AppendModbusCrc(std::vector<std::uint8_t>& frame);

    // The 8-bit sum of the bytes; a valid boot payload (checksum included) sums to 0.
    static std::uint8_t BootSum(std::span<const std::uint8_t> bytes);

    // A boot frame around payload: DLE STX, the payload with every 0x10 doubled, DLE ETX.
    static std::vector<std::uint8_t> StuffBootFrame(std::span<const std::uint8_t> payload);
};
