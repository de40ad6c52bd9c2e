#include "sim/SimModbusFramer.h"

#include "sim/SimWire.h"

std::size_t TSimModbusFramer::ExpectedLength() const {
    if (buffer_.size() < 2) return 0;
    switch (buffer_[1]) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 103:
            return 8;
        case 15:
        case 16:
        case 104:
            return buffer_.size() < 7 ? 0 : 9 + std::size_t{buffer_[6]};
        default:
            return 0;
    }
}

std::optional<std::vector<std::uint8_t>> TSimModbusFramer::Feed(std::uint8_t byte, std::uint64_t nowUs) {
    if (!buffer_.empty() && nowUs > lastByteUs_ && nowUs - lastByteUs_ > gapUs_) {
        ++incomplete_;
        buffer_.clear();
    }
    lastByteUs_ = nowUs;
    buffer_.push_back(byte);

    bool complete = false;
    if (const std::size_t expected = ExpectedLength(); expected != 0) {
        complete = buffer_.size() == expected;
    } else if (buffer_.size() >= 2) {
        const std::uint8_t function = buffer_[1];
        const bool knownLayout = function == 15 || function == 16 || function == 104;
        complete = !knownLayout && buffer_.size() >= 4 && TSimWire::ModbusCrcMatches(buffer_);
    }
    if (complete) {
        std::vector<std::uint8_t> request;
        request.swap(buffer_);
        return request;
    }
    if (buffer_.size() >= kMaxRequest) {
        ++incomplete_;
        buffer_.clear();
    }
    return std::nullopt;
}

void TSimModbusFramer::Reset() {
    if (!buffer_.empty()) ++incomplete_;
    buffer_.clear();
}
