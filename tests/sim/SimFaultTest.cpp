#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "sim/SimUnit.h"
#include "support/SameBytes.h"
#include "tests/sim/SimTestFrames.h"

using simtest::Bytes;
using simtest::Exchange;

namespace {

// What a run of identity reads produced: every reply with its time.
std::vector<TSimReply> RunReads(const TSimConfig& config, int requests) {
    TSimUnit unit(config);
    std::vector<TSimReply> all;
    for (int i = 0; i < requests; ++i) {
        auto r = unit.Receive(simtest::ReadRequest(19, 20, 2), 1'000'000ULL * (i + 1), simtest::Line(9600));
        all.insert(all.end(), r.begin(), r.end());
        // An empty marker keeps a dropped reply visible in the comparison.
        if (r.empty()) all.push_back({});
    }
    return all;
}

bool SameReplies(const std::vector<TSimReply>& a, const std::vector<TSimReply>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].Bytes != b[i].Bytes || a[i].DueUs != b[i].DueUs) return false;
    }
    return true;
}

TSimConfig RandomFaults(std::uint64_t seed) {
    TSimConfig c;
    c.Faults.Seed = seed;
    c.Faults.CorruptRate = 0.3;
    c.Faults.DropRate = 0.2;
    c.Faults.DelayRate = 0.3;
    c.Faults.NoiseRate = 0.3;
    c.Faults.DelayUs = 700000;
    return c;
}

const Bytes kIdentityReply = simtest::WithCrc({19, 3, 4, 0x18, 0x25, 0x00, 109});

}  // namespace

TEST(SimFaults, SameSeedSameFaults) {
    const auto first = RunReads(RandomFaults(42), 60);
    EXPECT_TRUE(SameReplies(first, RunReads(RandomFaults(42), 60)));
    EXPECT_FALSE(SameReplies(first, RunReads(RandomFaults(43), 60)));

    // Every kind of fault struck, and some replies came through untouched. A seed names one
    // fault sequence on every platform (a recorded seed replays it), so the tallies of seed 42
    // are fixed: a change in how the plan draws shows here.
    int clean = 0, dropped = 0, delayed = 0, altered = 0;
    for (const TSimReply& r : first) {
        if (r.Bytes.empty()) {
            ++dropped;
        } else if (r.Bytes == kIdentityReply) {
            ++clean;
        } else {
            ++altered;
        }
        if (r.DelayUs >= 700000) ++delayed;
    }
    EXPECT_EQ(clean, 25);
    EXPECT_EQ(dropped, 10);
    EXPECT_EQ(delayed, 17);
    EXPECT_EQ(altered, 25);
}

TEST(SimFaults, RatesOfOneKindDoNotMoveTheOthers) {
    // The drops fall on the same exchanges whether or not delays are drawn too.
    TSimConfig dropsOnly;
    dropsOnly.Faults.Seed = 7;
    dropsOnly.Faults.DropRate = 0.4;
    TSimConfig dropsAndDelays = dropsOnly;
    dropsAndDelays.Faults.DelayRate = 0.5;
    const auto a = RunReads(dropsOnly, 40);
    const auto b = RunReads(dropsAndDelays, 40);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].Bytes.empty(), b[i].Bytes.empty()) << i;
}

