#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "modbus/ModBusPro.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The CRC as it goes on the wire: low byte first.
Bytes WireCrc(const Bytes& data) {
    const std::uint16_t swapped = ModbusCrc16(data.data(), 0, static_cast<std::uint16_t>(data.size() - 1));
    return {static_cast<std::uint8_t>(swapped >> 8), static_cast<std::uint8_t>(swapped & 0xFF)};
}

TEST(ModbusCrc16, CheckValueOfTheStandardStringComesBackWithItsBytesExchanged) {
    const std::string text = "123456789";
    const Bytes data(text.begin(), text.end());
    // CRC-16/MODBUS check value 0x4B37; the low byte 0x37 is returned in the high half.
    EXPECT_EQ(ModbusCrc16(data.data(), 0, 8), 0x374B);
}

TEST(ModbusCrc16, CoversExactlyTheInclusiveRange) {
    const std::string text = "xx123456789yy";
    const Bytes data(text.begin(), text.end());
    EXPECT_EQ(ModbusCrc16(data.data(), 2, 10), 0x374B);
    EXPECT_NE(ModbusCrc16(data.data(), 2, 11), 0x374B);
    EXPECT_NE(ModbusCrc16(data.data(), 1, 10), 0x374B);
}

TEST(ModbusCrc16, EmptyRangeReadsNothingAndGivesThePreset) {
    EXPECT_EQ(ModbusCrc16(nullptr, 1, 0), 0xFFFF);
    EXPECT_EQ(ModbusCrc16(nullptr, 0xFFFF, 0), 0xFFFF);
}

TEST(ModbusCrc16, AFrameFollowedByItsCrcLowByteFirstLeavesZero) {
    // The residue of CRC-16/MODBUS over a message and its own CRC is zero: an independent
    // check that the returned byte order is the wire order.
    const std::vector<Bytes> messages = {
        {0x13, 0x03, 0x00, 0x14, 0x00, 0x02},
        {0x13, 0x03, 0x04, 0x00, 0x01, 0x00, 0x6D},
        {0x00},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    };
    for (Bytes m : messages) {
        const Bytes crc = WireCrc(m);
        m.insert(m.end(), crc.begin(), crc.end());
        EXPECT_EQ(ModbusCrc16(m.data(), 0, static_cast<std::uint16_t>(m.size() - 1)), 0) << m.size();
    }
}

TEST(ModbusFrames, FunctionCodeIsCopiedUnchangedAndFieldsGoHighByteFirst) {
    const Bytes frame = ModbusWriteRegisterFrame(0xF7, 6, 0xA1B2, 0xC3D4);
    ASSERT_EQ(frame.size(), 8u);
    EXPECT_EQ(frame[0], 0xF7);
    EXPECT_EQ(frame[1], 6);
    EXPECT_EQ(frame[2], 0xA1);
    EXPECT_EQ(frame[3], 0xB2);
    EXPECT_EQ(frame[4], 0xC3);
    EXPECT_EQ(frame[5], 0xD4);
    EXPECT_EQ(Bytes(frame.begin() + 6, frame.end()), WireCrc(Bytes(frame.begin(), frame.begin() + 6)));
}

TEST(ModbusFrames, WriteTakesExactlyCountValuesFromALongerSpan) {
    const std::uint16_t values[] = {0x1111, 0x2222, 0x3333};
    const Bytes frame = ModbusWriteRegistersFrame(1, 104, 0, 2, values);
    ASSERT_EQ(frame.size(), 13u);
    EXPECT_EQ(frame[6], 4);
    EXPECT_EQ(frame[9], 0x22);
    EXPECT_EQ(frame[10], 0x22);
}

TEST(ModbusFrames, LargestCountStillCarriesAnHonestByteCount) {
    std::vector<std::uint16_t> values(kModbusMaxRegisters);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::uint16_t>(0x0100 * i + i);
    const Bytes frame = ModbusWriteRegistersFrame(1, 104, 0, kModbusMaxRegisters, values);
    ASSERT_EQ(frame.size(), 9u + 2u * kModbusMaxRegisters);
    EXPECT_EQ(frame[6], 2 * kModbusMaxRegisters);
    EXPECT_EQ(frame[7 + 2 * 126], 126);
    EXPECT_EQ(frame[8 + 2 * 126], 126);
    EXPECT_EQ(ModbusCrc16(frame.data(), 0, static_cast<std::uint16_t>(frame.size() - 1)), 0);
}

}  // namespace
