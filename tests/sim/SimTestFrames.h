#pragma once

// Frame helpers for the simulated unit's tests. The boot frames are built and taken
// apart here by hand, not with the unit's own code, so that a fault in the unit's
// stuffing or checksum cannot cancel out in a test.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "platform/LineSettings.h"
#include "sim/SimReply.h"
#include "sim/SimUnit.h"
#include "sim/SimWire.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

inline TLineSettings Line(std::uint32_t baud) {
    TLineSettings line;
    line.BaudRate = baud;
    return line;
}

// A Modbus request with its CRC (the unit's CRC is checked against published values in
// its own test).
inline Bytes WithCrc(Bytes frame) {
    TSimWire::AppendModbusCrc(frame);
    return frame;
}

inline Bytes ReadRequest(std::uint8_t slave, std::uint16_t reg, std::uint16_t count) {
    return WithCrc(
        {slave, 3, std::uint8_t(reg >> 8), std::uint8_t(reg), std::uint8_t(count >> 8), std::uint8_t(count)});
}

inline Bytes WriteRequest(std::uint8_t slave, std::uint8_t function, std::uint16_t reg, std::uint16_t value) {
    return WithCrc({slave, function, std::uint8_t(reg >> 8), std::uint8_t(reg), std::uint8_t(value >> 8),
                    std::uint8_t(value)});
}

inline Bytes WriteMultipleRequest(std::uint8_t slave, std::uint16_t reg,
                                  const std::vector<std::uint16_t>& values) {
    Bytes f{slave,
            104,
            std::uint8_t(reg >> 8),
            std::uint8_t(reg),
            0,
            std::uint8_t(values.size()),
            std::uint8_t(2 * values.size())};
    for (std::uint16_t v : values) {
        f.push_back(std::uint8_t(v >> 8));
        f.push_back(std::uint8_t(v));
    }
    return WithCrc(f);
}

// DLE STX, command, count, data, checksum, each 0x10 doubled, DLE ETX.
inline Bytes BootRequest(std::uint8_t command, std::uint8_t count, const Bytes& data = {}) {
    Bytes payload{command, count};
    payload.insert(payload.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : payload) sum += b;
    payload.push_back(std::uint8_t(0x100 - (sum & 0xFF)));
    Bytes frame{0x10, 0x02};
    for (std::uint8_t b : payload) {
        frame.push_back(b);
        if (b == 0x10) frame.push_back(0x10);
    }
    frame.push_back(0x10);
    frame.push_back(0x03);
    return frame;
}

inline Bytes EraseRequest(std::uint32_t address) {
    return BootRequest(0x03, 8, {std::uint8_t(address), std::uint8_t(address >> 8), 0});
}

inline Bytes WriteBlockRequest(std::uint32_t address, const Bytes& block) {
    Bytes data{std::uint8_t(address), std::uint8_t(address >> 8), 0};
    data.insert(data.end(), block.begin(), block.end());
    return BootRequest(0x02, 2, data);
}

inline Bytes ClearFlagRequest() {
    return BootRequest(0x05, 1, {0xFF, 0x03, 0x00, 0x00});
}
inline Bytes RestartRequest() {
    return BootRequest(0x00, 0);
}
inline Bytes ReadModelRequest() {
    return BootRequest(0x00, 2);
}
inline Bytes BootInfoRequest() {
    return BootRequest(0x08, 4);
}

// The payload of a boot reply frame (headers, data, checksum), or nothing when the
// frame is not exactly DLE STX, a properly stuffed payload, DLE ETX.
inline std::optional<Bytes> UnstuffReply(const Bytes& frame) {
    if (frame.size() < 4 || frame[0] != 0x10 || frame[1] != 0x02) return std::nullopt;
    Bytes payload;
    for (std::size_t i = 2; i < frame.size(); ++i) {
        if (frame[i] != 0x10) {
            payload.push_back(frame[i]);
            continue;
        }
        if (i + 1 >= frame.size()) return std::nullopt;
        if (frame[i + 1] == 0x10) {
            payload.push_back(0x10);
            ++i;
        } else if (frame[i + 1] == 0x03 && i + 2 == frame.size()) {
            return payload;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Feeds a whole request at once and collects the bytes of all replies it causes.
inline Bytes Exchange(TSimUnit& unit, const Bytes& request, std::uint64_t& nowUs, std::uint32_t baud) {
    nowUs += 100'000;  // well apart from the request before
    Bytes all;
    for (const TSimReply& r : unit.Receive(request, nowUs, Line(baud)))
        all.insert(all.end(), r.Bytes.begin(), r.Bytes.end());
    return all;
}

}  // namespace simtest
