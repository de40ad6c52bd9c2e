#include "platform/PseudoTerminal.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(PseudoTerminalTest, FreshSlaveIsARaw9600Line) {
    TPseudoTerminal pty;
    EXPECT_EQ(::access(pty.SlavePath().c_str(), R_OK | W_OK), 0);
    const TLineSettings settings = pty.CurrentLineSettings();
    EXPECT_EQ(settings.BaudRate, 9600u);
    EXPECT_EQ(settings.DataBits, 8);
    EXPECT_EQ(settings.StopBits, TStopBits::sb1);
    EXPECT_EQ(settings.Parity, TParity::None);

    // Raw: a carriage return and an interrupt character pass through the slave unchanged
    // (no CR/NL translation, no signals, no echo back to the master).
    const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(slave, 0);
    const unsigned char sent[] = {0x0D, 0x03, 0x0A};
    ASSERT_EQ(::write(pty.MasterFd(), sent, sizeof sent), 3);
    unsigned char got[8] = {};
    ssize_t n = -1;
    for (int i = 0; i < 1000 && n < 0; ++i) {
        n = ::read(slave, got, sizeof got);
        if (n < 0)
            ::usleep(1000);
    }
    ASSERT_EQ(n, 3);
    EXPECT_EQ(got[0], 0x0D);
    EXPECT_EQ(got[1], 0x03);
    EXPECT_EQ(got[2], 0x0A);
    EXPECT_EQ(::read(pty.MasterFd(), got, sizeof got), -1);
    EXPECT_EQ(errno, EAGAIN);
    ::close(slave);
}

TEST(PseudoTerminalTest, HeldSlaveKeepsTheMasterFromSeeingAHangUp) {
    unsigned char byte = 0;
    {
        TPseudoTerminal pty;
        const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        ::close(slave);
        // Nobody holds the slave: the master reads a hang-up.
        EXPECT_EQ(::read(pty.MasterFd(), &byte, 1), -1);
        EXPECT_EQ(errno, EIO);
    }
    {
        TPseudoTerminal pty;
        pty.HoldSlaveOpen();
        pty.HoldSlaveOpen();
        const int slave = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        ::close(slave);
        EXPECT_EQ(::read(pty.MasterFd(), &byte, 1), -1);
        EXPECT_EQ(errno, EAGAIN);
    }
}

}  // namespace
