#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "link/CommsError.h"
#include "link/posix/PosixPortFactory.h"
#include "platform/posix/PseudoTerminal.h"
#include "support/PtyIo.h"
#include "support/TestPortsDirectory.h"
#include "tests/link/ThreadedTestLoop.h"

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
        auto claim = factory_.Claim(name, why_);
        return claim && Exchange(*claim, pty_, bytes);
    }

    // Opens the claim once, starts its receiver, and checks that bytes from the unit's side
    // come and bytes sent reach the unit.
    bool Exchange(TPortClaim& claim, TPseudoTerminal& unit, const TBytes& bytes) {
        auto device = claim.Open(why_);
        if (!device) return false;
        device->ApplyLineSettings({92160, 8, TStopBits::sb1, TParity::None});
        TBytes received;
        auto receiver = device->StartReceiver(loop_, [&](std::unique_ptr<std::uint8_t[]> b, std::uint16_t n) {
            received.insert(received.end(), b.get(), b.get() + n);
        });
        return receiver && unit.CurrentLineSettings().BaudRate == 92160 &&
               WriteFully(unit.MasterFd(), bytes) &&
               loop_.DispatchUntil([&] { return received.size() >= bytes.size(); }) && received == bytes &&
               device->WriteAll(bytes.data(), bytes.size()) &&
               ReadBytes(unit.MasterFd(), bytes.size()) == bytes;
        // The receiver goes before the device, whose descriptor it polls.
    }

    TTestPortsDirectory ports_;
    TPseudoTerminal pty_;
    TPosixPortFactory factory_{"/unused-base"};
    TThreadedTestLoop loop_;
    TPortOpenFailure why_;
};

TEST_F(PosixPortFactoryTest, MissingPortIsAFailedOpenWithoutException) {
    EXPECT_EQ(factory_.Claim("COM5", why_), nullptr);
    EXPECT_EQ(why_.Reason, TPortOpenFailure::TReason::Missing);
    EXPECT_EQ(why_.Describe("COM5"), "COM5 (" + (ports_.Path() / "unplugged").string() +
                                         ") does not exist (No such file or directory)");
    EXPECT_EQ(factory_.Claim("COM0", why_), nullptr);
    EXPECT_TRUE(OpenAndExchange("COM3", {1}));
}

TEST_F(PosixPortFactoryTest, PortInUseIsAFailedOpenUnderEitherName) {
    auto first = factory_.Claim("COM3", why_);
    ASSERT_TRUE(first);
    EXPECT_EQ(factory_.Claim("COM3", why_), nullptr);
    // Busy, and held by whom: this process holds the lock of the first claim.
    EXPECT_EQ(why_.Reason, TPortOpenFailure::TReason::Busy);
    EXPECT_EQ(why_.Holder.rfind("process " + std::to_string(::getpid()) + " (", 0), 0u) << why_.Holder;
    EXPECT_EQ(factory_.Claim("\\\\.\\COM12", why_), nullptr);
    EXPECT_EQ(why_.Reason, TPortOpenFailure::TReason::Busy);
    first.reset();
    EXPECT_TRUE(OpenAndExchange("\\\\.\\COM12", {2}));
}

TEST_F(PosixPortFactoryTest, RegularFileIsNotACommHandleAndIsClosed) {
    const std::size_t descriptors = CountEntries("/proc/self/fd");
    try {
        factory_.Claim("COM4", why_);
        ADD_FAILURE() << "no exception";
    } catch (const ECommsError& error) {
        EXPECT_STREQ(error.what(), "File Handle is not a Comm Handle.");
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
    // Held by another opener it is a port in use, a quiet failed open: the exclusive
    // opening comes before the kind of device is checked.
    const int holder = ::open((ports_.Path() / "firmware.bin").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_NO_THROW(EXPECT_EQ(factory_.Claim("COM4", why_), nullptr));
    ::close(holder);
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
}

TEST_F(PosixPortFactoryTest, RepeatedOpenAndCloseLeaksNothing) {
    ASSERT_TRUE(OpenAndExchange("COM3", {0}));  // lazily made process state is no leak
    const std::size_t descriptors = CountEntries("/proc/self/fd");
    const std::size_t threads = CountEntries("/proc/self/task");
    for (int cycle = 0; cycle < 200; ++cycle)
        ASSERT_TRUE(OpenAndExchange(cycle % 2 ? "COM3" : "\\\\.\\COM12", {std::uint8_t(cycle), 0x00}))
            << cycle;
    EXPECT_LE(CountSettledEntries("/proc/self/fd", descriptors), descriptors);
    EXPECT_LE(CountSettledEntries("/proc/self/task", threads), threads);
}

// A claim reopens the device of its first open, wherever the port's name leads since:
// to another unit's device in one rename, or nowhere (no fall-back to a /dev/ttyS device).
TEST_F(PosixPortFactoryTest, ClaimReopensTheDeviceOfItsFirstOpenWhereverTheNameLeadsNow) {
    TPseudoTerminal other;
    other.HoldSlaveOpen();
    ports_.Link(7, pty_.SlavePath());
    auto claim = factory_.Claim("COM7", why_);
    ASSERT_TRUE(claim);
    ASSERT_TRUE(Exchange(*claim, pty_, {1, 2}));
    ports_.Relink(7, other.SlavePath());
    EXPECT_TRUE(Exchange(*claim, pty_, {3, 4}));
    std::filesystem::remove(ports_.Entry(7));
    EXPECT_TRUE(Exchange(*claim, pty_, {5}));
    EXPECT_TRUE(ReadBytes(other.MasterFd(), 1, 50).empty());
    // Once the claim is given up, the name is looked up again: a new first open.
    claim.reset();
    ports_.Link(7, other.SlavePath());
    claim = factory_.Claim("COM7", why_);
    ASSERT_TRUE(claim);
    EXPECT_TRUE(Exchange(*claim, other, {6}));
}

// Between two opens of a claim the device stays locked: another process's open and flock,
// which is how every instance of the updater takes a port, is refused.
TEST_F(PosixPortFactoryTest, ClaimHoldsTheDeviceAgainstOtherProcessesBetweenItsOpens) {
    const auto anotherProcessTakes = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    };
    auto claim = factory_.Claim("COM3", why_);
    ASSERT_TRUE(claim);
    ASSERT_TRUE(Exchange(*claim, pty_, {1}));
    EXPECT_FALSE(anotherProcessTakes());
    EXPECT_EQ(factory_.Claim("COM3", why_), nullptr);
    EXPECT_TRUE(Exchange(*claim, pty_, {2}));
    claim.reset();
    EXPECT_TRUE(anotherProcessTakes());
}

// A claimed device that has gone (its line hung up for good) does not open again.
TEST_F(PosixPortFactoryTest, ClaimedDeviceThatHasGoneDoesNotOpenAgain) {
    auto unit = std::make_unique<TPseudoTerminal>();
    ports_.Link(8, unit->SlavePath());
    auto claim = factory_.Claim("COM8", why_);
    ASSERT_TRUE(claim);
    ASSERT_TRUE(Exchange(*claim, *unit, {1}));
    unit.reset();  // the master goes: the slave is hung up
    EXPECT_EQ(claim->Open(why_), nullptr);
    EXPECT_EQ(why_.Reason, TPortOpenFailure::TReason::Missing);
}

}  // namespace
