// An upgrade reaches the one unit whose identity it read: the device its first open found
// is held from the identity read to the end, whatever the port's name leads to meanwhile.
#include <gmock/gmock.h>

#include <functional>

#include "support/SuccessLog.h"
#include "tests/upgrade/UpgradeFixture.h"

namespace {

// The sequencer's log, with a hook that runs as each line is completed.
class THookedLog : public THistoryLog {
public:
    void ReplaceLogLine(const std::string& text) override {
        THistoryLog::ReplaceLogLine(text);
        if (OnReplace) OnReplace(text);
    }
    std::function<void(const std::string&)> OnReplace;
};

class UpgradePortHold : public UpgradeFixture {
protected:
    void SetUp() override {
        TSimConfig config;
        Build(config);
        other = std::make_unique<TSimulatedUnitPort>(loop, *ports, "COM2", config);
        boot = std::make_unique<TBootCommands>(*link, *package, hooked);
        sequencer = std::make_unique<UpgradeSequencer>(loop, view, hooked, *link, *package, *device, *boot);
    }

    bool Run() {
        sequencer->StartUpgrade();
        const std::uint64_t limit = loop.Now() + 30 * 60 * 1000;
        while (!view.Ended && loop.Now() < limit) loop.WaitAndDispatch(1000);
        return view.Ended;
    }

    THookedLog hooked;
    std::unique_ptr<TSimulatedUnitPort> other;
};

TEST_F(UpgradePortHold, NameThatPassesToAnotherUnitAfterTheIdentityReadLeavesThatUnitUntouched) {
    hooked.OnReplace = [&](const std::string& text) {
        if (text == "Initialising Upgrade.....Done (1)") ports->Redirect(kPort, "COM2");
    };
    ASSERT_TRUE(Run());
    // The unit that was identified is the unit upgraded; the other was never opened.
    EXPECT_TRUE(view.Completed);
    EXPECT_EQ(hooked.Lines(), kSuccessLog);
    EXPECT_TRUE(FlashHoldsImage());
    EXPECT_TRUE(ports->Devices("COM2").empty());
    EXPECT_EQ(other->Unit().Mode(), TSimMode::Application);
}

TEST_F(UpgradePortHold, PortStaysClaimedFromTheFirstOpenToTheEnd) {
    const std::size_t claimsBefore = ports->Requests().size();
    std::vector<bool> claimedWhileRunning;
    hooked.OnReplace = [&](const std::string&) { claimedWhileRunning.push_back(ports->Claimed(kPort)); };
    ASSERT_TRUE(Run());
    EXPECT_TRUE(view.Completed);
    // One claim for the whole upgrade, though the port was closed and opened again at each
    // change of speed: no other instance could have taken it in between.
    EXPECT_EQ(ports->Requests().size(), claimsBefore + 1);
    EXPECT_GT(ports->Devices(kPort).size(), 3u);
    EXPECT_GE(claimedWhileRunning.size(), kSuccessLog.size());
    EXPECT_THAT(claimedWhileRunning, testing::Each(true));
    // After the upgrade the port is held as any open port is: its next close gives it up.
    link->Close();
    EXPECT_FALSE(ports->Claimed(kPort));
}

}  // namespace
