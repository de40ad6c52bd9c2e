#include <gtest/gtest.h>

#include "sim/SimUnit.h"
#include "tests/sim/SimTestFrames.h"

using simtest::Bytes;
using simtest::Exchange;

namespace {

TSimConfig Unit6155(std::uint16_t version = 109) {
    TSimConfig c;
    c.Model = 6155;
    c.Version = version;
    return c;
}

}  // namespace

TEST(SimUnitModbus, AnswersTheIdentityReadOfTheWorkedExample) {
    TSimConfig c;
    c.Model = 6181;
    c.ApplicationModel = 1;
    c.Version = 109;
    TSimUnit unit(c);
    std::uint64_t now = 0;
    EXPECT_EQ(Exchange(unit, {0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D}, now, 9600),
              (Bytes{0x13, 0x03, 0x04, 0x00, 0x01, 0x00, 0x6D, 0x58, 0x1F}));
    EXPECT_EQ(unit.Statistics().ModbusReads, 1u);
}

TEST(SimUnitModbus, ExceptionRepliesForWhatTheUnitDoesNotHave) {
    TSimUnit unit(TSimConfig{});  // 6181: no settings registers
    std::uint64_t now = 0;
    struct Case {
        const char* name;
        Bytes request;
        std::uint8_t function;
        std::uint8_t code;
    };
    const Case cases[] = {
        {"unknown register", simtest::ReadRequest(19, 22, 1), 0x83, 2},
        {"range running past the last", simtest::ReadRequest(19, 20, 3), 0x83, 2},
        {"settings of a model without them", simtest::ReadRequest(20, 7, 22), 0x83, 2},
        {"read of zero registers", simtest::ReadRequest(19, 20, 0), 0x83, 3},
        {"write to the model register", simtest::WriteRequest(19, 103, 20, 1), 0xE7, 2},
        {"standard write multiple", simtest::WithCrc({19, 16, 0, 29, 0, 1, 2, 0, 0}), 0x90, 1},
        {"write multiple, byte count wrong", simtest::WithCrc({19, 104, 0, 29, 0, 2, 2, 0, 0}), 0xE8, 3},
    };
    for (const Case& c : cases) {
        const Bytes reply = Exchange(unit, c.request, now, 9600);
        ASSERT_EQ(reply.size(), 5u) << c.name;
        EXPECT_EQ(reply[0], c.request[0]) << c.name;
        EXPECT_EQ(reply[1], c.function) << c.name;
        EXPECT_EQ(reply[2], c.code) << c.name;
        EXPECT_TRUE(TSimWire::ModbusCrcMatches(reply)) << c.name;
    }
    EXPECT_EQ(unit.Statistics().ModbusExceptions, std::size(cases));
}

TEST(SimUnitModbus, SilentOnRequestsThatAreNotValidAndItsOwn) {
    TSimUnit unit(TSimConfig{});
    std::uint64_t now = 0;
    Bytes badCrc{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7E};
    EXPECT_TRUE(Exchange(unit, badCrc, now, 9600).empty());
    EXPECT_EQ(unit.Statistics().ModbusBadCrc, 1u);

    EXPECT_TRUE(Exchange(unit, simtest::ReadRequest(21, 20, 2), now, 9600).empty());
    EXPECT_EQ(unit.Statistics().ModbusOtherSlave, 1u);

    // Wrong speed, and a right speed with another frame format.
    EXPECT_TRUE(Exchange(unit, simtest::ReadRequest(19, 20, 2), now, 19200).empty());
    EXPECT_TRUE(Exchange(unit, simtest::ReadRequest(19, 20, 2), now, 115200).empty());
    TLineSettings even = simtest::Line(9600);
    even.Parity = TParity::Even;
    now += 100000;
    EXPECT_TRUE(unit.Receive(simtest::ReadRequest(19, 20, 2), now, even).empty());
    EXPECT_EQ(unit.Statistics().WrongLineBytes, 24u);
    EXPECT_EQ(unit.Statistics().Exchanges, 0u);

    // Within a UART's tolerance the request is taken.
    EXPECT_EQ(Exchange(unit, simtest::ReadRequest(19, 20, 2), now, 9700).size(), 9u);
}

TEST(SimUnitModbus, BytesAtTheWrongSpeedSpoilARequestInProgress) {
    TSimUnit unit(TSimConfig{});
    const Bytes read = simtest::ReadRequest(19, 20, 2);
    EXPECT_TRUE(unit.Receive(Bytes(read.begin(), read.begin() + 4), 1000, simtest::Line(9600)).empty());
    EXPECT_TRUE(unit.Receive(Bytes{0x00}, 1100, simtest::Line(38400)).empty());
    EXPECT_TRUE(unit.Receive(Bytes(read.begin() + 4, read.end()), 1200, simtest::Line(9600)).empty());
    EXPECT_EQ(unit.Statistics().ModbusIncomplete, 1u);
}

