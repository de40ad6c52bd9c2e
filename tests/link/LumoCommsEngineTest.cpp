#include <gtest/gtest.h>

#include <string>

#include "tests/link/LinkFixture.h"

namespace {

const Bytes kBootReply = {0x10, 0x02, 0x00, 0x02, 0x07, 0xF7, 0x10, 0x03};

using LinkEngine = LinkTest;

TEST_F(LinkEngine, BootRequestCompletesAcrossChunksAndReadsTheWholeFrame) {
    OpenLink();
    ports->OnWrite("COM1", [this](const Bytes&) {
        // The reply comes back in three pieces, the last after one reply-timer tick.
        ports->Deliver("COM1", {0x10, 0x02, 0x00}, 20);
        ports->Deliver("COM1", {0x02, 0x07, 0xF7, 0x10}, 60);
        ports->Deliver("COM1", {0x03}, 150);
    });
    TRxCondition list;
    AttachBootReply(list);
    const Bytes request = {0x10, 0x02, 0x00, 0x01, 0x10, 0x03};
    ASSERT_TRUE(Send(request, 30));
    EXPECT_EQ(link->WaitReply(), 1);
    EXPECT_EQ(loop.Now(), 150u);
    EXPECT_EQ(link->LinkState(), 1);
    EXPECT_FALSE(link->TimerEnabled()) << "the reply timer stops on completion";

    std::uint8_t frame[201];
    const std::uint16_t n = link->ReadReply(1, frame, 200, 1, -1, -1);
    EXPECT_EQ(Bytes(frame, frame + n), kBootReply);
    EXPECT_EQ(frame[n], 0);
    link->ClearConditions();

    ASSERT_EQ(Device()->Writes().size(), 1u);
    EXPECT_EQ(Device()->Writes()[0].Bytes, request);
}

TEST_F(LinkEngine, CompletionIsSignalledAfterTheWholeChunk) {
    OpenLink();
    TRxCondition list;
    AttachBootReply(list);
    ASSERT_TRUE(Send({0x01}, 30));

    bool sawDone = false;
    link->OnReceiveData = [&](const std::uint8_t*, std::uint16_t) { sawDone = link->ReplyDoneSignalled(); };
    Bytes chunk = kBootReply;
    chunk.insert(chunk.end(), {0xAA, 0xBB, 0xCC});  // trailing bytes in the same chunk
    Device()->Deliver(chunk);
    EXPECT_EQ(link->WaitReply(), 1);
    EXPECT_TRUE(sawDone) << "the chunk's data event comes after ReplyDone";
    EXPECT_EQ(link->WritePos(), chunk.size()) << "the rest of the chunk is still stored";
    EXPECT_EQ(list.GetItem(1)->CountAfter, 4) << "and still counted after the end";
}

TEST_F(LinkEngine, MatchingStopsForAllConditionsOnceOneMatchedBothPatterns) {
    OpenLink();
    TRxCondition list;
    const std::uint8_t slave[] = {0x11};
    const std::uint8_t normal[] = {0x03};
    const std::uint8_t exception[] = {0x83};
    list.AddCondition(1, slave, false, 1, normal, false, 0, 1, 5);
    list.AddCondition(1, slave, false, 1, exception, false, 0, 1, 1);
    link->SetConditions(&list);
    link->ResetConditions();
    ASSERT_TRUE(Send({0x11}, 20));
    // 11 starts both; 03 ends condition 1; the 83 is no longer matched by condition 2.
    Feed({0x11, 0x03, 0x83, 0x00});
    EXPECT_EQ(link->FindComplete(), -1);
    EXPECT_EQ(link->LinkState(), -1);
    EXPECT_FALSE(list.GetItem(2)->EndMatched);
    Feed({0x00, 0x00});
    EXPECT_EQ(link->LinkState(), 1);
    EXPECT_TRUE(link->ReplyDoneSignalled());
    EXPECT_EQ(list.GetItem(2)->CountBetween, 5) << "every byte still advances the others";
}

TEST_F(LinkEngine, LateBytesAfterATimeoutAreStoredAndMatchedButSignalNothing) {
    OpenLink();
    TRxCondition list;
    AttachBootReply(list);
    ASSERT_TRUE(Send({0x01}, 2));
    EXPECT_EQ(link->WaitReply(), 0);
    EXPECT_EQ(link->LinkState(), 0);

    Device()->Deliver(kBootReply);
    loop.RunUntilIdle();
    EXPECT_EQ(link->WritePos(), kBootReply.size());
    EXPECT_EQ(link->FindComplete(), 1);
    EXPECT_EQ(link->LinkState(), 0);
    EXPECT_FALSE(link->ReplyDoneSignalled());
}

TEST_F(LinkEngine, TimeoutFiresOnTickTPlusOne) {
    struct Case {
        std::uint16_t ticks;
        int firingTick;
    };
    const Case cases[] = {{0, 1}, {1, 2}, {2, 3}, {20, 21}, {30, 31}};
    OpenLink();
    for (const auto& c : cases) {
        SCOPED_TRACE("timeout " + std::to_string(c.ticks));
        const std::uint64_t sentAt = loop.Now();
        ASSERT_TRUE(Send({0x01}, c.ticks));
        int tick = 0;
        while (!link->TimedOutSignalled() && tick < 1000) {
            loop.AdvanceBy(100);
            ++tick;
        }
        EXPECT_EQ(tick, c.firingTick);
        EXPECT_FALSE(link->TimerEnabled());
        EXPECT_EQ(link->WaitReply(), 0);
        EXPECT_EQ(loop.Now() - sentAt, 100u * c.firingTick) << "WaitReply returned without moving the clock";
    }
}

TEST_F(LinkEngine, TimeoutFFFFNeverFires) {
    OpenLink();
    int timeOuts = 0;
    link->OnTimeOut = [&] { ++timeOuts; };
    ASSERT_TRUE(Send({0x01}, 0xFFFF));
    loop.AdvanceBy(7'000'000);  // 70000 ticks, more than 0xFFFF
    EXPECT_FALSE(link->TimedOutSignalled());
    EXPECT_EQ(timeOuts, 0);
    EXPECT_EQ(link->TimeoutTicks(), 0xFFFF);
    EXPECT_TRUE(link->TimerEnabled());
    EXPECT_EQ(link->LinkState(), -1);
}

TEST_F(LinkEngine, OnTimeOutIsCalledOnceWhenTheTimeoutExpires) {
    OpenLink();
    int timeOuts = 0;
    link->OnTimeOut = [&] { ++timeOuts; };
    ASSERT_TRUE(Send({0x01}, 3));
    loop.AdvanceBy(2000);
    EXPECT_EQ(timeOuts, 1);
    EXPECT_TRUE(link->TimedOutSignalled());
    EXPECT_EQ(link->LinkState(), -1) << "only WaitReply turns the timeout into state 0";
}

TEST_F(LinkEngine, TimerTickOutsideARequestStopsTheTimer) {
    OpenLink();
    TRxCondition list;
    AttachBootReply(list);
    ASSERT_TRUE(Send({0x01}, 5));
    Feed(kBootReply);
    ASSERT_EQ(link->LinkState(), 1);
    link->TimerTick();  // a tick already queued when the reply completed
    EXPECT_FALSE(link->TimerEnabled());
    EXPECT_FALSE(link->TimedOutSignalled());
}

TEST_F(LinkEngine, SendAndWaitOnAClosedLink) {
    // Never opened: the state is still 0 from construction.
    EXPECT_FALSE(Send({0x01}, 20));
    EXPECT_EQ(link->WaitReply(), 0);
    EXPECT_FALSE(link->TimerEnabled());

    // Closed after a session: Close ends at -1, which a request then gets at once.
    OpenLink();
    link->Close();
    EXPECT_FALSE(Send({0x01}, 20));
    EXPECT_EQ(link->LinkState(), -1);
    EXPECT_EQ(link->WaitReply(), -1);

    // Closed again: Close on a closed link leaves -2, which Send keeps.
    link->Close();
    EXPECT_FALSE(Send({0x01}, 20));
    EXPECT_EQ(link->LinkState(), -2);
    EXPECT_EQ(link->WaitReply(), -2);
    EXPECT_FALSE(link->TimerEnabled());
    EXPECT_EQ(loop.Now(), 0u) << "nothing was waited for";
    EXPECT_EQ(Device()->Writes().size(), 0u);
}

TEST_F(LinkEngine, FailedWriteReportsFalseAndTheRequestEndsByTimeout) {
    OpenLink();
    Device()->SetWriteFails(true);
    EXPECT_FALSE(Send({0x01, 0x02}, 1));
    EXPECT_EQ(link->LinkState(), -1);
    EXPECT_EQ(link->WaitReply(), 0);
}

TEST_F(LinkEngine, CloseDispatchedInsideAWaitEndsItWithMinusTwo) {
    struct Case {
        const char* name;
        bool reopen;
        bool replyAfterReopen;
    };
    const Case cases[] = {
        {"close", false, false},
        {"close and reopen", true, false},
        {"close, reopen and a complete reply", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!link->IsOpen()) {
            OpenLink();
        }
        TRxCondition list;
        AttachBootReply(list);
        ASSERT_TRUE(Send({0x01}, 30));
        const std::uint64_t sentAt = loop.Now();
        // As the operator choosing another port while a request waits.
        loop.PostDelayed(250, [&] {
            link->Close();
            if (c.reopen) {
                ASSERT_TRUE(link->Open());
            }
            if (c.replyAfterReopen) {
                Feed(kBootReply);  // completes on the new port, still not this request's reply
                ASSERT_EQ(link->LinkState(), 1);
            }
        });
        EXPECT_EQ(link->WaitReply(), -2);
        EXPECT_EQ(loop.Now() - sentAt, 250u) << "the wait ended on the dispatch that closed the link";
        EXPECT_EQ(link->IsOpen(), c.reopen);
        EXPECT_FALSE(link->TimerEnabled());
        link->ClearConditions();
    }
}

TEST_F(LinkEngine, OnReceiveMsgSwallowsTheReplySoTheWaitingRequestTimesOut) {
    OpenLink();
    std::vector<int> messages;
    link->OnReceiveMsg = [&](std::int32_t n) { messages.push_back(n); };
    TRxCondition list;
    AttachBootReply(list);
    ports->OnWrite("COM1", [this](const Bytes&) { ports->Deliver("COM1", kBootReply, 50); });
    ASSERT_TRUE(Send({0x01}, 5));
    EXPECT_EQ(link->WaitReply(), 0);
    EXPECT_EQ(loop.Now(), 600u);
    EXPECT_EQ(messages, std::vector<int>{1});
    EXPECT_EQ(link->WritePos(), 0) << "conditions and buffer reset for the next message";
    EXPECT_EQ(link->FindComplete(), -1);
}

TEST_F(LinkEngine, OnReceiveMsgDeliversEachMessageOfAStream) {
    OpenLink();
    std::vector<int> messages;
    link->OnReceiveMsg = [&](std::int32_t n) { messages.push_back(n); };
    TRxCondition list;
    const std::uint8_t start[] = {0x3A};  // ':'
    const std::uint8_t end[] = {0x0A};
    const std::uint8_t alarm[] = {0x21};  // '!'
    list.AddCondition(1, start, false, 1, end, false, 0, 0, 0);
    list.AddCondition(1, alarm, false, 0, nullptr, false, 0, 0, 0);
    link->SetConditions(&list);
    link->ResetConditions();
    Feed({0x3A, 0x41, 0x0A, 0x21, 0x3A, 0x0A});
    EXPECT_EQ(messages, (std::vector<int>{1, 2, 1}));
    EXPECT_EQ(link->WritePos(), 0);
    EXPECT_FALSE(link->ReplyDoneSignalled())
        << "each message was consumed; none is left to complete a request";
}

TEST_F(LinkEngine, OnReceiveMsgWithoutAWaitStopsTheTimeout) {
    OpenLink();
    int timeOuts = 0;
    link->OnTimeOut = [&] { ++timeOuts; };
    link->OnReceiveMsg = [](std::int32_t) {};
    TRxCondition list;
    AttachBootReply(list);
    ASSERT_TRUE(Send({0x01}, 3));
    Feed(kBootReply);
    EXPECT_FALSE(link->TimerEnabled());
    loop.AdvanceBy(2000);
    EXPECT_EQ(timeOuts, 0) << "a message delivered by event leaves no stray timeout";
}

TEST_F(LinkEngine, OnReceiveMsgThatClosesTheLinkDropsTheRestOfTheChunk) {
    OpenLink();
    link->OnReceiveMsg = [&](std::int32_t) { link->Close(); };
    TRxCondition list;
    AttachBootReply(list);
    Bytes chunk = kBootReply;
    chunk.insert(chunk.end(), 300, 0x55);  // more than the buffer that was released
    Feed(chunk);
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(link->RxBuffer(), nullptr);
}

TEST_F(LinkEngine, FullBufferKeepsItsFirstBytesAndOverwritesTheLastSlot) {
    link->RxBufferSize = 8;
    OpenLink();
    ASSERT_TRUE(Send({0x01}, 20));
    Bytes in;
    for (std::uint8_t i = 1; i <= 12; ++i) {
        in.push_back(i);
    }
    Feed(in);
    EXPECT_EQ(Bytes(link->RxBuffer(), link->RxBuffer() + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 12}));
    EXPECT_EQ(link->WritePos(), 7);
    Feed({13});
    EXPECT_EQ(link->RxBuffer()[7], 13);
    EXPECT_EQ(link->WritePos(), 7);
    EXPECT_EQ(link->ReadPos(), 0);
}

