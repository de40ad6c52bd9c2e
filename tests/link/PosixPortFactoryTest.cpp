#include "link/PosixPortFactory.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <vector>

#include "link/CommsError.h"
#include "platform/PseudoTerminal.h"
#include "tests/link/ThreadedTestLoop.h"
#include "tests/support/TestPortsDirectory.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

std::size_t Entries(const char* directory) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory),
                                                  std::filesystem::directory_iterator()));
}

class PosixPortFactoryTest : public testing::Test {
protected:
    void SetUp() override {
        pty_.HoldSlaveOpen();
        ports_.Link(3, pty_.SlavePath());
        ports_.Link(12, pty_.SlavePath());
        ports_.Link(5, (ports_.Path() / "unplugged").string());
        ports_.Link(4, ports_.WriteFile("firmware.bin", "\x01\x02\x03"));
    }

    // Starts a receiver collecting into received_.
    std::unique_ptr<TReceiver> Receive(TSerialDevice& device) {
        return factory_.StartReceiver(device, loop_, [this](std::unique_ptr<std::uint8_t[]> block, std::uint16_t n) {
            received_.insert(received_.end(), block.get(), block.get() + n);
        });
    }

    // Sends bytes from the unit's side and dispatches until they have arrived.
    bool Exchange(const TBytes& bytes) {
        const std::size_t before = received_.size();
        if (::write(pty_.MasterFd(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            return false;
        return loop_.DispatchUntil([&] { return received_.size() >= before + bytes.size(); }) &&
               TBytes(received_.begin() + static_cast<std::ptrdiff_t>(before), received_.end()) == bytes;
    }

    TTestPortsDirectory ports_;
    TPseudoTerminal pty_;
    TPosixPortFactory factory_{"/unused-base"};
    TThreadedTestLoop loop_;
    TBytes received_;
};

TEST_F(PosixPortFactoryTest, OpensThePortThroughItsEntryAndReceives) {
    for (const char* name : {"COM3", "\\\\.\\COM12"}) {
        SCOPED_TRACE(name);
        auto device = factory_.OpenDevice(name);
        ASSERT_TRUE(device);
        device->ApplyLineSettings({115200, 8, TStopBits::sb1, TParity::None});
        EXPECT_EQ(pty_.CurrentLineSettings().BaudRate, 115200u);
        auto receiver = Receive(*device);
        ASSERT_TRUE(receiver);
        EXPECT_TRUE(Exchange({0x10, 0x02, 0x0D, 0x0A, 0x10, 0x03}));
    }
}

TEST_F(PosixPortFactoryTest, MissingPortIsAFailedOpenWithoutException) {
    std::unique_ptr<TSerialDevice> device;
    EXPECT_NO_THROW(device = factory_.OpenDevice("COM5"));
    EXPECT_FALSE(device);
    EXPECT_NO_THROW(device = factory_.OpenDevice("COM0"));
    EXPECT_FALSE(device);
    // And another port opens at once afterwards.
    EXPECT_TRUE(factory_.OpenDevice("COM3"));
}

TEST_F(PosixPortFactoryTest, PortInUseIsAFailedOpen) {
    auto first = factory_.OpenDevice("COM3");
    ASSERT_TRUE(first);
    // The same device under another name is the same port.
    EXPECT_FALSE(factory_.OpenDevice("\\\\.\\COM12"));
    EXPECT_FALSE(factory_.OpenDevice("COM3"));
}

TEST_F(PosixPortFactoryTest, RegularFileIsNotACommHandle) {
    const std::size_t descriptors = Entries("/proc/self/fd");
    try {
        factory_.OpenDevice("COM4");
        ADD_FAILURE() << "no exception";
    } catch (const ECommsError& error) {
        EXPECT_STREQ(error.what(), "File Handle is not a Comm Handle.");
    }
    EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
}

TEST_F(PosixPortFactoryTest, RepeatedOpenAndCloseLeaksNothing) {
    // One cycle first, so that lazily made process state does not count as a leak.
    {
        auto device = factory_.OpenDevice("COM3");
        ASSERT_TRUE(device);
        auto receiver = Receive(*device);
        ASSERT_TRUE(receiver);
    }
    const std::size_t descriptors = Entries("/proc/self/fd");
    const std::size_t threads = Entries("/proc/self/task");

    for (int cycle = 0; cycle < 200; ++cycle) {
        SCOPED_TRACE(cycle);
        auto device = factory_.OpenDevice("COM3");
        ASSERT_TRUE(device);
        device->ApplyLineSettings({cycle % 2 ? 9600u : 92160u, 8, TStopBits::sb1, TParity::None});
        auto receiver = Receive(*device);
        ASSERT_TRUE(receiver);
        if (cycle % 20 == 0) {
            ASSERT_TRUE(Exchange({static_cast<std::uint8_t>(cycle), 0x00, 0xFF}));
        }
        // The receiver goes first: it polls the device's descriptor.
        receiver.reset();
        device.reset();
    }
    EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
    EXPECT_EQ(Entries("/proc/self/task"), threads);
}

}  // namespace
