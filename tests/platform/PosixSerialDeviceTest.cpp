#include "platform/PosixSerialDevice.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/PseudoTerminal.h"
#include "tests/support/TestPortsDirectory.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

// Reads until count bytes came or nothing arrives for idleMs.
TBytes ReadBytes(int fd, std::size_t count, int idleMs = 5000) {
    TBytes got;
    std::uint8_t buffer[4096];
    while (got.size() < count) {
        pollfd waitFor{fd, POLLIN, 0};
        if (::poll(&waitFor, 1, idleMs) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
        else if (n == 0 || errno != EAGAIN)
            break;
    }
    return got;
}

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                  std::filesystem::directory_iterator()));
}

termios2 SlaveTermios(const TPseudoTerminal& pty) {
    termios2 tio{};
    EXPECT_EQ(::ioctl(pty.MasterFd(), TCGETS2, &tio), 0);
    return tio;
}

// Gives the slave the settings of a freshly opened, line-editing terminal, with software
// flow control on, so that a test sees what ApplyLineSettings changes.
void MakeCooked(const TPseudoTerminal& pty, tcflag_t extraCflag = 0) {
    termios2 tio = SlaveTermios(pty);
    tio.c_iflag = ICRNL | IXON | IXOFF | INLCR | ISTRIP | BRKINT | PARMRK | INPCK;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    tio.c_cflag = (tio.c_cflag & ~(CLOCAL | CRTSCTS)) | extraCflag;
    tio.c_cc[VMIN] = 0;
    ASSERT_EQ(::ioctl(pty.MasterFd(), TCSETS2, &tio), 0);
}

class PosixSerialDeviceTest : public testing::Test {
protected:
    std::unique_ptr<TPosixSerialDevice> OpenSlave() {
        TPosixSerialDevice::TOpenResult opened = TPosixSerialDevice::Open(pty_.SlavePath());
        EXPECT_TRUE(opened.Device) << "errno " << opened.Error;
        return std::move(opened.Device);
    }

    TPseudoTerminal pty_;
};

TEST_F(PosixSerialDeviceTest, MissingDeviceFailsWithoutDevice) {
    TTestPortsDirectory ports;
    ports.Link(5, (ports.Path() / "gone").string());
    const TPosixSerialDevice::TOpenResult opened = TPosixSerialDevice::Open(ports.Entry(5));
    EXPECT_FALSE(opened.Device);
    EXPECT_FALSE(opened.NotATerminal);
    EXPECT_EQ(opened.Error, ENOENT);
}

TEST_F(PosixSerialDeviceTest, SecondOpenerIsRefusedUntilTheFirstCloses) {
    // The tests run as root, whom the terminal's exclusive mode does not stop: the flock must.
    auto first = OpenSlave();
    ASSERT_TRUE(first);
    const TPosixSerialDevice::TOpenResult second = TPosixSerialDevice::Open(pty_.SlavePath());
    EXPECT_FALSE(second.Device);
    EXPECT_FALSE(second.NotATerminal);
    EXPECT_EQ(second.Error, EWOULDBLOCK);

    first.reset();
    auto again = OpenSlave();
    EXPECT_TRUE(again);
}