TEST_F(LinkEngine, ReplyLongerThanTheBufferIsStillRecognisedAndReadsStayInside) {
    link->RxBufferSize = 8;
    OpenLink();
    TRxCondition list;
    AttachBootReply(list);
    ASSERT_TRUE(Send({0x01}, 20));
    Bytes reply = {0x10, 0x02};
    reply.insert(reply.end(), 20, 0x44);
    reply.insert(reply.end(), {0x10, 0x03});
    Feed(reply);
    EXPECT_EQ(link->LinkState(), 1);
    Bytes out(300, 0xCC);
    const std::uint16_t n = link->ReadReply(1, out.data(), 200, 1, -1, -1);
    EXPECT_LE(n, 8) << "never more than the buffer holds";
    EXPECT_EQ(out[n], 0);
    EXPECT_EQ(out[n + 1], 0xCC);
}

// Noise, then a boot reply, then a trailing byte; WritePos ends at 10.
//   pos: 0  1  2  3  4  5  6  7  8  9
//        AA BB 10 02 01 02 03 10 03 EE
// CountBefore 3 (AA BB 10), CountBetween 5 (02 01 02 03 10), CountAfter 2 (03 EE).
TEST_F(LinkEngine, ReadReplyPhasesAndBounds) {
    OpenLink();
    TRxCondition list;
    AttachBootReply(list);
    ASSERT_TRUE(Send({0x01}, 20));
    Feed({0xAA, 0xBB, 0x10, 0x02, 0x01, 0x02, 0x03, 0x10, 0x03, 0xEE});
    ASSERT_EQ(link->LinkState(), 1);
    ASSERT_EQ(link->WritePos(), 10);

    struct Case {
        const char* name;
        int pre, mid, tail;
        std::uint16_t maxLen;
        Bytes want;
    };
    const Case cases[] = {
        {"boot reply", 1, -1, -1, 200, {0x10, 0x02, 0x01, 0x02, 0x03, 0x10, 0x03, 0xEE}},
        {"modbus read reply", 0, -1, -1, 256, {0x02, 0x01, 0x02, 0x03, 0x10, 0x03, 0xEE}},
        {"everything", -1, -1, -1, 200, {0xAA, 0xBB, 0x10, 0x02, 0x01, 0x02, 0x03, 0x10, 0x03, 0xEE}},
        {"pre beyond the start", 9, 0, 0, 200, {0xAA, 0xBB, 0x10}},
        {"cut at maxLen", 1, -1, -1, 4, {0x10, 0x02, 0x01, 0x02}},
        {"cut at maxLen in the tail", -1, -1, -1, 9, {0xAA, 0xBB, 0x10, 0x02, 0x01, 0x02, 0x03, 0x10, 0x03}},
        {"maxLen 0", -1, -1, -1, 0, {}},
        {"mid count jumps to the end", 0, 2, -1, 200, {0x02, 0x01, 0x03, 0xEE}},
        {"tail count", 0, 0, 3, 200, {0x02, 0x01, 0x02}},
        {"tail count stops at WritePos", 0, -1, 50, 200, {0x02, 0x01, 0x02, 0x03, 0x10, 0x03, 0xEE}},
        {"mid count stops at the received bytes",
         1,
         100,
         0,
         200,
         {0x10, 0x02, 0x01, 0x02, 0x03, 0x10, 0x03, 0xEE}},
        {"mid count then tail beyond WritePos", 0, 3, 5, 200, {0x02, 0x01, 0x02, 0x03, 0xEE}},
        {"nothing asked", 0, 0, 0, 200, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out(c.maxLen + 1 + 16, 0xCC);  // the caller's maxLen + 1 bytes, then a canary
        const std::uint16_t n = link->ReadReply(1, out.data(), c.maxLen, c.pre, c.mid, c.tail);
        ASSERT_EQ(n, c.want.size());
        EXPECT_EQ(Bytes(out.begin(), out.begin() + n), c.want);
        EXPECT_EQ(out[n], 0) << "closing zero";
        for (std::size_t i = c.maxLen + 1; i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0xCC) << "written past the caller's buffer at " << i;
        }
    }
}

