#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "boot/BootFrame.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(BootChecksum, IsTheEightBitSumOfTheInclusiveRange) {
    const Bytes bytes = {0x80, 0x90, 0x01, 0x7F, 0x10};
    EXPECT_EQ(BootChecksum(bytes.data(), 0, 4), 0xA0);
    EXPECT_EQ(BootChecksum(bytes.data(), 1, 3), 0x10);
    EXPECT_EQ(BootChecksum(bytes.data(), 2, 2), 0x01);
    EXPECT_EQ(BootChecksum(bytes.data(), 3, 2), 0);
    EXPECT_EQ(BootChecksum(nullptr, 0, -1), 0);
}

TEST(BootFrame, RequestsAreFramedAndEveryDleIsDoubled) {
    struct Row {
        const char* name;
        std::uint8_t command;
        std::uint8_t count;
        Bytes data;
        Bytes expected;
    };
    const Row rows[] = {
        {"model number request", 0x00, 0x02, {}, {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03}},
        {"restart, checksum zero", 0x00, 0x00, {}, {0x10, 0x02, 0x00, 0x00, 0x00, 0x10, 0x03}},
        {"count 0x10", 0x00, 0x10, {}, {0x10, 0x02, 0x00, 0x10, 0x10, 0xF0, 0x10, 0x03}},
        {"command 0x10", 0x10, 0x00, {}, {0x10, 0x02, 0x10, 0x10, 0x00, 0xF0, 0x10, 0x03}},
        {"data 0x10", 0x02, 0x02, {0x10, 0x03}, {0x10, 0x02, 0x02, 0x02, 0x10, 0x10, 0x03, 0xE9, 0x10, 0x03}},
        {"checksum 0x10",
         0x02,
         0x02,
         {0x00, 0x08, 0x00, 0xE4},
         {0x10, 0x02, 0x02, 0x02, 0x00, 0x08, 0x00, 0xE4, 0x10, 0x10, 0x10, 0x03}},
        {"clear boot flag",
         0x05,
         0x01,
         {0xFF, 0x03, 0x00, 0x00},
         {0x10, 0x02, 0x05, 0x01, 0xFF, 0x03, 0x00, 0x00, 0xF8, 0x10, 0x03}},
    };
    for (const Row& row : rows) {
        const Bytes frame = BuildBootFrame(row.command, row.count, row.data.data(),
                                           static_cast<std::uint8_t>(row.data.size()));
        EXPECT_EQ(frame, row.expected) << row.name;
    }
}

TEST(BootFrame, WriteOfAllDleDataDoublesEveryByteButTheChecksum) {
    const Bytes data(131, 0x10);
    const Bytes frame = BuildBootFrame(0x10, 0x10, data.data(), 131);
    // 133 doubled bytes, the checksum 0xB0 (133 x 0x10 = 0x50), DLE STX and DLE ETX.
    ASSERT_EQ(frame.size(), 4u + 2u * 133u + 1u);
    for (std::size_t i = 2; i < 2 + 2 * 133; ++i) ASSERT_EQ(frame[i], 0x10) << i;
    EXPECT_EQ(frame[2 + 2 * 133], 0xB0);
}

TEST(BootFrame, DecodingAFrameGivesBackItsPayloadForRandomPayloadsRichInDle) {
    // A request frame has the same shape as a reply (two leading bytes, data, checksum), so
    // building and then decoding must round-trip; DLE and ETX bytes are drawn often.
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> pick(0, 5);
    std::uniform_int_distribution<int> any(0, 255);
    std::uniform_int_distribution<int> length(0, 131);
    auto next = [&]() -> std::uint8_t {
        const int p = pick(rng);
        return p == 0 ? 0x10 : p == 1 ? 0x03 : p == 2 ? 0x02 : static_cast<std::uint8_t>(any(rng));
    };
    for (int round = 0; round < 500; ++round) {
        Bytes data(static_cast<std::size_t>(length(rng)));
        for (auto& b : data) b = next();
        const std::uint8_t command = next();
        const std::uint8_t count = static_cast<std::uint8_t>(data.size());
        const Bytes frame = BuildBootFrame(command, count, data.data(), count);

        std::size_t dles = (command == 0x10) + (count == 0x10);
        for (auto b : data) dles += (b == 0x10);
        const std::uint8_t checksum =
            static_cast<std::uint8_t>(-(command + count + BootChecksum(data.data(), 0, count - 1)));
        dles += (checksum == 0x10);
        ASSERT_EQ(frame.size(), 4u + 3u + data.size() + dles) << round;

        Bytes out(count, 0xAA);
        ASSERT_EQ(DecodeBootReply(frame.data(), frame.size(), count, out.data()), 1) << round;
        EXPECT_EQ(out, data) << round;
    }
}