TEST_F(PosixSerialDeviceTest, ClosingLeavesNoExclusiveModeBehind) {
    // The master stays open, so the slave's terminal outlives the device; exclusive mode
    // left set would refuse every later non-root opener.
    const int observer = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(observer, 0);
    int exclusive = -1;
    {
        auto device = OpenSlave();
        ASSERT_TRUE(device);
        ASSERT_EQ(::ioctl(observer, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
    }
    ASSERT_EQ(::ioctl(observer, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(observer);
}

TEST_F(PosixSerialDeviceTest, RegularFileIsNotATerminalAndIsClosed) {
    TTestPortsDirectory ports;
    ports.Link(4, ports.WriteFile("image.bin", "not a terminal"));
    const std::size_t before = OpenDescriptors();
    const TPosixSerialDevice::TOpenResult opened = TPosixSerialDevice::Open(ports.Entry(4));
    EXPECT_FALSE(opened.Device);
    EXPECT_TRUE(opened.NotATerminal);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(PosixSerialDeviceTest, AnyRateReachesTheLineAndIsReported) {
    auto device = OpenSlave();
    ASSERT_TRUE(device);
    for (const std::uint32_t rate : {800000u, 92160u, 115200u, 9600u, 19200u}) {
        SCOPED_TRACE(rate);
        EXPECT_EQ(device->ApplyLineSettings({rate, 8, TStopBits::sb1, TParity::None}), rate);
        EXPECT_EQ(pty_.CurrentLineSettings().BaudRate, rate);
    }
    // Rate 0 would hang the line up; the previous rate stays.
    EXPECT_EQ(device->ApplyLineSettings({0, 8, TStopBits::sb1, TParity::None}), 19200u);
}

TEST_F(PosixSerialDeviceTest, FramingReachesTheLine) {
    // Of the framing, a pseudo-terminal keeps the stop bits and the parity's PARODD and
    // CMSPAR (the driver forces CS8 and clears PARENB); those are checked here, the full
    // flags in Termios2Test.
    struct TCase {
        TLineSettings Settings;
        TStopBits SeenStop;
        tcflag_t SeenParityBits;
    };
    const TCase cases[] = {
        {{9600, 8, TStopBits::sb1, TParity::None}, TStopBits::sb1, 0},
        {{9600, 8, TStopBits::sb2, TParity::Odd}, TStopBits::sb2, PARODD},
        {{9600, 8, TStopBits::sb1, TParity::Even}, TStopBits::sb1, 0},
        {{9600, 7, TStopBits::sb2, TParity::Mark}, TStopBits::sb2, PARODD | CMSPAR},
        {{9600, 5, TStopBits::sb1_5, TParity::Space}, TStopBits::sb2, CMSPAR},
        {{9600, 8, TStopBits::sb1, TParity::None}, TStopBits::sb1, 0},
    };
    auto device = OpenSlave();
    ASSERT_TRUE(device);
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "parity " << int(c.Settings.Parity));
        device->ApplyLineSettings(c.Settings);
        EXPECT_EQ(pty_.CurrentLineSettings().StopBits, c.SeenStop);
        EXPECT_EQ(SlaveTermios(pty_).c_cflag & (PARODD | CMSPAR), c.SeenParityBits);
    }
}

TEST_F(PosixSerialDeviceTest, LineSettingsMakeTheLineRawAndKeepHardwareFlowControl) {
    for (const tcflag_t flowControl : {tcflag_t{0}, tcflag_t{CRTSCTS}}) {
        SCOPED_TRACE(flowControl);
        MakeCooked(pty_, flowControl);
        auto device = OpenSlave();
        ASSERT_TRUE(device);
        device->ApplyLineSettings({115200, 8, TStopBits::sb1, TParity::None});

        const termios2 tio = SlaveTermios(pty_);
        EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | IXOFF | INLCR | ISTRIP | BRKINT | PARMRK | INPCK), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_lflag & (ISIG | ICANON | ECHO | IEXTEN), 0u);
        EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL), tcflag_t{CREAD | CLOCAL});
        EXPECT_EQ(tio.c_cflag & CRTSCTS, flowControl);
        EXPECT_EQ(tio.c_cc[VMIN], 1);
        EXPECT_EQ(tio.c_cc[VTIME], 0);
    }
}

TEST_F(PosixSerialDeviceTest, ControlBytesPassUnchangedBothWays) {
    MakeCooked(pty_);
    auto device = OpenSlave();
    ASSERT_TRUE(device);
    device->ApplyLineSettings({9600, 8, TStopBits::sb1, TParity::None});

    // CR, LF, XON, XOFF, 0xFF (doubled by parity marking), NUL, ^C, ^D, DEL, ^Z, ^\.
    const TBytes special = {0x0D, 0x0A, 0x11, 0x13, 0xFF, 0x00, 0x03, 0x04, 0x7F, 0x1A, 0x1C, 0x0D, 0x0A};
    ASSERT_TRUE(device->WriteAll(special.data(), special.size()));
    EXPECT_EQ(ReadBytes(pty_.MasterFd(), special.size()), special);
    EXPECT_EQ(ReadBytes(pty_.MasterFd(), 1, 100), TBytes{});

    ASSERT_EQ(::write(pty_.MasterFd(), special.data(), special.size()), ssize_t(special.size()));
    EXPECT_EQ(ReadBytes(device->Descriptor(), special.size()), special);
    EXPECT_EQ(ReadBytes(device->Descriptor(), 1, 100), TBytes{});
    // No echo of what the device received.
    EXPECT_EQ(ReadBytes(pty_.MasterFd(), 1, 100), TBytes{});
}

TEST_F(PosixSerialDeviceTest, WriteAllWaitsForRoomAndWritesEverything) {
    auto device = OpenSlave();
    ASSERT_TRUE(device);
    // Far more than the pseudo-terminal buffers: the writer must wait for the reader.
    TBytes data(300000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    TBytes received;
    std::thread reader([&] { received = ReadBytes(pty_.MasterFd(), data.size()); });
    const bool written = device->WriteAll(data.data(), data.size());
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(received, data);
}

TEST_F(PosixSerialDeviceTest, PurgeDiscardsReceivedBytes) {
    auto device = OpenSlave();
    ASSERT_TRUE(device);
    device->ApplyLineSettings({9600, 8, TStopBits::sb1, TParity::None});
    const TBytes stale = {1, 2, 3};
    ASSERT_EQ(::write(pty_.MasterFd(), stale.data(), stale.size()), 3);
    // Let the bytes reach the slave's input before purging it.
    pollfd waitFor{device->Descriptor(), POLLIN, 0};
    ASSERT_EQ(::poll(&waitFor, 1, 5000), 1);
    device->Purge(TSerialDevice::kPurgeRx | TSerialDevice::kPurgeTx);

    const TBytes fresh = {9};
    ASSERT_EQ(::write(pty_.MasterFd(), fresh.data(), fresh.size()), 1);
    EXPECT_EQ(ReadBytes(device->Descriptor(), 4, 200), fresh);
}

}  // namespace