TEST(SimFaults, TargetedFaultsStrikeTheirExchange) {
    TSimConfig c;
    c.Faults.DropAt = {2};
    c.Faults.CorruptAt = {3};
    c.Faults.NoiseAt = {4};
    c.Faults.NoiseBytes = 5;
    c.Faults.DelayAt = {5};
    c.Faults.DelayUs = 250000;
    c.Faults.FailAt = {6};
    const auto replies = RunReads(c, 7);
    ASSERT_EQ(replies.size(), 7u);
    EXPECT_EQ(replies[0].Bytes, kIdentityReply);
    EXPECT_TRUE(replies[1].Bytes.empty());
    ASSERT_EQ(replies[2].Bytes.size(), kIdentityReply.size());
    EXPECT_NE(replies[2].Bytes, kIdentityReply);
    int differing = 0;
    for (std::size_t i = 0; i < kIdentityReply.size(); ++i)
        differing += replies[2].Bytes[i] != kIdentityReply[i];
    EXPECT_EQ(differing, 1);
    ASSERT_EQ(replies[3].Bytes.size(), kIdentityReply.size() + 5);
    EXPECT_TRUE(SameBytes(kIdentityReply, std::span(replies[3].Bytes).subspan(5)));
    EXPECT_EQ(replies[4].Bytes, kIdentityReply);
    EXPECT_EQ(replies[4].DelayUs, 250000u);
    EXPECT_TRUE(replies[5].Bytes.empty());
    EXPECT_EQ(replies[6].Bytes, kIdentityReply);
}

TEST(SimFaults, FailedCommandIsNotCarriedOutDroppedReplyIs) {
    TSimConfig c;
    c.InitialMode = TSimMode::BootLoader;
    c.Faults.FailAt = {1};
    c.Faults.DropAt = {2};
    TSimUnit unit(c);
    std::uint64_t now = 0;
    EXPECT_TRUE(Exchange(unit, simtest::EraseRequest(2048), now, 115200).empty());
    EXPECT_TRUE(Exchange(unit, simtest::WriteBlockRequest(2048, Bytes(128, 0x42)), now, 115200).empty());
    EXPECT_EQ(unit.Statistics().BootErases, 0u);
    EXPECT_EQ(unit.Statistics().BootWrites, 1u);
    EXPECT_EQ(unit.Flash()[2048], 0x42);
    EXPECT_EQ(unit.Statistics().FaultFailed, 1u);
    EXPECT_EQ(unit.Statistics().FaultDropped, 1u);
}

TEST(SimFaults, DamagedRequestIsNeitherCarriedOutNorAnsweredAndKeepsItsNumber) {
    TSimConfig c;
    c.InitialMode = TSimMode::BootLoader;
    c.Faults.CorruptRequestAt = {2};
    c.Faults.DropAt = {3};
    TSimUnit unit(c);
    std::uint64_t now = 0;
    EXPECT_FALSE(Exchange(unit, simtest::EraseRequest(2048), now, 115200).empty());
    EXPECT_TRUE(Exchange(unit, simtest::WriteBlockRequest(2048, Bytes(128, 0x42)), now, 115200).empty());
    EXPECT_EQ(unit.Flash()[2048], 0xFF);
    // Exchange 3 is the next request: the damaged one was counted.
    EXPECT_TRUE(Exchange(unit, simtest::WriteBlockRequest(2048, Bytes(128, 0x42)), now, 115200).empty());
    EXPECT_EQ(unit.Flash()[2048], 0x42);
    const TSimStatistics& s = unit.Statistics();
    EXPECT_EQ(s.Exchanges, 3u);
    EXPECT_EQ(s.FaultRequestsCorrupted, 1u);
    EXPECT_EQ(s.BootBadChecksum, 1u);
    EXPECT_EQ(s.BootWrites, 1u);
    EXPECT_EQ(s.FaultDropped, 1u);
}

TEST(SimFaults, DuplicatedReplyFollowsAfterItsGapAndDelaysTheNextReply) {
    TSimConfig c;
    c.Faults.DuplicateAt = {1};
    c.Faults.DuplicateGapUs = 4000;
    TSimUnit unit(c);
    const auto first = unit.Receive(simtest::ReadRequest(19, 20, 2), 1000, simtest::Line(9600));
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].Bytes, kIdentityReply);
    EXPECT_EQ(first[1].Bytes, kIdentityReply);
    EXPECT_EQ(first[0].DueUs, 1000u);
    EXPECT_EQ(first[1].DueUs, 5000u);
    EXPECT_EQ(unit.Statistics().FaultDuplicated, 1u);
    // One line, one sender: a request answered at once still waits behind the copy.
    const auto second = unit.Receive(simtest::ReadRequest(19, 20, 2), 2000, simtest::Line(9600));
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].DueUs, 5000u);
}

