#include <gtest/gtest.h>

#include <QCoreApplication>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/LumoComms.h"
#include "link/posix/PosixPortFactory.h"
#include "modbus/ModBusPro.h"
#include "platform/qt/QtMessageLoop.h"
#include "support/TestPortsDirectory.h"
#include "tests/modbus/LibmodbusSlave.h"
#include "tests/modbus/PtyBridge.h"

namespace {

constexpr int kSlave = 19;
constexpr int kRegisters = 64;
constexpr std::uint16_t kTicks = 20;

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "modbus_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return application;
}

// The client over the real port layer and receive thread, on the Qt message loop, wired
// by a pseudo-terminal cable to libmodbus serving slave 19.
class LibmodbusInterop : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kRegisters; ++i)
            peer.SetRegister(i, static_cast<std::uint16_t>(0x1000 + 0x0101 * i));
        ports.Link(1, cable.NearPath());
        link->CommPort = TComport::COM1;
        link->BaudRate = 9600;
        link->RxBufferSize = 500;
        ASSERT_TRUE(link->Open());
    }

    QCoreApplication& application = Application();
    TTestPortsDirectory ports;
    TPtyBridge cable;
    TLibmodbusSlave peer{cable.FarPath(), kSlave, kRegisters};
    TQtMessageLoop loop;
    std::unique_ptr<TLumoComms> link =
        std::make_unique<TLumoComms>(loop, std::make_shared<TPosixPortFactory>(ports.Path().string()));
};

TEST_F(LibmodbusInterop, ReadsHoldingRegisters) {
    peer.SetRegister(20, 1);
    peer.SetRegister(21, 109);
    std::array<std::uint16_t, 2> identity{};
    EXPECT_EQ(ModbusReadRegisters(*link, kSlave, 3, 20, 2, kTicks, identity), 1);
    EXPECT_EQ(identity, (std::array<std::uint16_t, 2>{1, 109}));

    // The longest read the updater makes, and the longest a request may ask for.
    for (std::uint16_t count : {std::uint16_t{22}, std::uint16_t{kRegisters}}) {
        std::vector<std::uint16_t> values(count);
        EXPECT_EQ(ModbusReadRegisters(*link, kSlave, 3, 0, count, kTicks, values), 1) << count;
        for (std::uint16_t i = 0; i < count; ++i) ASSERT_EQ(values[i], peer.Register(i)) << count << " " << i;
    }
}

TEST_F(LibmodbusInterop, WritesASingleRegisterAndSeveralRegisters) {
    EXPECT_EQ(ModbusWriteRegister(*link, kSlave, 6, 24, 0xA55A, kTicks), 1);
    EXPECT_EQ(peer.Register(24), 0xA55A);

    std::vector<std::uint16_t> settings(11);
    for (std::size_t i = 0; i < settings.size(); ++i)
        settings[i] = static_cast<std::uint16_t>(0xF00D + 3 * i);
    EXPECT_EQ(ModbusWriteRegisters(*link, kSlave, 16, 30, 11, settings, kTicks), 1);
    for (std::size_t i = 0; i < settings.size(); ++i)
        EXPECT_EQ(peer.Register(30 + static_cast<int>(i)), settings[i]) << i;

    // What was written reads back through the client.
    std::vector<std::uint16_t> back(12);
    EXPECT_EQ(ModbusReadRegisters(*link, kSlave, 3, 29, 12, kTicks, back), 1);
    EXPECT_EQ(back[0], peer.Register(29));
    EXPECT_EQ(std::vector<std::uint16_t>(back.begin() + 1, back.end()), settings);
}

TEST_F(LibmodbusInterop, ExceptionRepliesAndSilenceAreReported) {
    std::array<std::uint16_t, 4> values{7, 7, 7, 7};
    // Beyond the served block: libmodbus answers with an exception.
    EXPECT_EQ(ModbusReadRegisters(*link, kSlave, 3, kRegisters - 2, 4, kTicks, values), 2);
    EXPECT_EQ(ModbusWriteRegister(*link, kSlave, 6, kRegisters, 1, kTicks), 2);
    EXPECT_EQ(values, (std::array<std::uint16_t, 4>{7, 7, 7, 7}));
    // Another slave address: libmodbus stays silent (a short timeout keeps the test quick;
    // it still outlasts the peer's wait for the other slave's reply).
    EXPECT_EQ(ModbusReadRegisters(*link, kSlave + 1, 3, 0, 4, 2, values), 0);
    EXPECT_EQ(values, (std::array<std::uint16_t, 4>{7, 7, 7, 7}));
    // And the line still works afterwards.
    EXPECT_EQ(ModbusReadRegisters(*link, kSlave, 3, 0, 4, kTicks, values), 1);
    EXPECT_EQ(values[3], peer.Register(3));
}

}  // namespace
