#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <ranges>
#include <string>

// Whether two byte ranges hold the same bytes. A failure says how long each range is or how
// many bytes differ, and names the first few differing addresses with both values, counted
// from firstAddress (the address of the first byte compared), so a flash comparison points
// at the blocks that went wrong. The ranges may hold char or std::uint8_t.
template <std::ranges::random_access_range TExpected, std::ranges::random_access_range TActual>
::testing::AssertionResult SameBytes(const TExpected& expected, const TActual& actual,
                                     std::size_t firstAddress = 0) {
    const auto expectedSize = static_cast<std::size_t>(std::ranges::size(expected));
    const auto actualSize = static_cast<std::size_t>(std::ranges::size(actual));
    if (expectedSize != actualSize) {
        return ::testing::AssertionFailure() << "expected " << expectedSize << " bytes, got " << actualSize;
    }
    constexpr std::size_t kShown = 4;
    std::size_t differing = 0;
    std::string shown;
    auto e = std::ranges::begin(expected);
    auto a = std::ranges::begin(actual);
    for (std::size_t i = 0; i < expectedSize; ++i, ++e, ++a) {
        const auto want = static_cast<std::uint8_t>(*e);
        const auto got = static_cast<std::uint8_t>(*a);
        if (want == got) continue;
        if (differing++ < kShown) {
            char line[64];
            std::snprintf(line, sizeof line, "\n  at 0x%04zX: expected 0x%02X, got 0x%02X", firstAddress + i,
                          unsigned{want}, unsigned{got});
            shown += line;
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differing << " of " << expectedSize << " bytes differ" << shown
                                         << (differing > kShown ? "\n  ..." : "");
}