TEST(SimFaults, ReportsAnotherModelToTheModelRequestOnly) {
    TSimConfig c;
    c.InitialMode = TSimMode::BootLoader;
    c.Faults.ReportModel = 6140;
    TSimUnit unit(c);
    std::uint64_t now = 0;
    const auto model = simtest::UnstuffReply(Exchange(unit, simtest::ReadModelRequest(), now, 115200));
    ASSERT_TRUE(model.has_value());
    EXPECT_EQ(Bytes(model->begin() + 2, model->begin() + 4), (Bytes{0x17, 0xFC}));
    const auto info = simtest::UnstuffReply(Exchange(unit, simtest::BootInfoRequest(), now, 115200));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(Bytes(info->begin() + 2, info->begin() + 4), (Bytes{0x18, 0x25}));
}

TEST(SimFaults, HangUpEndsAllListening) {
    TSimConfig c;
    c.Faults.HangUpAt = 2;
    TSimUnit unit(c);
    std::uint64_t now = 0;
    EXPECT_FALSE(Exchange(unit, simtest::ReadRequest(19, 20, 2), now, 9600).empty());
    EXPECT_FALSE(unit.HungUp());
    EXPECT_TRUE(Exchange(unit, simtest::WriteRequest(19, 103, 29, 0x5A3E), now, 9600).empty());
    EXPECT_TRUE(unit.HungUp());
    EXPECT_EQ(unit.Mode(), TSimMode::Application);
    EXPECT_TRUE(Exchange(unit, simtest::ReadRequest(19, 20, 2), now, 9600).empty());
    EXPECT_EQ(unit.Statistics().Exchanges, 2u);
}

TEST(SimFaults, PowerLossDuringWriteLeavesFlashAndBootLoader) {
    TSimConfig c;
    c.Faults.PowerLossAtWrite = 2;
    TSimUnit unit(c);
    std::uint64_t now = 0;
    Exchange(unit, simtest::WriteRequest(19, 103, 29, 0x5A3E), now, 9600);
    Exchange(unit, simtest::EraseRequest(2048), now, 115200);
    EXPECT_FALSE(Exchange(unit, simtest::WriteBlockRequest(2048, Bytes(128, 0x11)), now, 115200).empty());
    EXPECT_TRUE(Exchange(unit, simtest::WriteBlockRequest(2176, Bytes(128, 0x22)), now, 115200).empty());
    EXPECT_EQ(unit.Statistics().PowerLosses, 1u);
    EXPECT_EQ(unit.Flash()[2048], 0x11);
    EXPECT_EQ(unit.Flash()[2176], 0xFF);
    EXPECT_EQ(unit.Mode(), TSimMode::BootLoader);
    EXPECT_TRUE(unit.BootFlag());
    // It answers its boot loader's requests again, and writes go on.
    EXPECT_FALSE(Exchange(unit, simtest::ReadModelRequest(), now, 115200).empty());
    EXPECT_FALSE(Exchange(unit, simtest::WriteBlockRequest(2176, Bytes(128, 0x22)), now, 115200).empty());
    EXPECT_EQ(unit.Flash()[2176], 0x22);
}

TEST(SimFaults, DelayedReplyIsNotOvertaken) {
    TSimConfig c;
    c.Faults.DelayAt = {1};
    c.Faults.DelayUs = 400000;
    TSimUnit unit(c);
    Bytes two = simtest::ReadRequest(19, 20, 1);
    const Bytes second = simtest::ReadRequest(19, 21, 1);
    two.insert(two.end(), second.begin(), second.end());
    const auto replies = unit.Receive(two, 1000, simtest::Line(9600));
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_GE(replies[1].DueUs, replies[0].DueUs);
}
