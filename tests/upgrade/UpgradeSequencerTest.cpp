#include <algorithm>
#include <set>
#include <span>
#include <vector>

#include "package/TitleTable.h"
#include "support/SameBytes.h"
#include "support/SuccessLog.h"
#include "tests/upgrade/UpgradeFixture.h"

namespace {

// Exchanges of a clean upgrade of a unit whose recipe has one write, numbered as the
// simulated unit counts them: 1 identity read, 2 entry write, 3-4 boot info, 5-6 model,
// then 124 erase commands, 496 write commands, clear boot flag, restart.
constexpr std::uint32_t kFirstErase = 7;
constexpr std::uint32_t kFirstWrite = kFirstErase + 124;
constexpr std::uint32_t kClearFlag = kFirstWrite + 496;
constexpr std::uint32_t kRestart = kClearFlag + 1;

using SequencerTest = UpgradeFixture;

TEST_F(SequencerTest, CleanUpgradeWritesTheImageAndLogsTheNineLines) {
    TSimConfig config;
    config.Model = 6181;
    config.BootLoaderVersion = 105;
    Build(config);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_TRUE(view.Completed);
    EXPECT_EQ(log.Lines(), kSuccessLog);
    EXPECT_TRUE(FlashHoldsImage());
    // The boot loader's own area is never touched.
    const auto& flash = unit->Unit().Flash();
    EXPECT_TRUE(SameBytes(std::vector<std::uint8_t>(2048, 0xFF), std::span(flash).first(2048)));
    EXPECT_TRUE(view.StartEnabled);
    EXPECT_TRUE(view.CloseEnabled);
    EXPECT_EQ(unit->Unit().Mode(), TSimMode::Application);
}

TEST_F(SequencerTest, ButtonsAreDisabledWhileTheUpgradeRuns) {
    Build(TSimConfig{});
    sequencer->StartUpgrade();
    EXPECT_FALSE(view.StartEnabled);
    EXPECT_FALSE(view.CloseEnabled);
    EXPECT_TRUE(sequencer->Running());
    sequencer->StartUpgrade();  // a second press while running starts nothing
    while (!view.Ended) loop.WaitAndDispatch(1000);
    EXPECT_EQ(view.EndCount, 1);
}

// Every expected model of the title table upgrades against a unit of that model: the unit
// only switches on its own entry writes and only answers at its own line speeds, so a wrong
// recipe or speed in the updater's tables fails here.
TEST_F(SequencerTest, EveryExpectedModelUpgrades) {
    std::vector<std::uint16_t> models;
    for (const auto& row : TitleTable())
        if (std::find(models.begin(), models.end(), row.ExpectedModel) == models.end())
            models.push_back(row.ExpectedModel);
    const std::vector<std::uint16_t> expected = {6104, 6117, 6121, 6126, 6140, 6152, 6155, 6160,
                                                 6164, 6181, 6182, 6186, 6192, 6193, 6195, 6196,
                                                 6197, 6198, 6199, 6200, 6201, 6202, 6203};
    std::vector<std::uint16_t> sorted = models;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(sorted, expected);
    for (std::uint16_t model : models) {
        SCOPED_TRACE(model);
        package.reset();
        view = TRecordingView{};
        log.Clear();
        TSimConfig config;
        config.Model = model;
        // A unit that switches without any write (6160) is already waiting in its loader.
        Build(config);
        ASSERT_TRUE(RunUpgrade());
        EXPECT_TRUE(view.Completed) << log.LastLine();
        EXPECT_TRUE(FlashHoldsImage());
    }
}

TEST_F(SequencerTest, EntryWritesGoToTheWireInRecipeOrderAtTheModbusSpeed) {
    struct TCase {
        std::uint16_t model;
        std::uint32_t modbusSpeed, bootSpeed;
        std::vector<std::vector<std::uint8_t>> writeHeads;  // slave, function, register
    };
    const std::vector<TCase> cases = {
        {6104, 9600, 115200, {{1, 6, 0, 156}, {0, 6, 0, 156}}},
        {6121, 9600, 115200, {{242, 6, 0, 13}}},
        {6140, 9600, 115200, {{1, 103, 0, 8}}},
        {6152, 800000, 92160, {{1, 103, 0, 8}, {2, 103, 0, 5}}},
        {6155, 9600, 115200, {{19, 103, 0, 29}}},
        {6160, 9600, 115200, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        package.reset();
        MakePackage(c.model, 112);
        TSimConfig config;
        config.Model = c.model;
        Build(config);
        device->EnterBootMode();
        std::vector<std::vector<std::uint8_t>> heads;
        for (const auto& f : Frames()) {
            ASSERT_EQ(f.Baud, c.modbusSpeed);
            ASSERT_EQ(f.Bytes.size(), 8u);
            EXPECT_EQ(f.Bytes[4], 0x5A);
            EXPECT_EQ(f.Bytes[5], 0x3E);
            heads.push_back({f.Bytes[0], f.Bytes[1], f.Bytes[2], f.Bytes[3]});
        }
        EXPECT_EQ(heads, c.writeHeads);
        EXPECT_EQ(link->BaudRate, c.bootSpeed);
        EXPECT_TRUE(link->IsOpen());
        EXPECT_EQ(unit->Unit().Mode(), TSimMode::BootLoader);
    }
}

TEST_F(SequencerTest, BroadcastEntryWriteCostsItsFullTimeout) {
    MakePackage(6164, 112);
    TSimConfig config;
    config.Model = 6164;
    Build(config);
    const auto start = loop.Now();
    device->EnterBootMode();
    // The second write goes to slave 0, which never answers: 21 ticks of 100 ms.
    EXPECT_GE(loop.Now() - start, 2100u);
    EXPECT_LT(loop.Now() - start, 2400u);
}

TEST_F(SequencerTest, UnitAlreadyInItsBootLoaderStillUpgrades) {
    TSimConfig config;
    config.InitialMode = TSimMode::BootLoader;
    Build(config);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_EQ(log.Lines().front(), "Initialising Upgrade.....Done (0)");
    EXPECT_TRUE(view.Completed);
    EXPECT_TRUE(FlashHoldsImage());
}

TEST_F(SequencerTest, IncompatibleModelStopsBeforeErasing) {
    TSimConfig config;
    config.Faults.ReportModel = 6117;
    Build(config);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_FALSE(view.Completed);
    EXPECT_EQ(log.LastLine(), "Retrieving Model Number......Error (Incompatible Model)");
    EXPECT_EQ(log.Lines().size(), 4u);
    EXPECT_EQ(unit->Unit().Statistics().BootErases, 0u);
    EXPECT_TRUE(view.StartEnabled);
}

TEST_F(SequencerTest, SilentUnitEndsWithNoReply) {
    TSimConfig config;
    config.Faults.HangUpAt = 1;  // deaf from the first request on
    Build(config);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_FALSE(view.Completed);
    const std::vector<std::string> expected = {
        "Initialising Upgrade.....Done (0)",
        "Enabling BootLoader.....Done",
        "Retrieving Bootloader Info......Info Unavailable",
        "Retrieving Model Number......Error (No Reply)",
    };
    EXPECT_EQ(log.Lines(), expected);
}

TEST_F(SequencerTest, EraseOrWriteFailureLeavesProgressAndTheUnitRecoversOnTheNextRun) {
    struct TCase {
        std::uint32_t failAt;
        std::string lastLine;
        std::string progressBefore;  // what the line read just before the failure
    };
    const std::vector<TCase> cases = {
        {kFirstErase, "Erasing Program Memory......Error Detected", "Erasing Program Memory......0%"},
        {kFirstErase + 62, "Erasing Program Memory......Error Detected", "Erasing Program Memory......50%"},
        {kFirstWrite + 248, "Sending New Program Data......Error Detected",
         "Sending New Program Data......50%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failAt);
        package.reset();
        view = TRecordingView{};
        log.Replaced.clear();
        TSimConfig config;
        config.Faults.FailAt = {c.failAt};
        Build(config);
        ASSERT_TRUE(RunUpgrade());
        EXPECT_FALSE(view.Completed);
        EXPECT_EQ(log.LastLine(), c.lastLine);
        ASSERT_GE(log.Replaced.size(), 2u);
        EXPECT_EQ(log.Replaced[log.Replaced.size() - 2], c.progressBefore);
        EXPECT_EQ(unit->Unit().Mode(), TSimMode::BootLoader);
        EXPECT_FALSE(FlashHoldsImage());
        // The next upgrade finds the unit in its boot loader and completes it.
        ASSERT_TRUE(RunUpgrade());
        EXPECT_TRUE(view.Completed) << log.LastLine();
        EXPECT_EQ(log.Lines().front(), "Initialising Upgrade.....Done (0)");
        EXPECT_TRUE(FlashHoldsImage());
    }
}

TEST_F(SequencerTest, ClearBootFlagIsRetriedUntilAnsweredAndFailsWhenNeverAnswered) {
    struct TCase {
        std::set<std::uint32_t> damagedRequests;
        std::set<std::uint32_t> droppedReplies;
        bool completed;
    };
    const std::vector<TCase> cases = {
        // A damaged request leaves the flag set; the next attempt clears it.
        {{kClearFlag}, {}, true},
        // A lost reply after the flag was cleared: clearing again is harmless.
        {{}, {kClearFlag, kClearFlag + 1}, true},
        // Never answered: the unit would restart into its boot loader.
        {{kClearFlag, kClearFlag + 1, kClearFlag + 2}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damagedRequests.size() * 10 + c.droppedReplies.size());
        package.reset();
        view = TRecordingView{};
        TSimConfig config;
        config.Faults.CorruptRequestAt = c.damagedRequests;
        config.Faults.DropAt = c.droppedReplies;
        Build(config);
        ASSERT_TRUE(RunUpgrade());
        EXPECT_EQ(view.Completed, c.completed);
        if (c.completed) {
            EXPECT_EQ(log.Lines(), kSuccessLog);
            EXPECT_EQ(unit->Unit().Mode(), TSimMode::Application);
            EXPECT_FALSE(unit->Unit().BootFlag());
        } else {
            EXPECT_EQ(log.LastLine(), "Disabling Boot Mode......Error Detected");
            EXPECT_EQ(unit->Unit().Statistics().BootRestarts, 0u);
            EXPECT_TRUE(unit->Unit().BootFlag());
            EXPECT_TRUE(view.StartEnabled);
            // The image is in place; the next upgrade finds the unit in its boot loader.
            ASSERT_TRUE(RunUpgrade());
            EXPECT_TRUE(view.Completed) << log.LastLine();
            EXPECT_EQ(unit->Unit().Mode(), TSimMode::Application);
        }
        EXPECT_TRUE(FlashHoldsImage());
    }
}

TEST_F(SequencerTest, RestartWithoutReplyStillFinalises) {
    TSimConfig config;
    config.Faults.DropAt = {kRestart};
    Build(config);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_TRUE(view.Completed);
    EXPECT_EQ(log.Lines()[7], "Restarting Unit......Done");
    EXPECT_EQ(log.LastLine(), "Finalising Upgrade.....Done");
}

TEST_F(SequencerTest, SharedBoardProductExpectsTheSharedModel) {
    MakePackage(6170, 112, /*expectedModel=*/6140);
    TSimConfig config;
    config.Model = 6140;
    config.ApplicationModel = 6170;
    Build(config);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_TRUE(view.Completed) << log.LastLine();
    EXPECT_EQ(log.Lines()[2], "Retrieving Bootloader Info......VX6140 v1.05");
}

TEST_F(SequencerTest, ProcessorOutsideTheTableIsRefusedBeforeAnythingIsSent) {
    MakePackage(6181, 112);
    package->ProcessorNumber = 1234;  // as Load File leaves it: ProgramEnd from the old package
    Build(TSimConfig{});
    ASSERT_TRUE(RunUpgrade());
    EXPECT_FALSE(view.Completed);
    EXPECT_EQ(log.Lines(),
              std::vector<std::string>{"Initialising Upgrade.....Error (Unknown Processor 1234)"});
    EXPECT_TRUE(Frames().empty());
    EXPECT_TRUE(view.StartEnabled);
}

TEST_F(SequencerTest, ErrorRaisedByOpenEndsTheUpgradeWithButtonsEnabled) {
    Build(TSimConfig{});
    ports->SetNotTerminal(kPort);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_FALSE(view.Completed);
    ASSERT_EQ(view.Errors.size(), 1u);
    EXPECT_EQ(view.Errors[0], "File Handle is not a Comm Handle.");
    EXPECT_TRUE(view.StartEnabled);
    EXPECT_TRUE(view.CloseEnabled);
    EXPECT_FALSE(sequencer->Running());
}

TEST_F(SequencerTest, StopRequestedDuringAStepEndsAfterThatStep) {
    TSimConfig config;
    config.TurnaroundUs = 2000;  // so the erase loop takes virtual time
    Build(config);
    // A timer runs inside the waits of the erase step, as a close request from the
    // window would, and asks the upgrade to stop there.
    bool requested = false;
    TMessageLoop::TTimerId timer = loop.StartTimer(50, [&] {
        if (!requested && sequencer->InStep() && log.Lines().size() == 5) {
            sequencer->RequestStop();
            requested = true;
        }
    });
    ASSERT_TRUE(RunUpgrade());
    loop.StopTimer(timer);
    EXPECT_TRUE(requested);
    EXPECT_FALSE(view.Completed);
    EXPECT_EQ(log.Lines().size(), 5u);  // the write step never started
    EXPECT_EQ(log.LastLine(), "Erasing Program Memory......100%");
    EXPECT_TRUE(view.StartEnabled);
}

}  // namespace
