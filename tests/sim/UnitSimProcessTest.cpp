// unitsim as a process, reached over its pseudo-terminal with plain termios calls.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "support/SameBytes.h"
#include "support/TestPortsDirectory.h"
#include "tests/sim/UnitSimProcess.h"

using simtest::kPatienceMs;
using simtest::ReadFile;
using Bytes = std::vector<std::uint8_t>;

namespace {

int OpenRaw(const std::string& path, speed_t speed) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    t.c_cflag &= ~(CSTOPB | PARENB);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

}  // namespace

TEST(UnitSimProcess, AnswersModbusOverItsPortAndCleansUpOnSigterm) {
    TTestPortsDirectory ports;
    const auto dump = ports.Path() / "flash.bin";
    Bytes initial(3000);
    for (std::size_t i = 0; i < initial.size(); ++i) initial[i] = std::uint8_t(i * 13);
    const std::string init = ports.WriteFile("init.bin", std::string(initial.begin(), initial.end()));

    TChildProcess sim("unitsim", {"--ports-dir", ports.Path().string(), "--port", "7", "--model", "6155",
                                  "--version", "109", "--flash-init", init, "--flash-dump", dump.string()});
    const std::string ready = sim.ReadLine();
    ASSERT_EQ(ready.rfind("unitsim: COM7 -> /dev/pts/", 0), 0u) << ready;
    const std::string slave = ready.substr(ready.find("/dev/"));
    ASSERT_EQ(std::filesystem::read_symlink(ports.Entry(7)).string(), slave);

    const int fd = OpenRaw(ports.Entry(7), B9600);
    ASSERT_GE(fd, 0);
    const Bytes request{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D};
    ASSERT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
    // Model 6155 = 0x180B, version 109 = 0x006D, then the CRC of the reply.
    EXPECT_EQ(ReadBytes(fd, 9), (Bytes{0x13, 0x03, 0x04, 0x18, 0x0B, 0x00, 0x6D, 0x7E, 0xBD}));
    ::close(fd);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ports.Entry(7))));
    const Bytes flash = ReadFile(dump);
    ASSERT_EQ(flash.size(), 65536u);
    EXPECT_TRUE(SameBytes(initial, std::span(flash).first(initial.size())));
    EXPECT_EQ(flash[3000], 0xFF);
    EXPECT_EQ(flash[65535], 0xFF);
}

TEST(UnitSimProcess, HangUpFaultDropsTheLine) {
    TTestPortsDirectory ports;
    TChildProcess sim("unitsim", {"--ports-dir", ports.Path().string(), "--port", "2", "--hang-up-at", "1"});
    const std::string ready = sim.ReadLine();
    ASSERT_EQ(ready.rfind("unitsim: COM2 -> /dev/pts/", 0), 0u) << ready;
    const int fd = OpenRaw(ports.Entry(2), B9600);
    ASSERT_GE(fd, 0);
    const Bytes request{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D};
    ASSERT_EQ(::write(fd, request.data(), request.size()), ssize_t(request.size()));
    EXPECT_EQ(sim.Wait(), 0);
    // The slave now reports the hang-up instead of a reply.
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kPatienceMs), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
    ::close(fd);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ports.Entry(2))));
}

TEST(UnitSimProcess, RefusesToTakeOverAnotherEntry) {
    TTestPortsDirectory ports;
    ports.WriteFile("COM4", "not a link");
    TChildProcess sim("unitsim", {"--ports-dir", ports.Path().string(), "--port", "4"});
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_EQ(ReadFile(ports.Entry(4)), (Bytes{'n', 'o', 't', ' ', 'a', ' ', 'l', 'i', 'n', 'k'}));
}
