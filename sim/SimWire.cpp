#include "sim/SimWire.h"

std::uint16_t TSimWire::ModbusCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = (crc & 1) != 0;
            crc >>= 1;
            if (carry) crc ^= 0xA001;
        }
    }
    return crc;
}

bool TSimWire::ModbusCrcMatches(std::span<const std::uint8_t> frame) {
    if (frame.size() < 3) return false;
    const std::size_t n = frame.size();
    const std::uint16_t crc = ModbusCrc(frame.first(n - 2));
    return frame[n - 2] == (crc & 0xFF) && frame[n - 1] == (crc >> 8);
}

void TSimWire::AppendModbusCrc(std::vector<std::uint8_t>& frame) {
    const std::uint16_t crc = ModbusCrc(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

std::uint8_t TSimWire::BootSum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

std::vector<std::uint8_t> TSimWire::StuffBootFrame(std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame;
    frame.reserve(payload.size() * 2 + 4);
    frame.push_back(kDle);
    frame.push_back(kStx);
    for (std::uint8_t b : payload) {
        frame.push_back(b);
        // A DLE inside the payload is doubled so that the receiver never takes it for
        // the start of DLE ETX.
        if (b == kDle) frame.push_back(kDle);
    }
    frame.push_back(kDle);
    frame.push_back(kEtx);
    return frame;
}