TEST_F(LinkEngine, ReadReplyWithoutAUsableConditionCopiesNothing) {
    OpenLink();
    TRxCondition list;
    AddBootReply(list);
    ASSERT_TRUE(Send({0x01}, 20));
    Feed(kBootReply);
    struct Case {
        const char* name;
        bool attach;
        int n;
    };
    for (const Case& c :
         {Case{"no list", false, 1}, Case{"number 0", true, 0}, Case{"number past the count", true, 2}}) {
        SCOPED_TRACE(c.name);
        link->SetConditions(c.attach ? &list : nullptr);
        Bytes out(8, 0xCC);
        EXPECT_EQ(link->ReadReply(c.n, out.data(), 4, -1, -1, -1), 0);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[1], 0xCC);
    }
}

TEST_F(LinkEngine, ReadReplyIgnoresCountersThatPointPastTheReceivedBytes) {
    OpenLink();
    TRxCondition list;
    AttachBootReply(list);
    ASSERT_TRUE(Send({0x01}, 20));
    Feed(kBootReply);
    // Counters from bytes that arrived before the buffer was reset.
    list.GetItem(1)->CountBefore = 60000;
    list.GetItem(1)->CountBetween = 60000;
    Bytes out(1000, 0xCC);
    const std::uint16_t n = link->ReadReply(1, out.data(), 900, -1, -1, -1);
    EXPECT_EQ(n, kBootReply.size());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + n), kBootReply);
}

}  // namespace
