// The link on real pseudo-terminals: the POSIX port factory, the receive thread and the
// QtCore message loop together, as the programs run them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <span>
#include <thread>
#include <vector>

#include "link/LumoComms.h"
#include "link/posix/PosixPortFactory.h"
#include "platform/posix/PseudoTerminal.h"
#include "platform/qt/QtMessageLoop.h"
#include "support/PtyIo.h"
#include "support/SameBytes.h"
#include "support/TestPortsDirectory.h"

namespace {

QCoreApplication& Application() {
    static int argc = 1;
    static char name[] = "link_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

const std::uint8_t kStart[] = {0x10, 0x02};
const std::uint8_t kEnd[] = {0x10, 0x03};

class LumoCommsPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application();
        loop = std::make_unique<TQtMessageLoop>();
        ports.Link(3, pty.SlavePath());
        link =
            std::make_unique<TLumoComms>(*loop, std::make_shared<TPosixPortFactory>(ports.Path().string()));
        link->CommPort = TComport::COM3;
        link->BaudRate = 115200;
        link->RxBufferSize = 500;
    }

    // A boot-style request whose reply the peer sends after it has read the request; the
    // recognised reply is copied into received.
    std::int32_t Exchange(const TBytes& request, const TBytes& reply, std::uint16_t ticks = 30) {
        std::thread peer([&] {
            if (ReadBytes(pty.MasterFd(), request.size()) == request) WriteFully(pty.MasterFd(), reply);
        });
        TRxCondition conditions;
        conditions.AddCondition(2, kStart, true, 2, kEnd, true, 0, 1, 0);
        link->SetConditions(&conditions);
        link->ResetConditions();
        link->Send(request.data(), static_cast<std::uint16_t>(request.size()), ticks);
        const std::int32_t result = link->WaitReply();
        if (result == 1) {
            std::uint8_t copy[201] = {};
            received.assign(copy, copy + link->ReadReply(1, copy, 200, 1, -1, -1));
        }
        link->ClearConditions();
        peer.join();
        return result;
    }

    TPseudoTerminal pty;
    TTestPortsDirectory ports;
    std::unique_ptr<TQtMessageLoop> loop;
    std::unique_ptr<TLumoComms> link;
    TBytes received;
};

TEST_F(LumoCommsPtyTest, OpenGivesAFreshEngineAndTheLineSettings) {
    link->BaudRate = 92160;
    ASSERT_TRUE(link->Open());
    EXPECT_EQ(link->LinkState(), -1);
    EXPECT_EQ(link->ReadPos(), 0);
    EXPECT_EQ(link->WritePos(), 0);
    EXPECT_FALSE(link->ReplyDoneSignalled() || link->TimedOutSignalled() || link->StopSignalled());
    ASSERT_NE(link->RxBuffer(), nullptr);
    EXPECT_TRUE(SameBytes(std::vector<std::uint8_t>(500, 0), std::span(link->RxBuffer(), 500)));
    EXPECT_EQ(pty.CurrentLineSettings().BaudRate, 92160u);
    EXPECT_THROW(link->Open(), ECommsError);
    EXPECT_TRUE(link->IsOpen());
}

TEST_F(LumoCommsPtyTest, RequestAndReplyCrossTheRealPort) {
    ASSERT_TRUE(link->Open());
    const TBytes request = {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03};
    const TBytes reply = {0x10, 0x02, 0x00, 0x02, 0x18, 0x25, 0xC1, 0x10, 0x03};
    ASSERT_EQ(Exchange(request, reply), 1);
    EXPECT_EQ(received, reply);
}

TEST_F(LumoCommsPtyTest, CloseFromInsideAWaitEndsItAndThePortReopensAtOnce) {
    ASSERT_TRUE(link->Open());
    TRxCondition conditions;
    conditions.AddCondition(2, kStart, true, 2, kEnd, true, 0, 1, 0);
    link->SetConditions(&conditions);
    link->ResetConditions();
    const std::uint8_t request[] = {0x10, 0x02, 0x08, 0x04, 0xF4, 0x10, 0x03};
    link->Send(request, sizeof request, 30);
    loop->PostDelayed(50, [this] { link->Close(); });
    EXPECT_EQ(link->WaitReply(), -2);
    link->ClearConditions();
    EXPECT_FALSE(link->IsOpen());
    link->Close();  // a second Close is harmless
    EXPECT_EQ(link->LinkState(), -2);
    ASSERT_TRUE(link->Open());
    ReadBytes(pty.MasterFd(), sizeof request, 100);  // the request the close cut short
    const TBytes bootRequest = {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03};
    EXPECT_EQ(Exchange(bootRequest, {0x10, 0x02, 0x00, 0x00, 0x00, 0x10, 0x03}), 1);
}

TEST_F(LumoCommsPtyTest, PeerHangingUpMidRequestEndsItByTimeout) {
    ASSERT_TRUE(link->Open());
    auto gone = std::make_unique<TPseudoTerminal>();
    // Point the link at a second pty and let its far end vanish while a request waits.
    link->Close();
    ports.Link(4, gone->SlavePath());
    link->CommPort = TComport::COM4;
    ASSERT_TRUE(link->Open());
    TRxCondition conditions;
    conditions.AddCondition(2, kStart, true, 2, kEnd, true, 0, 1, 0);
    link->SetConditions(&conditions);
    link->ResetConditions();
    const std::uint8_t request[] = {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03};
    link->Send(request, sizeof request, 3);
    gone.reset();
    EXPECT_EQ(link->WaitReply(), 0);
    link->ClearConditions();
    link->Close();
    EXPECT_FALSE(link->IsOpen());
}

TEST_F(LumoCommsPtyTest, ThousandOpenCloseCyclesLeakNothing) {
    ASSERT_TRUE(link->Open());
    link->Close();
    const std::size_t fds = CountEntries("/proc/self/fd");
    const std::size_t threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(link->Open()) << i;
        link->Close();
    }
    loop->DispatchPending();
    EXPECT_LE(CountSettledEntries("/proc/self/fd", fds), fds);
    EXPECT_LE(CountSettledEntries("/proc/self/task", threads), threads);
}

TEST_F(LumoCommsPtyTest, MissingPortFailsWithoutExceptionAndAnotherOpensAtOnce) {
    ports.Link(5, (ports.Path() / "absent").string());
    link->CommPort = TComport::COM5;
    EXPECT_FALSE(link->Open());
    EXPECT_EQ(link->LinkState(), 0);
    link->CommPort = TComport::COM3;
    EXPECT_TRUE(link->Open());
}

}  // namespace
