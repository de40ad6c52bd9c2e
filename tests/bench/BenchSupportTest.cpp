#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench/ChildProgram.h"
#include "bench/SampleStatistics.h"
#include "bench/TimedPortFactory.h"
#include "link/RxCondition.h"
#include "support/MemoryPortFactory.h"
#include "support/TempDir.h"
#include "support/VirtualMessageLoop.h"

namespace {

TEST(SampleStatistics, NearestRankPercentiles) {
    struct TCase {
        std::vector<double> samples;
        double p;
        double expected;
    };
    const std::vector<TCase> cases = {
        {{5, 1, 4, 2, 3}, 50, 3},
        {{1, 2, 3, 4}, 50, 2},
        {{1, 2, 3, 4}, 51, 3},
        {{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 99, 100},
        {{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 90, 90},
        {{7}, 99, 7},
        {{3, 1, 2}, 0, 1},
        {{}, 50, 0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(TSampleStatistics(c.samples).Percentile(c.p), c.expected)
            << c.samples.size() << " samples, p" << c.p;
    }
}

// The timed factory around in-memory ports: what it records of each exchange.
class TimedPortFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory = std::make_shared<TMemoryPortFactory>(loop);
        memory->AddPort("COM1");
        timed = std::make_shared<TTimedPortFactory>(memory);
        link = std::make_unique<TLumoComms>(loop, timed);
        link->BaudRate = 115200;
        timed->SetLink(link.get());
        ASSERT_TRUE(link->Open());
        const std::uint8_t start[] = {0x10, 0x02}, end[] = {0x10, 0x03};
        conditions.Clear();
        conditions.AddCondition(2, start, true, 2, end, true, 0, 1, 0);
        link->SetConditions(&conditions);
    }

    // One request; the peer's reply arrives in the given chunks, each after its delay.
    std::int32_t Exchange(std::vector<std::pair<std::vector<std::uint8_t>, std::uint32_t>> reply) {
        memory->OnWrite("COM1", [this, reply](const std::vector<std::uint8_t>&) {
            for (const auto& [bytes, delay] : reply) memory->Deliver("COM1", bytes, delay);
        });
        link->ResetConditions();
        const std::uint8_t request[] = {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03};
        link->Send(request, sizeof request, 30);
        return link->WaitReply();
    }

    TVirtualMessageLoop loop;
    std::shared_ptr<TMemoryPortFactory> memory;
    std::shared_ptr<TTimedPortFactory> timed;
    std::unique_ptr<TLumoComms> link;
    TRxCondition conditions;
};

TEST_F(TimedPortFactoryTest, RecordsBytesSpeedAndRecognitionOfEachExchange) {
    // A reply in two chunks, then trailing bytes that come after the reply was recognised.
    ASSERT_EQ(
        Exchange({{{0x10, 0x02, 0x00}, 5}, {{0x00, 0x18, 0x25, 0xC3, 0x10, 0x03}, 7}, {{0xAA, 0xBB}, 20}}),
        1);
    loop.AdvanceBy(50);
    // No reply at all: the request times out.
    ASSERT_EQ(Exchange({}), 0);
    link->Close();

    const auto exchanges = timed->TakeExchanges();
    ASSERT_EQ(exchanges.size(), 2u);
    const auto& first = exchanges[0];
    EXPECT_TRUE(first.Replied);
    EXPECT_EQ(first.RequestBytes, 7u);
    EXPECT_EQ(first.ReplyBytes, 11u);  // the trailing bytes arrived before the next request
    EXPECT_EQ(first.Baud, 115200u);
    EXPECT_LE(first.Written, first.Recognised);
    EXPECT_LE(first.Recognised, first.Ended);
    const auto& second = exchanges[1];
    EXPECT_FALSE(second.Replied);
    EXPECT_EQ(second.ReplyBytes, 0u);
    EXPECT_TRUE(timed->TakeExchanges().empty());
}

TEST(ChildProgram, ReportsExitStatusSignalAndResourceUse) {
    TTempDir dir;
    const std::string out = (dir.Path() / "out").string(), err = (dir.Path() / "err").string();
    {
        TChildProgram p("/bin/sh", {"-c", "echo hello; echo $EXTRA >&2; exit 3"}, dir.Path().string(), out,
                        err, {"EXTRA=given"});
        const auto o = p.Wait(10000);
        EXPECT_TRUE(o.Ended);
        EXPECT_EQ(o.ExitStatus, 3);
        EXPECT_GT(o.PeakRssKb, 0);
        std::ifstream o1(out), e1(err);
        const std::string standardOutput((std::istreambuf_iterator<char>(o1)),
                                         std::istreambuf_iterator<char>());
        const std::string standardError((std::istreambuf_iterator<char>(e1)),
                                        std::istreambuf_iterator<char>());
        EXPECT_EQ(standardOutput, "hello\n");
        EXPECT_EQ(standardError, "given\n");
    }
    {
        TChildProgram p("/bin/sh", {"-c", "kill -TERM $$"}, "", out, err);
        const auto o = p.Wait(10000);
        EXPECT_TRUE(o.Ended);
        EXPECT_EQ(o.ExitStatus, -1);
        EXPECT_EQ(o.Signal, SIGTERM);
    }
    {
        // A child that does not end in time is killed and reported as not ended.
        TChildProgram p("/bin/sh", {"-c", "sleep 30"}, "", out, err);
        const auto o = p.Wait(100);
        EXPECT_FALSE(o.Ended);
        EXPECT_FALSE(p.Running());
    }
}

}  // namespace