TEST(BootReply, DecodesDataAfterTheHeadersAndZeroFillsWhatTheReplyDoesNotCarry) {
    struct Row {
        const char* name;
        Bytes frame;
        std::uint8_t count;
        Bytes expected;
    };
    const Row rows[] = {
        {"two data bytes", {0x10, 0x02, 0x00, 0x02, 0x17, 0x25, 0xC2, 0x10, 0x03}, 2, {0x17, 0x25}},
        {"one of two carried", {0x10, 0x02, 0x00, 0x02, 0x07, 0xF7, 0x10, 0x03}, 2, {0x07, 0x00}},
        {"stuffed data byte", {0x10, 0x02, 0x00, 0x00, 0x10, 0x10, 0xF0, 0x10, 0x03}, 1, {0x10}},
        {"stuffed checksum", {0x10, 0x02, 0x00, 0x00, 0xF0, 0x10, 0x10, 0x10, 0x03}, 1, {0xF0}},
        {"data byte 03 behind a stuffed DLE",
         {0x10, 0x02, 0x00, 0x00, 0x10, 0x10, 0x03, 0xED, 0x10, 0x03},
         2,
         {0x10, 0x03}},
        {"empty frame", {0x10, 0x02, 0x10, 0x03}, 4, {0, 0, 0, 0}},
        {"headers only", {0x10, 0x02, 0x01, 0xFF, 0x10, 0x03}, 2, {0, 0}},
        {"more data than asked",
         {0x10, 0x02, 0x00, 0x00, 0x01, 0x02, 0x03, 0xFA, 0x10, 0x03},
         2,
         {0x01, 0x02}},
    };
    for (const Row& row : rows) {
        Bytes out(row.count, 0xAA);
        EXPECT_EQ(DecodeBootReply(row.frame.data(), row.frame.size(), row.count, out.data()), 1) << row.name;
        EXPECT_EQ(out, row.expected) << row.name;
    }
}

TEST(BootReply, InvalidFramesLeaveTheReplyUntouched) {
    struct Row {
        const char* name;
        Bytes frame;
    };
    const Row rows[] = {
        {"checksum off by one", {0x10, 0x02, 0x00, 0x02, 0x17, 0x25, 0xC3, 0x10, 0x03}},
        {"byte behind ETX", {0x10, 0x02, 0x00, 0x02, 0x17, 0x25, 0xC2, 0x10, 0x03, 0x00}},
        {"second frame behind", {0x10, 0x02, 0x10, 0x03, 0x10, 0x02, 0x10, 0x03}},
        {"ends in a lone DLE", {0x10, 0x02, 0x00, 0x00, 0x10}},
        {"unescaped ETX last", {0x10, 0x02, 0x00, 0x00, 0x10, 0x10, 0x03}},
        {"frame behind that balances the sum", {0x10, 0x02, 0x10, 0x03, 0xFD, 0x10, 0x03}},
        {"DLE before a data byte", {0x10, 0x02, 0x00, 0x00, 0x10, 0x05, 0xFB, 0x10, 0x03}},
        {"no STX", {0x10, 0x05, 0x00, 0x00, 0x10, 0x03}},
        {"nothing", {}},
    };
    for (const Row& row : rows) {
        Bytes out(2, 0xAA);
        EXPECT_EQ(DecodeBootReply(row.frame.data(), row.frame.size(), 2, out.data()), -1) << row.name;
        EXPECT_EQ(out, Bytes(2, 0xAA)) << row.name;
    }
}

TEST(BootReply, NeverLooksBeyondTheCopiedBytes) {
    // The byte after the copied length would turn the trailing DLE into a valid DLE ETX.
    const Bytes buffer = {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03};
    Bytes out(2, 0xAA);
    EXPECT_EQ(DecodeBootReply(buffer.data(), buffer.size() - 1, 2, out.data()), -1);
    EXPECT_EQ(out, Bytes(2, 0xAA));
    EXPECT_EQ(DecodeBootReply(buffer.data(), buffer.size(), 2, out.data()), 1);
}

}  // namespace
