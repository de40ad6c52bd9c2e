#include "sim/SimBootFramer.h"

#include "sim/SimWire.h"

std::optional<std::vector<std::uint8_t>> TSimBootFramer::Feed(std::uint8_t byte) {
    switch (state_) {
        case TState::Idle:
            if (byte == TSimWire::kDle) state_ = TState::IdleDle;
            break;
        case TState::IdleDle:
            if (byte == TSimWire::kStx) {
                payload_.clear();
                state_ = TState::InFrame;
            } else if (byte != TSimWire::kDle) {
                state_ = TState::Idle;
            }
            break;
        case TState::InFrame:
            if (byte == TSimWire::kDle) {
                state_ = TState::InFrameDle;
            } else if (payload_.size() < kMaxPayload) {
                payload_.push_back(byte);
            } else {
                ++spoiled_;
                state_ = TState::Idle;
            }
            break;
        case TState::InFrameDle:
            if (byte == TSimWire::kDle) {
                payload_.push_back(byte);
                state_ = TState::InFrame;
            } else if (byte == TSimWire::kEtx) {
                state_ = TState::Idle;
                std::vector<std::uint8_t> done;
                done.swap(payload_);
                return done;
            } else if (byte == TSimWire::kStx) {
                ++spoiled_;
                payload_.clear();
                state_ = TState::InFrame;
            } else {
                ++spoiled_;
                state_ = TState::Idle;
            }
            break;
    }
    return std::nullopt;
}

void TSimBootFramer::Reset() {
    if (state_ == TState::InFrame || state_ == TState::InFrameDle) ++spoiled_;
    state_ = TState::Idle;
    payload_.clear();
}
