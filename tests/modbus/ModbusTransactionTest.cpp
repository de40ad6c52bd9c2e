#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/LumoComms.h"
#include "modbus/ModBusPro.h"
#include "support/ScriptedPeerFixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kTicks = 20;
constexpr std::uint16_t kUntouched = 0xBEEF;

// Appends the CRC, low byte first.
Bytes WithCrc(Bytes frame) {
    const std::uint16_t swapped = ModbusCrc16(frame.data(), 0, static_cast<std::uint16_t>(frame.size() - 1));
    frame.push_back(static_cast<std::uint8_t>(swapped >> 8));
    frame.push_back(static_cast<std::uint8_t>(swapped & 0xFF));
    return frame;
}

// A Modbus client on the virtual clock over an in-memory COM1, with a scripted slave that
// answers every request with the chunks it was given (each after its delay).
class ModbusTransaction : public ScriptedPeerFixture {
protected:
    void Answer(std::vector<TChunk> chunks) { answer = std::move(chunks); }
};

TEST_F(ModbusTransaction, IdentityReadSendsTheWorkedFrameAndDecodesTheReply) {
    Answer({{{0x13, 0x03, 0x04, 0x00, 0x01, 0x00, 0x6D, 0x58, 0x1F}}});
    std::array<std::uint16_t, 2> values{kUntouched, kUntouched};
    EXPECT_EQ(ModbusReadRegisters(*link, 19, 3, 20, 2, kTicks, values), 1);
    EXPECT_EQ(Written(), (Bytes{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D}));
    EXPECT_EQ(values[0], 1);
    EXPECT_EQ(values[1], 109);
    EXPECT_EQ(link->FindComplete(), -1) << "the condition list is detached afterwards";
}

TEST_F(ModbusTransaction, ReadOutcomesOtherThanAGoodReplyLeaveValuesAlone) {
    const Bytes good = {0x13, 0x03, 0x04, 0x00, 0x01, 0x00, 0x6D, 0x58, 0x1F};
    Bytes badCrc = good;
    badCrc[8] ^= 0x01;
    Bytes trailingZero = good;
    trailingZero.push_back(0x00);  // the CRC check alone would pass this one
    Bytes trailing = good;
    trailing.push_back(0x01);
    struct Row {
        const char* name;
        std::vector<TChunk> chunks;
        std::int32_t result;
    };
    const Row rows[] = {
        {"exception reply", {{{0x13, 0x83, 0x02, 0x60, 0xF4}}}, 2},
        {"CRC wrong", {{badCrc}}, -1},
        {"byte behind the reply in the same chunk", {{trailing}}, -1},
        {"zero byte behind the reply", {{trailingZero}}, -1},
        {"byte count above the length", {{WithCrc({0x13, 0x03, 0xF0, 0x00, 0x07, 0x00, 0x08})}}, -1},
        {"byte count below the length", {{WithCrc({0x13, 0x03, 0x02, 0x00, 0x09, 0x00, 0x0A})}}, -1},
        {"byte behind the reply before the wait ends", {{good}, {{0x55}, 10}}, -1},
        {"reply cut short", {{Bytes(good.begin(), good.end() - 1)}}, 0},
        {"another slave answers", {{{0x14, 0x03, 0x04, 0x00, 0x01, 0x00, 0x6D, 0x47, 0x3E}}}, 0},
        {"silence", {}, 0},
    };
    for (const Row& row : rows) {
        Answer(row.chunks);
        std::array<std::uint16_t, 2> values{kUntouched, kUntouched};
        EXPECT_EQ(ModbusReadRegisters(*link, 19, 3, 20, 2, kTicks, values), row.result) << row.name;
        EXPECT_EQ(values[0], kUntouched) << row.name;
        EXPECT_EQ(values[1], kUntouched) << row.name;
    }
}

TEST_F(ModbusTransaction, NoiseBeforeTheSlaveAddressIsSkippedAndAReplyMayComeInPieces) {
    const Bytes frame = WithCrc({0x13, 0x03, 0x04, 0x12, 0x34, 0xAB, 0xCD});
    // Noise, then the frame without its CRC, then the CRC after a reply-timer tick.
    Answer({{{0x00, 0xFF, 0x42}, 5},
            {Bytes(frame.begin(), frame.begin() + 7), 20},
            {Bytes(frame.begin() + 7, frame.end()), 150}});
    std::array<std::uint16_t, 2> values{};
    EXPECT_EQ(ModbusReadRegisters(*link, 19, 3, 20, 2, kTicks, values), 1);
    EXPECT_EQ(values[0], 0x1234);
    EXPECT_EQ(values[1], 0xABCD);
}

TEST_F(ModbusTransaction, BroadcastNeverCompletesAndTimesOutAfterTwentyOneTicks) {
    // Even a well-formed reply from slave 0 is not recognised: the start pattern is empty.
    Answer({{WithCrc({0x00, 0x67, 0x00, 0x18, 0x00, 0x01})}});
    const std::uint64_t start = loop.Now();
    EXPECT_EQ(ModbusWriteRegister(*link, 0, 103, 24, 1, kTicks), 0);
    EXPECT_EQ(loop.Now() - start, (kTicks + 1) * 100u);
    EXPECT_EQ(Written(), WithCrc({0x00, 0x67, 0x00, 0x18, 0x00, 0x01}));
}

