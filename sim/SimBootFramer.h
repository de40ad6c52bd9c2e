#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Collects boot loader requests: DLE STX, a payload with every 0x10 doubled, DLE ETX.
// Bytes outside a frame are ignored; DLE STX inside a frame starts it afresh; a DLE
// followed by anything but DLE, STX or ETX spoils the frame.
class TSimBootFramer {
public:
    // One received byte; the unstuffed payload of the frame it ends, if any.
    std::optional<std::vector<std::uint8_t>> Feed(std::uint8_t byte);

    void Reset();

    // Frames dropped for a bad escape, an overlong payload or a restart by DLE STX.
    std::uint32_t Spoiled() const { return spoiled_; }

private:
    enum class TState : std::uint8_t { Idle, IdleDle, InFrame, InFrameDle };

    // Longer than any request; a payload that grows beyond it is noise.
    static constexpr std::size_t kMaxPayload = 300;

    TState state_ = TState::Idle;
    std::vector<std::uint8_t> payload_;
    std::uint32_t spoiled_ = 0;
};
