#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// Fails the fuzz input: both libFuzzer and the corpus runner take an abort as a finding.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Takes parameters from the front of a fuzz input; what is left is data. Reading past the
// end yields zeros, so every input is usable.
class TFuzzInput {
public:
    TFuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }
    bool Flag() { return (Byte() & 1) != 0; }
    // A value in low .. high, both included.
    int Between(int low, int high) {
        const std::uint32_t span = static_cast<std::uint32_t>(high - low) + 1;
        return low + static_cast<int>(Word() % span);
    }
    std::vector<std::uint8_t> Bytes(std::size_t n) {
        const std::size_t take = std::min(n, size_ - pos_);
        std::vector<std::uint8_t> out(data_ + pos_, data_ + pos_ + take);
        pos_ += take;
        return out;
    }
    std::vector<std::uint8_t> Rest() { return Bytes(size_ - pos_); }
    std::size_t Remaining() const { return size_ - pos_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};