TEST_F(ModbusTransaction, SingleWriteSendsTheWorkedFrameAndDoesNotCompareTheEcho) {
    struct Row {
        const char* name;
        Bytes reply;
        std::int32_t result;
    };
    const Row rows[] = {
        {"exact echo", {0x11, 0x67, 0x00, 0x18, 0x00, 0x01, 0x77, 0x55}, 1},
        {"other register and value, bad CRC", {0x11, 0x67, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00}, 1},
        {"exception", {0x11, 0xE7, 0x04, 0x00, 0x00}, 2},
        {"seven bytes only", {0x11, 0x67, 0x00, 0x18, 0x00, 0x01, 0x77}, 0},
    };
    for (const Row& row : rows) {
        const std::size_t before = Written().size();
        Answer({{row.reply}});
        EXPECT_EQ(ModbusWriteRegister(*link, 17, 103, 24, 1, kTicks), row.result) << row.name;
        const Bytes written = Written();
        EXPECT_EQ(Bytes(written.begin() + static_cast<std::ptrdiff_t>(before), written.end()),
                  (Bytes{0x11, 0x67, 0x00, 0x18, 0x00, 0x01, 0x77, 0x55}))
            << row.name;
    }
}

TEST_F(ModbusTransaction, MultipleWriteSendsTheWorkedFrameAndCompletesOnAnEightByteReply) {
    Answer({{{0x14, 0x68, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}}});
    const std::uint16_t values[] = {0x0102, 0x0304};
    EXPECT_EQ(ModbusWriteRegisters(*link, 20, 104, 7, 2, values, kTicks), 1);
    EXPECT_EQ(Written(),
              (Bytes{0x14, 0x68, 0x00, 0x07, 0x00, 0x02, 0x04, 0x01, 0x02, 0x03, 0x04, 0xD5, 0x8B}));
}

TEST_F(ModbusTransaction, MultipleWriteOfNoRegistersSendsNineBytes) {
    Answer({{WithCrc({0x14, 0x68, 0x00, 0x07, 0x00, 0x00})}});
    EXPECT_EQ(ModbusWriteRegisters(*link, 20, 104, 7, 0, {}, kTicks), 1);
    EXPECT_EQ(Written(), WithCrc({0x14, 0x68, 0x00, 0x07, 0x00, 0x00, 0x00}));
}

TEST_F(ModbusTransaction, RequestsThatCannotBeBuiltHonestlyFailWithoutSendingOrThrowing) {
    std::array<std::uint16_t, 200> values{};
    const auto start = loop.Now();
    EXPECT_EQ(ModbusReadRegisters(*link, 1, 3, 0, 128, kTicks, values), 0);
    EXPECT_EQ(ModbusWriteRegisters(*link, 1, 104, 0, 128, values, kTicks), 0);
    EXPECT_EQ(ModbusWriteRegisters(*link, 1, 104, 0, 3, std::span(values).first(2), kTicks), 0);
    EXPECT_EQ(loop.Now(), start);  // at once, without waiting out a timeout
    EXPECT_TRUE(Written().empty());
    EXPECT_EQ(link->FindComplete(), -1);
}

TEST_F(ModbusTransaction, ALongerReplyThanAskedForDecodesNoMoreThanTheCallersSpan) {
    // CRC-correct, three registers by its byte count; it completes the two-register read on
    // its ninth byte and the rest arrives in the same chunk.
    Answer({{WithCrc({0x13, 0x03, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03})}});
    std::array<std::uint16_t, 4> storage{kUntouched, kUntouched, kUntouched, kUntouched};
    EXPECT_EQ(ModbusReadRegisters(*link, 19, 3, 20, 2, kTicks, std::span(storage).first(2)), 1);
    EXPECT_EQ(storage, (std::array<std::uint16_t, 4>{0x0001, 0x0002, kUntouched, kUntouched}));
}

TEST_F(ModbusTransaction, LargestReadFitsTheReplyBufferOfTheLink) {
    Bytes reply = {0x05, 0x03, 2 * kModbusMaxRegisters};
    for (std::uint16_t i = 0; i < kModbusMaxRegisters; ++i) {
        reply.push_back(static_cast<std::uint8_t>(i));
        reply.push_back(static_cast<std::uint8_t>(0xFF - i));
    }
    Answer({{WithCrc(reply)}});
    std::vector<std::uint16_t> values(kModbusMaxRegisters, kUntouched);
    EXPECT_EQ(ModbusReadRegisters(*link, 5, 3, 0, kModbusMaxRegisters, kTicks, values), 1);
    for (std::uint16_t i = 0; i < kModbusMaxRegisters; ++i) ASSERT_EQ(values[i], (i << 8) | (0xFF - i)) << i;
}

TEST_F(ModbusTransaction, ClosingThePortDuringTheWaitEndsItWithMinusTwo) {
    loop.PostDelayed(700, [this] { link->Close(); });
    std::array<std::uint16_t, 2> values{kUntouched, kUntouched};
    EXPECT_EQ(ModbusReadRegisters(*link, 19, 3, 20, 2, kTicks, values), -2);
    EXPECT_EQ(values[0], kUntouched);
    EXPECT_EQ(loop.Now(), 700u);
}

TEST_F(ModbusTransaction, OnAClosedPortNothingIsSentAndTheLinkStateComesBackAtOnce) {
    link->Close();
    const std::uint64_t start = loop.Now();
    const std::int32_t state = link->LinkState();
    EXPECT_EQ(ModbusWriteRegister(*link, 17, 103, 24, 1, kTicks), state);
    EXPECT_EQ(loop.Now(), start);
    EXPECT_TRUE(Written().empty());
}

}  // namespace
