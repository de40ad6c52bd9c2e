#include <asm/termbits.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdarg>
#include <thread>

#include "platform/posix/PosixSerialDevice.h"
#include "platform/posix/PseudoTerminal.h"
#include "support/PtyIo.h"

// Missing, busy and non-terminal devices are covered through the port factory.

namespace {

// Pseudo-terminals know no serial driver flags. To see what the device does with a
// driver's low-latency flag, this test binary answers the two ioctls itself for the one
// terminal a test names, holding the flags as such a driver would; every other call goes
// to the C library.
std::atomic<dev_t> gSerialDriverDevice{0};
std::atomic<int> gSerialDriverFlags{0};

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* const arg = va_arg(args, void*);
    va_end(args);
    const dev_t emulated = gSerialDriverDevice.load();
    struct stat info {};
    if (emulated != 0 && (request == TIOCGSERIAL || request == TIOCSSERIAL) && ::fstat(fd, &info) == 0 &&
        info.st_rdev == emulated) {
        auto* serial = static_cast<serial_struct*>(arg);
        if (request == TIOCGSERIAL) {
            *serial = serial_struct{};
            serial->flags = gSerialDriverFlags.load();
        } else {
            gSerialDriverFlags.store(serial->flags);
        }
        return 0;
    }
    using TIoctl = int (*)(int, unsigned long, ...);
    static const auto next = reinterpret_cast<TIoctl>(::dlsym(RTLD_NEXT, "ioctl"));
    return next(fd, request, arg);
}

namespace {

class PosixSerialDeviceTest : public testing::Test {
protected:
    std::unique_ptr<TPosixSerialDevice> Open() {
        TPosixSerialDevice::TOpenResult opened = TPosixSerialDevice::Open(pty_.SlavePath());
        EXPECT_TRUE(opened.Device) << opened.Failure.Describe(pty_.SlavePath());
        return std::move(opened.Device);
    }
    termios2 Line() const {
        termios2 tio{};
        EXPECT_EQ(::ioctl(pty_.MasterFd(), TCGETS2, &tio), 0);
        return tio;
    }

