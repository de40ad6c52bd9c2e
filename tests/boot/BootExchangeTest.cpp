#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "boot/BootFrame.h"
#include "link/LumoComms.h"
#include "support/ScriptedPeerFixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kTicks = 30;

// SendBootCommand on the virtual clock over an in-memory COM1; every request is answered
// with the chunks the test gives.
using BootExchange = ScriptedPeerFixture;

TEST_F(BootExchange, ModelNumberRequestGoesOutAsTheWorkedFrameAndTakesTheReplyData) {
    answer = {{{0x10, 0x02, 0x00, 0x02, 0x17, 0x25, 0xC2, 0x10, 0x03}}};
    std::array<std::uint8_t, 2> reply{};
    EXPECT_EQ(SendBootCommand(*link, 0x00, 2, nullptr, 0, kTicks, reply.data()), 1);
    EXPECT_EQ(Written(), (Bytes{0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03}));
    EXPECT_EQ(reply, (std::array<std::uint8_t, 2>{0x17, 0x25}));
    EXPECT_EQ(link->FindComplete(), -1) << "the condition list is detached afterwards";
}

TEST_F(BootExchange, RepliesOnTheWire) {
    const Bytes good = {0x10, 0x02, 0x00, 0x02, 0x17, 0x25, 0xC2, 0x10, 0x03};
    struct Row {
        const char* name;
        std::vector<TChunk> chunks;
        std::int32_t result;
        Bytes reply;  // expected content of the 2-byte reply buffer, 0xAA where untouched
        std::uint32_t elapsedMs;
    };
    Bytes trailing = good;
    trailing.push_back(0x00);
    const Row rows[] = {
        {"in pieces across ticks",
         {{{0x10}, 10}, {{0x02, 0x00, 0x02, 0x17}, 120}, {{0x25, 0xC2, 0x10, 0x03}, 250}},
         1,
         {0x17, 0x25},
         250},
        {"noise before DLE STX", {{{0x55, 0x02, 0x03, 0xFF}, 5}, {good, 20}}, 1, {0x17, 0x25}, 20},
        {"stuffed data and checksum, data byte 03 behind a doubled DLE",
         {{{0x10, 0x02, 0x00, 0x00, 0x10, 0x10, 0x03, 0xED, 0x10, 0x03}}},
         1,
         {0x10, 0x03},
         10},
        {"stuffed checksum", {{{0x10, 0x02, 0x00, 0x00, 0xF0, 0x10, 0x10, 0x10, 0x03}}}, 1, {0xF0, 0x00}, 10},
        {"DLE STX DLE ETX only", {{{0x10, 0x02, 0x10, 0x03}}}, 1, {0x00, 0x00}, 10},
        {"bad checksum", {{{0x10, 0x02, 0x00, 0x02, 0x17, 0x25, 0xC3, 0x10, 0x03}}}, -1, {0xAA, 0xAA}, 10},
        {"byte behind ETX in the same chunk", {{trailing}}, -1, {0xAA, 0xAA}, 10},
        {"byte behind ETX before the wait ends", {{good, 10}, {{0x01}, 10}}, -1, {0xAA, 0xAA}, 10},
        {"stray DLE right before DLE STX", {{{0x10}, 5}, {good, 20}}, 0, {0xAA, 0xAA}, 3100},
        {"silence", {}, 0, {0xAA, 0xAA}, 3100},
    };
    for (const Row& row : rows) {
        answer = row.chunks;
        std::array<std::uint8_t, 2> reply{0xAA, 0xAA};
        const std::uint64_t start = loop.Now();
        EXPECT_EQ(SendBootCommand(*link, 0x00, 2, nullptr, 0, kTicks, reply.data()), row.result) << row.name;
        EXPECT_EQ(Bytes(reply.begin(), reply.end()), row.reply) << row.name;
        EXPECT_EQ(loop.Now() - start, row.elapsedMs) << row.name;
        loop.AdvanceBy(1000);  // let late chunks of this row arrive before the next request
    }
}

TEST_F(BootExchange, ReplyLongerThanTheCopyLimitIsInvalid) {
    // A valid frame whose payload needs more than 200 bytes on the wire.
    Bytes payload(230, 0x01);
    payload.push_back(static_cast<std::uint8_t>(-230));
    Bytes frame = payload;
    frame.insert(frame.begin(), {0x10, 0x02});
    frame.push_back(0x10);
    frame.push_back(0x03);
    answer = {{frame}};
    std::array<std::uint8_t, 4> reply{0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(SendBootCommand(*link, 0x08, 4, nullptr, 0, kTicks, reply.data()), -1);
    EXPECT_EQ(reply, (std::array<std::uint8_t, 4>{0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST_F(BootExchange, ClosingTheLinkDuringTheWaitGivesMinusTwo) {
    loop.PostDelayed(400, [this] { link->Close(); });
    std::array<std::uint8_t, 2> reply{0xAA, 0xAA};
    EXPECT_EQ(SendBootCommand(*link, 0x00, 2, nullptr, 0, kTicks, reply.data()), -2);
    EXPECT_EQ(loop.Now(), 400u);
    EXPECT_EQ(reply, (std::array<std::uint8_t, 2>{0xAA, 0xAA}));
}

TEST_F(BootExchange, ClosedLinkSendsNothingAndReturnsItsStateAtOnce) {
    link->Close();
    const std::int32_t state = link->LinkState();
    EXPECT_EQ(SendBootCommand(*link, 0x05, 1, nullptr, 0, kTicks, nullptr), state);
    EXPECT_TRUE(Written().empty());
}

}  // namespace
