#include <gtest/gtest.h>

#include "bench/CampaignFault.h"
#include "sim/SimCommandLine.h"

namespace {

using TKind = TCampaignFault::TKind;

// In process the fault goes into the unit's plan directly; over a pseudo-terminal it goes
// through unitsim's command line. Both must ask the unit for the same thing.
TEST(CampaignFault, CommandLineAndPlanAskTheSameOfTheUnit) {
    std::mt19937_64 random(5);
    for (int round = 0; round < 20; ++round) {
        for (int k = 0; k < TCampaignFault::kKinds; ++k) {
            const TCampaignFault fault = TCampaignFault::Draw(static_cast<TKind>(k), random);
            SCOPED_TRACE(fault.Describe());
            TSimFaultPlan direct;
            fault.ApplyTo(direct);
            const TSimFaultPlan parsed = TSimCommandLine::Parse(fault.UnitSimArgs()).Config.Faults;
            EXPECT_EQ(parsed.Seed, direct.Seed);
            EXPECT_EQ(parsed.CorruptRequestAt, direct.CorruptRequestAt);
            EXPECT_EQ(parsed.CorruptAt, direct.CorruptAt);
            EXPECT_EQ(parsed.DropAt, direct.DropAt);
            EXPECT_EQ(parsed.DelayAt, direct.DelayAt);
            EXPECT_EQ(parsed.NoiseAt, direct.NoiseAt);
            EXPECT_EQ(parsed.DuplicateAt, direct.DuplicateAt);
            EXPECT_EQ(parsed.ReportModel, direct.ReportModel);
            EXPECT_EQ(parsed.HangUpAt, direct.HangUpAt);
            EXPECT_EQ(parsed.PowerLossAtWrite, direct.PowerLossAtWrite);
            if (!direct.DelayAt.empty()) {
                EXPECT_EQ(parsed.DelayUs, direct.DelayUs);
            }
            if (!direct.NoiseAt.empty()) {
                EXPECT_EQ(parsed.NoiseBytes, direct.NoiseBytes);
            }
            if (!direct.DuplicateAt.empty()) {
                EXPECT_EQ(parsed.DuplicateGapUs, direct.DuplicateGapUs);
            }
        }
    }
}

TEST(CampaignFault, FaultsFallWhereTheirKindMeansThem) {
    std::mt19937_64 random(11);
    for (int i = 0; i < 500; ++i) {
        TSimFaultPlan plan;
        TCampaignFault::Draw(TKind::HangUp, random).ApplyTo(plan);
        // During the block writes.
        EXPECT_GE(plan.HangUpAt, TCampaignFault::kFirstWrite);
        EXPECT_LT(plan.HangUpAt, TCampaignFault::kFirstWrite + TCampaignFault::kWrites);

        TSimFaultPlan late;
        TCampaignFault::Draw(TKind::LateReply, random).ApplyTo(late);
        ASSERT_EQ(late.DelayAt.size(), 1u);
        // Past the timeout of the request it answers: 2.1 s for Modbus, 3.1 s for boot commands.
        EXPECT_GT(late.DelayUs, *late.DelayAt.begin() <= 2 ? 2'100'000u : 3'100'000u);

        TSimFaultPlan power;
        TCampaignFault::Draw(TKind::PowerLoss, random).ApplyTo(power);
        EXPECT_GE(power.PowerLossAtWrite, 1u);
        EXPECT_LE(power.PowerLossAtWrite, TCampaignFault::kWrites);
    }
}

TEST(CampaignFault, KindsAreFoundByName) {
    for (int k = 0; k < TCampaignFault::kKinds; ++k) {
        TKind found;
        ASSERT_TRUE(TCampaignFault::KindNamed(TCampaignFault::Name(static_cast<TKind>(k)), found));
        EXPECT_EQ(found, static_cast<TKind>(k));
    }
    TKind ignored;
    EXPECT_FALSE(TCampaignFault::KindNamed("gremlins", ignored));
}

}  // namespace