    TPseudoTerminal pty_;
};

TEST_F(PosixSerialDeviceTest, ClosingLeavesNoExclusiveModeBehind) {
    // The terminal outlives the device while the master is open; exclusive mode left set
    // would refuse every later opener but root.
    const int observer = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int exclusive = -1;
    auto device = Open();
    ASSERT_EQ(::ioctl(observer, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    device.reset();
    ASSERT_EQ(::ioctl(observer, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(observer);
}

TEST_F(PosixSerialDeviceTest, LowLatencyFlagIsPutBackOnCloseOnlyWhenOpenSetIt) {
    struct stat info {};
    ASSERT_EQ(::stat(pty_.SlavePath().c_str(), &info), 0);
    gSerialDriverDevice = info.st_rdev;
    const int otherFlags = ASYNC_SPD_HI;
    for (const bool setBefore : {false, true}) {
        SCOPED_TRACE(setBefore);
        gSerialDriverFlags = otherFlags | (setBefore ? ASYNC_LOW_LATENCY : 0);
        auto device = Open();
        EXPECT_EQ(gSerialDriverFlags, otherFlags | ASYNC_LOW_LATENCY);
        device.reset();
        // A driver setting outlives the program: closing leaves it as open found it.
        EXPECT_EQ(gSerialDriverFlags, otherFlags | (setBefore ? ASYNC_LOW_LATENCY : 0));
    }
    gSerialDriverDevice = 0;
}

TEST_F(PosixSerialDeviceTest, RateAndStopBitsReachTheLine) {
    auto device = Open();
    // A pseudo-terminal shows 8 data bits whatever is set (so 1.5 stop bits read as 2), and
    // of the parity only PARODD and CMSPAR; the full flags are checked in Termios2Test.
    const struct {
        TLineSettings Settings;
        TStopBits Seen;
        tcflag_t ParityBits;
    } cases[] = {
        {{800000, 8, TStopBits::sb2, TParity::Odd}, TStopBits::sb2, PARODD},
        {{92160, 7, TStopBits::sb1, TParity::Mark}, TStopBits::sb1, PARODD | CMSPAR},
        {{115200, 5, TStopBits::sb1_5, TParity::Space}, TStopBits::sb2, CMSPAR},
        {{9600, 8, TStopBits::sb1, TParity::Even}, TStopBits::sb1, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(device->ApplyLineSettings(c.Settings), c.Settings.BaudRate);
        EXPECT_EQ(pty_.CurrentLineSettings().BaudRate, c.Settings.BaudRate);
        EXPECT_EQ(pty_.CurrentLineSettings().StopBits, c.Seen) << c.Settings.BaudRate;
        EXPECT_EQ(Line().c_cflag & (PARODD | CMSPAR), c.ParityBits) << c.Settings.BaudRate;
    }
    // Rate 0 would hang the line up: the rate stays.
    EXPECT_EQ(device->ApplyLineSettings({0, 8, TStopBits::sb1, TParity::None}), 9600u);
}

TEST_F(PosixSerialDeviceTest, LineBecomesRawAndKeepsItsHardwareFlowControl) {
    for (const tcflag_t flowControl : {tcflag_t{0}, tcflag_t{CRTSCTS}}) {
        // Start from a line-editing terminal with software flow control.
        termios2 cooked = Line();
        cooked.c_iflag = ICRNL | IXON | IXOFF | INLCR | ISTRIP | BRKINT | PARMRK | INPCK;
        cooked.c_oflag = OPOST | ONLCR;
        cooked.c_lflag = ISIG | ICANON | ECHO | IEXTEN;
        cooked.c_cflag = (cooked.c_cflag & ~(CLOCAL | CRTSCTS)) | flowControl;
        ASSERT_EQ(::ioctl(pty_.MasterFd(), TCSETS2, &cooked), 0);

        auto device = Open();
        device->ApplyLineSettings({9600, 8, TStopBits::sb1, TParity::None});
        const termios2 tio = Line();
        EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL | CRTSCTS), CREAD | CLOCAL | flowControl);
        EXPECT_EQ(tio.c_cc[VMIN], 1);  // so that only a hang-up reads 0 bytes
        EXPECT_EQ(tio.c_cc[VTIME], 0);
        // CR, LF, XON, XOFF, 0xFF (doubled by parity marking), NUL, ^C, ^D, DEL, ^Z.
        const TBytes special = {0x0D, 0x0A, 0x11, 0x13, 0xFF, 0x00, 0x03, 0x04, 0x7F, 0x1A, 0x0D};
        ASSERT_TRUE(device->WriteAll(special.data(), special.size()));
        EXPECT_EQ(ReadBytes(pty_.MasterFd(), special.size() + 1, 100), special);
        ASSERT_TRUE(WriteFully(pty_.MasterFd(), special));
        EXPECT_EQ(ReadBytes(device->Descriptor(), special.size() + 1, 100), special);
        EXPECT_EQ(ReadBytes(pty_.MasterFd(), 1, 50), TBytes{}) << "echo";
    }
}

TEST_F(PosixSerialDeviceTest, WriteAllWaitsForRoomAndWritesEverything) {
    auto device = Open();
    TBytes data(300000);  // far more than a pseudo-terminal buffers
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    TBytes received;
    std::thread reader([&] { received = ReadBytes(pty_.MasterFd(), data.size()); });
    EXPECT_TRUE(device->WriteAll(data.data(), data.size()));
    reader.join();
    EXPECT_EQ(received, data);
}

TEST_F(PosixSerialDeviceTest, HeldSlaveKeepsTheMasterFromSeeingAHangUp) {
    for (const bool held : {false, true}) {
        TPseudoTerminal pty;
        if (held) pty.HoldSlaveOpen();
        ::close(::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY));
        unsigned char byte = 0;
        EXPECT_EQ(::read(pty.MasterFd(), &byte, 1), -1);
        EXPECT_EQ(errno, held ? EAGAIN : EIO) << "held " << held;
    }
}

}  // namespace
