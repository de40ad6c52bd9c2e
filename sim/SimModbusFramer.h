#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Cuts Modbus RTU requests out of the received byte stream. A request is complete when
// it reaches the length its function code implies (8 bytes for the single-register and
// read functions, 9 + byte count for the multiple-write functions); for a function of
// unknown layout, when its last two bytes are the CRC of the rest. Silence longer than
// the gap drops an incomplete request, as a unit's receiver does after 3.5 character
// times, so a stray byte never shifts the following requests.
class TSimModbusFramer {
public:
    void SetGapUs(std::uint32_t gapUs) { gapUs_ = gapUs; }

    // One byte received at nowUs; the complete request it finishes, if any. The CRC is
    // not checked here.
    std::optional<std::vector<std::uint8_t>> Feed(std::uint8_t byte, std::uint64_t nowUs);

    // Drops whatever has been collected (a line error, a change of mode).
    void Reset();

    // Incomplete requests dropped so far.
    std::uint32_t Incomplete() const { return incomplete_; }

private:
    // The request length implied by what has arrived, 0 while it cannot be told.
    std::size_t ExpectedLength() const;

    static constexpr std::size_t kMaxRequest = 264;  // 9 + a byte count of 255

    std::vector<std::uint8_t> buffer_;
    std::uint64_t lastByteUs_ = 0;
    std::uint32_t gapUs_ = 4000;
    std::uint32_t incomplete_ = 0;
};
