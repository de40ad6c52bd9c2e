// A whole upgrade's worth of exchanges with unitsim over its pseudo-terminal, at the
// fast model's unusual speeds (which need the termios2 interface).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/posix/Termios2.h"
#include "support/SameBytes.h"
#include "support/TestPortsDirectory.h"
#include "tests/sim/SimTestFrames.h"
#include "tests/sim/UnitSimProcess.h"

using simtest::Bytes;

namespace {

Bytes Ask(int fd, std::uint32_t baud, const Bytes& request, std::size_t replyLength) {
    TLineSettings line;
    line.BaudRate = baud;
    EXPECT_EQ(Termios2ApplyLineSettings(fd, line), baud);
    EXPECT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
    return ReadBytes(fd, replyLength);
}

}  // namespace

TEST(UnitSimUpgrade, FastModelSwitchesSpeedWithItsModeAndDumpsFlashOnRestart) {
    TTestPortsDirectory ports;
    const auto dump = ports.Path() / "flash.bin";
    TChildProcess sim("unitsim", {"--ports-dir", ports.Path().string(), "--port", "3", "--model", "6152",
                                  "--version", "104", "--new-version", "107", "--flash-dump", dump.string()});
    ASSERT_EQ(sim.ReadLine().rfind("unitsim: COM3 -> ", 0), 0u);
    const int fd = ::open(ports.Entry(3).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);

    // Entry write at 800000 bit/s; the unit answers it, then listens at 92160.
    const Bytes entry = simtest::WriteRequest(1, 103, 8, 0x5A3E);
    EXPECT_EQ(Ask(fd, 800000, entry, entry.size()), entry);
    // 6152 = 0x1808.
    EXPECT_EQ(Ask(fd, 92160, simtest::ReadModelRequest(), 9),
              (Bytes{0x10, 0x02, 0x00, 0x00, 0x18, 0x08, 0xE0, 0x10, 0x03}));

    Bytes block(128);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = std::uint8_t(0x10 + i);  // a DLE among them
    const Bytes ack = Ask(fd, 92160, simtest::EraseRequest(0x0800), 7);
    EXPECT_EQ(ack, (Bytes{0x10, 0x02, 0x03, 0x00, 0xFD, 0x10, 0x03}));
    EXPECT_EQ(Ask(fd, 92160, simtest::WriteBlockRequest(0x0800, block), 7),
              (Bytes{0x10, 0x02, 0x02, 0x00, 0xFE, 0x10, 0x03}));
    EXPECT_EQ(Ask(fd, 92160, simtest::ClearFlagRequest(), 7),
              (Bytes{0x10, 0x02, 0x05, 0x00, 0xFB, 0x10, 0x03}));
    EXPECT_EQ(Ask(fd, 92160, simtest::RestartRequest(), 7),
              (Bytes{0x10, 0x02, 0x00, 0x00, 0x00, 0x10, 0x03}));

    // The dump is written before the restart is answered.
    const Bytes flash = simtest::ReadFile(dump);
    ASSERT_EQ(flash.size(), 65536u);
    EXPECT_TRUE(SameBytes(block, std::span(flash).subspan(0x0800, block.size()), 0x0800));
    EXPECT_EQ(flash[0x0880], 0xFF);

    // Back in the application at 800000, running the new version.
    EXPECT_EQ(Ask(fd, 800000, simtest::ReadRequest(19, 20, 2), 9),
              simtest::WithCrc({19, 3, 4, 0x18, 0x08, 0x00, 107}));
    ::close(fd);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}
