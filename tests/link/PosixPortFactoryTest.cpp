#include "link/posix/PosixPortFactory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "link/CommsError.h"
#include "platform/posix/PseudoTerminal.h"
#include "tests/link/ThreadedTestLoop.h"
#include "tests/support/PtyIo.h"
#include "tests/support/TestPortsDirectory.h"

namespace {

class PosixPortFactoryTest : public testing::Test {
protected:
    void SetUp() override {
        pty_.HoldSlaveOpen();
        ports_.Link(3, pty_.SlavePath());
        ports_.Link(12, pty_.SlavePath());
        ports_.Link(5, (ports_.Path() / "unplugged").string());
        ports_.Link(4, ports_.WriteFile("firmware.bin", "\x01\x02\x03"));
    }

    // Opens the port, starts its receiver, and checks that bytes from the unit's side come.
    bool OpenAndExchange(const char* name, const TBytes& bytes) {
        auto device = factory_.OpenDevice(name);
        if (!device)
            return false;
        device->ApplyLineSettings({92160, 8, TStopBits::sb1, TParity::None});
        TBytes received;
        auto receiver = factory_.StartReceiver(*device, loop_, [&](std::unique_ptr<std::uint8_t[]> b, std::uint16_t n) {
            received.insert(received.end(), b.get(), b.get() + n);
        });
        return receiver && pty_.CurrentLineSettings().BaudRate == 92160 && WriteFully(pty_.MasterFd(), bytes) &&
               loop_.DispatchUntil([&] { return received.size() >= bytes.size(); }) && received == bytes;
        // The receiver goes before the device, whose descriptor it polls.
    }

    TTestPortsDirectory ports_;
    TPseudoTerminal pty_;
    TPosixPortFactory factory_{"/unused-base"};
    TThreadedTestLoop loop_;
};

TEST_F(PosixPortFactoryTest, MissingPortIsAFailedOpenWithoutException) {
    EXPECT_EQ(factory_.OpenDevice("COM5"), nullptr);
    EXPECT_EQ(factory_.OpenDevice("COM0"), nullptr);
    EXPECT_TRUE(OpenAndExchange("COM3", {1}));
}

TEST_F(PosixPortFactoryTest, PortInUseIsAFailedOpenUnderEitherName) {
    auto first = factory_.OpenDevice("COM3");
    ASSERT_TRUE(first);
    EXPECT_EQ(factory_.OpenDevice("COM3"), nullptr);
    EXPECT_EQ(factory_.OpenDevice("\\\\.\\COM12"), nullptr);
    first.reset();
    EXPECT_TRUE(OpenAndExchange("\\\\.\\COM12", {2}));
}

TEST_F(PosixPortFactoryTest, RegularFileIsNotACommHandleAndIsClosed) {
    const std::size_t descriptors = CountEntries("/proc/self/fd");
    try {
        factory_.OpenDevice("COM4");
        ADD_FAILURE() << "no exception";
    } catch (const ECommsError& error) {
        EXPECT_STREQ(error.what(), "File Handle is not a Comm Handle.");
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
    // Held by another opener it is a port in use, a quiet failed open: the exclusive
    // opening comes before the kind of device is checked.
    const int holder = ::open((ports_.Path() / "firmware.bin").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_NO_THROW(EXPECT_EQ(factory_.OpenDevice("COM4"), nullptr));
    ::close(holder);
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
}

TEST_F(PosixPortFactoryTest, RepeatedOpenAndCloseLeaksNothing) {
    ASSERT_TRUE(OpenAndExchange("COM3", {0}));  // lazily made process state is no leak
    const std::size_t descriptors = CountEntries("/proc/self/fd");
    const std::size_t threads = CountEntries("/proc/self/task");
    for (int cycle = 0; cycle < 200; ++cycle)
        ASSERT_TRUE(OpenAndExchange(cycle % 2 ? "COM3" : "\\\\.\\COM12", {std::uint8_t(cycle), 0x00})) << cycle;
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

}  // namespace