TEST(SimUnitModbus, WritesAreEchoedAndStored) {
    TSimUnit unit(Unit6155());
    std::uint64_t now = 0;
    // The worked example of a write: 11 67 00 18 00 01 77 55, echoed as it came.
    const Bytes single{0x11, 0x67, 0x00, 0x18, 0x00, 0x01, 0x77, 0x55};
    EXPECT_EQ(Exchange(unit, single, now, 9600), single);
    EXPECT_EQ(unit.Register(17, 24), 1);

    const Bytes multiple{0x14, 0x68, 0x00, 0x07, 0x00, 0x02, 0x04, 0x01, 0x02, 0x03, 0x04, 0xD5, 0x8B};
    const Bytes echo = Exchange(unit, multiple, now, 9600);
    EXPECT_EQ(echo, simtest::WithCrc({0x14, 0x68, 0x00, 0x07, 0x00, 0x02}));
    EXPECT_EQ(unit.Register(20, 7), 0x0102);
    EXPECT_EQ(unit.Register(20, 8), 0x0304);
    EXPECT_EQ(unit.Register(20, 9), (20 << 8) | 9);

    // Function 6 writes the same registers.
    EXPECT_EQ(Exchange(unit, simtest::WriteRequest(19, 6, 25, 0xBEEF), now, 9600).size(), 8u);
    EXPECT_EQ(unit.Register(19, 25), 0xBEEF);

    // A block reaching past the settings is refused as a whole.
    std::vector<std::uint16_t> values(11, 0x7777);
    EXPECT_EQ(Exchange(unit, simtest::WriteMultipleRequest(19, 23, values), now, 9600).size(), 5u);
    EXPECT_EQ(unit.Register(19, 23), (19 << 8) | 23);
}

TEST(SimUnitModbus, SettingsReadsOfTheCarryOverAreAnswered) {
    TSimConfig c = Unit6155();
    c.Settings = {{20, 28, 0x1234}, {17, 24, 0x0042}};
    TSimUnit unit(c);
    std::uint64_t now = 0;
    struct Case {
        std::uint8_t slave;
        std::uint16_t reg;
        std::uint16_t count;
    };
    for (const Case& k : {Case{17, 24, 1}, Case{19, 22, 11}, Case{20, 7, 22}}) {
        const Bytes reply = Exchange(unit, simtest::ReadRequest(k.slave, k.reg, k.count), now, 9600);
        ASSERT_EQ(reply.size(), 5u + 2 * k.count);
        EXPECT_TRUE(TSimWire::ModbusCrcMatches(reply));
        EXPECT_EQ(reply[2], 2 * k.count);
        for (std::uint16_t i = 0; i < k.count; ++i) {
            const std::uint16_t value = std::uint16_t(reply[3 + 2 * i] << 8 | reply[4 + 2 * i]);
            EXPECT_EQ(value, unit.Register(k.slave, k.reg + i));
        }
    }
    EXPECT_EQ(unit.Register(20, 28), 0x1234);
    EXPECT_EQ(unit.Register(17, 24), 0x0042);
    EXPECT_EQ(unit.Register(19, 30), (19 << 8) | 30);
}

TEST(SimUnitModbus, CommitIsCountedAndBroadcastsAreNeverAnswered) {
    TSimUnit unit(Unit6155());
    std::uint64_t now = 0;
    EXPECT_EQ(Exchange(unit, simtest::WriteRequest(19, 103, 29, 0x6E19), now, 9600).size(), 8u);
    EXPECT_EQ(unit.Statistics().Commits, 1u);
    // A block write carrying the value is restoring settings, not a command.
    std::vector<std::uint16_t> values(11, 0x6E19);
    EXPECT_EQ(Exchange(unit, simtest::WriteMultipleRequest(19, 22, values), now, 9600).size(), 8u);
    EXPECT_EQ(unit.Statistics().Commits, 1u);

    EXPECT_TRUE(Exchange(unit, simtest::WriteRequest(0, 6, 24, 0x099), now, 9600).empty());
    EXPECT_EQ(unit.Register(17, 24), 0x0099);
    EXPECT_TRUE(Exchange(unit, simtest::ReadRequest(0, 20, 1), now, 9600).empty());
    EXPECT_TRUE(Exchange(unit, simtest::WriteRequest(0, 103, 20, 1), now, 9600).empty());
    EXPECT_EQ(unit.Statistics().ModbusBroadcasts, 2u);
    EXPECT_EQ(unit.Mode(), TSimMode::Application);
}

TEST(SimUnitModbus, RequestSplitAcrossChunksIsAnswered) {
    TSimUnit unit(TSimConfig{});
    const Bytes read = simtest::ReadRequest(19, 20, 2);
    std::vector<TSimReply> replies;
    for (std::size_t i = 0; i < read.size(); ++i) {
        auto r = unit.Receive(Bytes{read[i]}, 1000 + i * 1000, simtest::Line(9600));
        replies.insert(replies.end(), r.begin(), r.end());
    }
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].Bytes.size(), 9u);
}

TEST(SimUnitModbus, ReplyDelayFollowsTurnaroundAndWireTime) {
    TSimConfig c;
    c.TurnaroundUs = 2000;
    c.EmulateWireTime = true;
    TSimUnit unit(c);
    const auto replies = unit.Receive(simtest::ReadRequest(19, 20, 2), 5'000'000, simtest::Line(9600));
    ASSERT_EQ(replies.size(), 1u);
    // 8 request bytes and 9 reply bytes of 10 bits at 9600 bit/s.
    EXPECT_EQ(replies[0].DelayUs, 2000u + 17u * 10u * 1'000'000u / 9600u);
    EXPECT_EQ(replies[0].DueUs, 5'000'000u + replies[0].DelayUs);
}
