#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "link/CommsError.h"
#include "support/SameBytes.h"
#include "tests/link/LinkFixture.h"

namespace {

using LinkPort = LinkTest;

// Runs f, which must throw ECommsError with exactly this message.
template <typename F>
void ExpectCommsError(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no ECommsError, expected \"" << message << "\"";
    } catch (const ECommsError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(LinkPortName, FollowsTheDeviceNamingRule) {
    struct Case {
        int ordinal;
        const char* name;
    };
    const Case cases[] = {
        {0, "COM1"},          {8, "COM9"},           {9, "\\\\.\\COM10"},    {31, "\\\\.\\COM32"},
        {39, "\\\\.\\COM40"}, {99, "\\\\.\\COM100"}, {255, "\\\\.\\COM256"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TLumoComms::PortName(static_cast<TComport>(c.ordinal)), c.name) << "ordinal " << c.ordinal;
    }
    // The prefix is two backslashes, a full stop and a backslash.
    EXPECT_EQ(TLumoComms::PortName(TComport::COM10), std::string("\\\\.\\") + "COM10");
    EXPECT_EQ(TLumoComms::PortName(TComport::COM10).size(), 9u);
}

TEST_F(LinkPort, OpenAsksForTheDeviceByPortName) {
    ports->AddPort("COM9");
    ports->AddPort("\\\\.\\COM10");
    link->CommPort = TComport::COM9;
    ASSERT_TRUE(link->Open());
    link->Close();
    link->CommPort = TComport::COM10;
    ASSERT_TRUE(link->Open());
    link->Close();
    link->CommPort = static_cast<TComport>(255);
    EXPECT_FALSE(link->Open());
    EXPECT_EQ(ports->Requests(), (std::vector<std::string>{"COM9", "\\\\.\\COM10", "\\\\.\\COM256"}));
    EXPECT_TRUE(ports->Device("\\\\.\\COM10") != nullptr);
}

// A held port keeps its claim across Close, and every reopen reaches that claim's device;
// asking for another port is a new first open, and releasing gives the port up at the next
// Close (at once when the link is closed).
TEST_F(LinkPort, HeldPortIsClaimedUntilReleasedAndAnotherPortIsANewFirstOpen) {
    ports->AddPort("COM2");
    link->HoldPort();
    OpenLink();
    link->Close();
    EXPECT_TRUE(ports->Claimed("COM1"));
    ports->Redirect("COM1", "COM2");
    OpenLink();
    link->Close();
    EXPECT_EQ(ports->Devices("COM1").size(), 2u);
    EXPECT_TRUE(ports->Devices("COM2").empty());
    ports->RemovePort("COM1");  // the claimed device gone: the reopen fails, nothing else opens
    EXPECT_FALSE(link->Open());
    EXPECT_TRUE(ports->Devices("COM2").empty());
    link->CommPort = TComport::COM2;
    OpenLink();
    EXPECT_FALSE(ports->Claimed("COM1"));
    link->ReleasePort();
    EXPECT_TRUE(ports->Claimed("COM2"));
    link->Close();
    EXPECT_FALSE(ports->Claimed("COM2"));
    EXPECT_EQ(ports->Requests(), (std::vector<std::string>{"COM1", "COM2"}));
}

TEST_F(LinkPort, StateRightAfterOpen) {
    link->BaudRate = 115200;
    link->DataBits = 7;
    link->StopBits = TStopBits::sb2;
    link->Parity = TParity::Even;
    link->RxBufferSize = 64;
    ports->SetReportedBaudRate("COM1", 115107);
    EXPECT_EQ(link->LinkState(), 0) << "a new link";
    ASSERT_TRUE(link->Open());

    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(link->LinkState(), -1);
    EXPECT_FALSE(link->ReplyDoneSignalled());
    EXPECT_FALSE(link->TimedOutSignalled());
    EXPECT_FALSE(link->StopSignalled());
    EXPECT_FALSE(link->TimerEnabled());
    EXPECT_EQ(link->ReadPos(), 0);
    EXPECT_EQ(link->WritePos(), 0);
    ASSERT_NE(link->RxBuffer(), nullptr);
    EXPECT_TRUE(SameBytes(std::vector<std::uint8_t>(64, 0), std::span(link->RxBuffer(), 64)));
    EXPECT_EQ(link->ActualBaudRate(), 115107u);

    const auto dev = Device();
    ASSERT_TRUE(dev && dev->IsOpen());
    EXPECT_TRUE(dev->ReceiverRunning());
    ASSERT_EQ(dev->Purges().size(), 1u);
    EXPECT_EQ(dev->Purges()[0], TSerialDevice::kPurgeRx | TSerialDevice::kPurgeTx);
    ASSERT_EQ(dev->AppliedSettings().size(), 1u);
    const TLineSettings applied = dev->AppliedSettings()[0];
    EXPECT_EQ(applied.BaudRate, 115200u);
    EXPECT_EQ(applied.DataBits, 7);
    EXPECT_EQ(applied.StopBits, TStopBits::sb2);
    EXPECT_EQ(applied.Parity, TParity::Even);
}

TEST_F(LinkPort, MissingPortReturnsFalseAndChangesNothing) {
    link->CommPort = TComport::COM2;
    EXPECT_FALSE(link->Open());
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(link->LinkState(), 0);
    EXPECT_EQ(link->RxBuffer(), nullptr);

    link->Close();  // leaves -2, which a failed Open keeps
    EXPECT_FALSE(link->Open());
    EXPECT_EQ(link->LinkState(), -2);

    link->CommPort = TComport::COM1;  // another port, at once
    EXPECT_TRUE(link->Open());
    EXPECT_EQ(link->LinkState(), -1);
}

TEST_F(LinkPort, NonTerminalRaisesAndStaysClosed) {
    ports->AddPort("COM2");
    ports->SetNotTerminal("COM2");
    link->CommPort = TComport::COM2;
    ExpectCommsError([&] { link->Open(); }, "File Handle is not a Comm Handle.");
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(link->LinkState(), 0);
    EXPECT_EQ(link->RxBuffer(), nullptr);
    link->CommPort = TComport::COM1;
    EXPECT_TRUE(link->Open());
}

TEST_F(LinkPort, ReceiverFailureRaisesAndReleasesEverything) {
    ports->SetReceiverFails(true);
    ExpectCommsError([&] { link->Open(); }, "Unable To Create Rx Thread");
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(link->RxBuffer(), nullptr);
    EXPECT_EQ(link->LinkState(), 0);
    ASSERT_NE(Device(), nullptr);
    EXPECT_FALSE(Device()->IsOpen()) << "the device was closed again";
    EXPECT_EQ(ports->RunningReceivers(), 0);
    EXPECT_FALSE(Send({0x01}, 1));

    ports->SetReceiverFails(false);
    EXPECT_TRUE(link->Open()) << "the port is free again";
    EXPECT_EQ(ports->Devices("COM1").size(), 2u);
}

TEST_F(LinkPort, OpenTwiceRaisesAndTheOpenPortKeepsWorking) {
    OpenLink();
    const auto first = Device();
    ExpectCommsError([&] { link->Open(); }, "Already have a Comm File Open");
    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(Device(), first) << "no second device was opened";
    EXPECT_TRUE(first->IsOpen());

    TRxCondition list;
    AddBootReply(list);
    link->SetConditions(&list);
    link->ResetConditions();
    ports->OnWrite("COM1", [this](const Bytes&) {
        ports->Deliver("COM1", {0x10, 0x02, 0x07, 0x10, 0x03}, 30);
    });
    ASSERT_TRUE(Send({0x01}, 20));
    EXPECT_EQ(link->WaitReply(), 1) << "and keeps receiving";
}

TEST_F(LinkPort, CloseOnAClosedLinkOnlyResetsTheRequestState) {
    for (int i = 0; i < 2; ++i) {
        link->Close();
        EXPECT_EQ(link->LinkState(), -2);
        EXPECT_EQ(link->TimeoutTicks(), 0);
        EXPECT_FALSE(link->TimerEnabled());
        EXPECT_FALSE(link->ReplyDoneSignalled()) << "there are no events to signal";
        EXPECT_FALSE(link->IsOpen());
    }
    EXPECT_TRUE(ports->Requests().empty());
}

TEST_F(LinkPort, CloseTearsDownAndThePortReopensAtOnce) {
    OpenLink();
    ASSERT_TRUE(Send({0x01}, 20));
    ASSERT_TRUE(link->TimerEnabled());
    const auto dev = Device();
    link->Close();

    EXPECT_FALSE(link->IsOpen());
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_FALSE(dev->ReceiverRunning());
    EXPECT_EQ(ports->RunningReceivers(), 0);
    EXPECT_EQ(link->RxBuffer(), nullptr);
    EXPECT_EQ(link->LinkState(), -1);
    EXPECT_EQ(link->TimeoutTicks(), 0);
    EXPECT_FALSE(link->TimerEnabled());
    EXPECT_FALSE(link->ReplyDoneSignalled());
    ASSERT_EQ(dev->Purges().size(), 2u);
    EXPECT_EQ(dev->Purges()[1], TSerialDevice::kPurgeRx | TSerialDevice::kPurgeTx);

    EXPECT_TRUE(link->Open());
    EXPECT_NE(Device(), dev) << "a reopened port is a new device";
    EXPECT_EQ(link->LinkState(), -1);
}

TEST_F(LinkPort, PeerWiredToThePortAnswersAfterReopen) {
    int frames = 0;
    ports->OnWrite("COM1", [&](const Bytes& frame) {
        ++frames;
        if (frame == Bytes{0x42}) {
            ports->Deliver("COM1", {0x10, 0x02, 0x42, 0x10, 0x03}, 40);
        }
    });
    TRxCondition list;
    AddBootReply(list);
    for (int session = 0; session < 3; ++session) {
        OpenLink();
        link->SetConditions(&list);
        link->ResetConditions();
        ASSERT_TRUE(Send({0x42}, 20));
        EXPECT_EQ(link->WaitReply(), 1) << "session " << session;
        link->ClearConditions();
        link->Close();
    }
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(ports->Devices("COM1").size(), 3u);
}

TEST_F(LinkPort, ChunkIsHandedOverWithItsLengthAndClosingZero) {
    OpenLink();
    Bytes seen;
    std::uint16_t seenLength = 0;
    std::uint8_t terminator = 0xFF;
    link->OnReceiveData = [&](const std::uint8_t* buffer, std::uint16_t length) {
        seen.assign(buffer, buffer + length);
        seenLength = length;
        terminator = buffer[length];
    };
    const Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Device()->Deliver(ten, 5);
    loop.AdvanceBy(5);
    EXPECT_EQ(seenLength, 10);
    EXPECT_EQ(seen, ten);
    EXPECT_EQ(terminator, 0);
    EXPECT_EQ(link->WritePos(), 10) << "the engine saw the chunk first";
}

TEST_F(LinkPort, ChunkInFlightAtCloseIsDropped) {
    OpenLink();
    int chunks = 0;
    link->OnReceiveData = [&](const std::uint8_t*, std::uint16_t) { ++chunks; };
    Device()->Deliver(Bytes(40, 0x55));  // read and posted, not yet dispatched
    link->Close();
    loop.RunUntilIdle();
    EXPECT_EQ(chunks, 0);
    EXPECT_EQ(link->RxBuffer(), nullptr);
    EXPECT_EQ(link->LinkState(), -1);
}

TEST_F(LinkPort, ChunkReadBeforeAReopenDoesNotReachTheNewSession) {
    OpenLink();
    int chunks = 0;
    link->OnReceiveData = [&](const std::uint8_t*, std::uint16_t) { ++chunks; };
    Device()->Deliver(Bytes{0x13, 0x10, 0x02});  // read and posted, not yet dispatched
    link->Close();
    ASSERT_TRUE(link->Open());  // every reopen is Close then Open in one step
    loop.RunUntilIdle();
    EXPECT_EQ(chunks, 0);
    EXPECT_EQ(link->WritePos(), 0);
    // The new session's own bytes still arrive.
    Device()->Deliver(Bytes{0x13});
    loop.RunUntilIdle();
    EXPECT_EQ(chunks, 1);
    EXPECT_EQ(link->WritePos(), 1);
}

TEST_F(LinkPort, ChunkInFlightAtDestructionIsDropped) {
    OpenLink();
    int chunks = 0;
    link->OnReceiveData = [&](const std::uint8_t*, std::uint16_t) { ++chunks; };
    const auto dev = Device();
    dev->Deliver(Bytes(40, 0x55));
    link.reset();
    EXPECT_FALSE(dev->IsOpen()) << "destroying an open link closes it";
    EXPECT_EQ(ports->RunningReceivers(), 0);
    loop.RunUntilIdle();
    EXPECT_EQ(chunks, 0);
}

TEST_F(LinkPort, ZeroSizedBufferStillTakesBytesSafely) {
    link->RxBufferSize = 0;
    OpenLink();
    ASSERT_NE(link->RxBuffer(), nullptr);
    Feed({1, 2, 3});
    EXPECT_EQ(link->WritePos(), 0);
    EXPECT_EQ(link->RxBuffer()[0], 3);
}

}  // namespace
