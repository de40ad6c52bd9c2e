#include <gtest/gtest.h>

#include <string>

#include "sim/SimWire.h"
#include "tests/sim/SimTestFrames.h"

using simtest::Bytes;

// Published CRC-16/MODBUS check value and the CRCs of the request and reply examples
// the updater is specified with.
TEST(SimWire, ModbusCrcMatchesPublishedValues) {
    const std::string check = "123456789";
    EXPECT_EQ(TSimWire::ModbusCrc(Bytes(check.begin(), check.end())), 0x4B37);
    EXPECT_EQ(TSimWire::ModbusCrc(Bytes{}), 0xFFFF);

    struct Case {
        Bytes frame;  // including the CRC, low byte first
    };
    const Case cases[] = {
        {{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D}},
        {{0x13, 0x03, 0x04, 0x00, 0x01, 0x00, 0x6D, 0x58, 0x1F}},
        {{0x13, 0x83, 0x02, 0x60, 0xF4}},
        {{0x11, 0x67, 0x00, 0x18, 0x00, 0x01, 0x77, 0x55}},
        {{0x14, 0x68, 0x00, 0x07, 0x00, 0x02, 0x04, 0x01, 0x02, 0x03, 0x04, 0xD5, 0x8B}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(TSimWire::ModbusCrcMatches(c.frame));
        Bytes body(c.frame.begin(), c.frame.end() - 2);
        TSimWire::AppendModbusCrc(body);
        EXPECT_EQ(body, c.frame);
        Bytes swapped = c.frame;
        std::swap(swapped[swapped.size() - 1], swapped[swapped.size() - 2]);
        EXPECT_FALSE(TSimWire::ModbusCrcMatches(swapped));
    }
    EXPECT_FALSE(TSimWire::ModbusCrcMatches(Bytes{0xFF, 0xFF}));
}

TEST(SimWire, BootFrameDoublesEveryDle) {
    struct Case {
        Bytes payload;
        Bytes wire;
    };
    const Case cases[] = {
        {{0x00, 0x02, 0xFE}, {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03}},
        {{0x10, 0x00, 0xF0}, {0x10, 0x02, 0x10, 0x10, 0x00, 0xF0, 0x10, 0x03}},
        {{0x00, 0x00, 0x18, 0x10, 0xD8}, {0x10, 0x02, 0x00, 0x00, 0x18, 0x10, 0x10, 0xD8, 0x10, 0x03}},
        {{0x10, 0x10}, {0x10, 0x02, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03}},
        {{}, {0x10, 0x02, 0x10, 0x03}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TSimWire::StuffBootFrame(c.payload), c.wire);
        EXPECT_EQ(simtest::UnstuffReply(c.wire), c.payload);
    }
    EXPECT_EQ(TSimWire::BootSum(Bytes{0x00, 0x02, 0xFE}), 0);
    EXPECT_EQ(TSimWire::BootSum(Bytes{0x80, 0x80, 0x01}), 1);
}
