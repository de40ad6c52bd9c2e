#include <optional>

#include "tests/upgrade/UpgradeFixture.h"
#include "upgrade/PumpDelay.h"

namespace {

using DevicePreparationTest = UpgradeFixture;

// A model 6155 unit with settings values of its own in every carried register.
TSimConfig CarryOverUnit(std::uint16_t version, bool resets = true) {
    TSimConfig config;
    config.Model = 6155;
    config.Version = version;
    config.NewVersion = 110;
    config.ResetSettingsOnRestart = resets;
    config.Settings.push_back({17, 24, 0x1724});
    for (std::uint16_t r = 22; r <= 32; ++r)
        config.Settings.push_back({19, r, static_cast<std::uint16_t>(0x1900 + r)});
    for (std::uint16_t r = 7; r <= 28; ++r)
        config.Settings.push_back({20, r, static_cast<std::uint16_t>(0x2000 + r)});
    return config;
}

struct TModbusFrame {
    std::uint8_t slave, function;
    std::uint16_t reg, count;
    std::uint32_t timeMs;
};

// Modbus requests among the frames written (boot frames start with 0x10 0x02).
std::vector<TModbusFrame> ModbusRequests(const std::vector<UpgradeFixture::TFrame>& frames) {
    std::vector<TModbusFrame> out;
    for (const auto& f : frames) {
        if (f.Bytes.size() < 8 || (f.Bytes[0] == 0x10 && f.Bytes[1] == 0x02)) continue;
        out.push_back({f.Bytes[0], f.Bytes[1], static_cast<std::uint16_t>(f.Bytes[2] << 8 | f.Bytes[3]),
                       static_cast<std::uint16_t>(f.Bytes[4] << 8 | f.Bytes[5]), f.TimeMs});
    }
    return out;
}

TEST_F(DevicePreparationTest, SettingsOfA6155AreCarriedAcrossTheUpgrade) {
    MakePackage(6155, 110);
    Build(CarryOverUnit(109));
    ASSERT_TRUE(RunUpgrade());
    ASSERT_TRUE(view.Completed) << log.LastLine();
    EXPECT_EQ(log.Lines().front(), "Initialising Upgrade.....Done (1)");

    const auto requests = ModbusRequests(Frames());
    // Identity, then the three saves; after the boot phase 1, 11, 11 and 11 registers and the commit.
    ASSERT_EQ(requests.size(), 10u);
    const std::vector<std::tuple<int, int, int, int>> expected = {
        {19, 3, 20, 2},        {17, 3, 24, 1},    {19, 3, 22, 11},  {20, 3, 7, 22},    {19, 103, 29, 0x5A3E},
        {17, 103, 24, 0x1724}, {19, 104, 22, 11}, {20, 104, 7, 11}, {20, 104, 18, 11}, {19, 103, 29, 0x6E19},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(requests[i].slave, std::get<0>(expected[i]));
        EXPECT_EQ(requests[i].function, std::get<1>(expected[i]));
        EXPECT_EQ(requests[i].reg, std::get<2>(expected[i]));
        EXPECT_EQ(requests[i].count, std::get<3>(expected[i]));
    }

    // The unit's new firmware cleared its settings; they are back, the command register
    // written back as 0 before the commit command went to it.
    auto reg = [&](std::uint8_t s, std::uint16_t r) { return unit->Unit().Register(s, r).value_or(0xDEAD); };
    EXPECT_EQ(reg(17, 24), 0x1724);
    for (std::uint16_t r = 22; r <= 32; ++r) {
        if (r != 29) {
            EXPECT_EQ(reg(19, r), 0x1900 + r) << r;
        }
    }
    for (std::uint16_t r = 7; r <= 28; ++r) EXPECT_EQ(reg(20, r), 0x2000 + r) << r;
    EXPECT_EQ(unit->Unit().Statistics().Commits, 1u);
    EXPECT_EQ(device->Slave19Settings[7], 0);
    EXPECT_EQ(device->SettingsRestore().Result, 1);

    // The restored block to slave 19 carries 0 at register 29 (its eighth value).
    for (const auto& f : Frames())
        if (f.Bytes.size() == 9 + 22 && f.Bytes[0] == 19 && f.Bytes[1] == 104) {
            EXPECT_EQ(f.Bytes[7 + 2 * 7], 0);
            EXPECT_EQ(f.Bytes[8 + 2 * 7], 0);
        }

    // 5000 ms between the restart and the first restore write; 3000 ms after the commit.
    std::optional<std::uint32_t> restart;
    for (const auto& f : Frames())
        if (f.Bytes == std::vector<std::uint8_t>{0x10, 0x02, 0x00, 0x00, 0x00, 0x10, 0x03})
            restart = f.TimeMs;
    ASSERT_TRUE(restart);
    const std::uint32_t restartMs = *restart;
    EXPECT_GE(requests[5].timeMs - restartMs, 5000u);
    EXPECT_GE(loop.Now() - requests[9].timeMs, 3000u);
}

TEST_F(DevicePreparationTest, CarryOverDoesNotApplyOutsideItsCondition) {
    struct TCase {
        std::uint16_t model, unitVersion, packageVersion;
        bool waitsBeforeRestore;
    };
    const std::vector<TCase> cases = {
        {6155, 110, 110, true},   // unit already at 1.10
        {6155, 109, 109, true},   // package below 1.10
        {6181, 109, 110, false},  // another model
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model * 1000 + c.unitVersion);
        package.reset();
        MakePackage(c.model, c.packageVersion);
        TSimConfig config = CarryOverUnit(c.unitVersion);
        config.Model = c.model;
        Build(config);
        ReopenAt(9600);
        ASSERT_EQ(device->ReadDeviceIdentity(), 1);
        EXPECT_EQ(device->SaveDeviceSettings(), kReplyNotApplicable);
        const auto before = Frames().size();
        const auto start = loop.Now();
        EXPECT_EQ(device->RestoreDeviceSettings(), kReplyNotApplicable);
        EXPECT_EQ(Frames().size(), before);  // nothing sent by either
        EXPECT_EQ(loop.Now() - start >= 5000, c.waitsBeforeRestore);
    }
}

TEST_F(DevicePreparationTest, SilentUnitGivesZeroIdentityAfterThreeAttempts) {
    TSimConfig config;
    config.InitialMode = TSimMode::BootLoader;  // deaf to Modbus
    Build(config);
    device->DeviceModel = 6155;
    const auto start = loop.Now();
    EXPECT_EQ(device->ReadDeviceIdentity(), 0);
    EXPECT_EQ(device->DeviceModel, 0);
    EXPECT_EQ(device->DeviceVersion, 0);
    EXPECT_EQ(Frames().size(), 3u);
    EXPECT_GE(loop.Now() - start, 3u * 2100u);
    // The restore then returns at once.
    const auto restoreStart = loop.Now();
    EXPECT_EQ(device->RestoreDeviceSettings(), kReplyNotApplicable);
    EXPECT_EQ(loop.Now(), restoreStart);
}

TEST_F(DevicePreparationTest, FailedSaveEndsTheUpgradeBeforeAnythingIsWritten) {
    MakePackage(6155, 110);
    TSimConfig config = CarryOverUnit(109);
    config.Faults.FailAt = {3, 4, 5};  // every attempt of the second save read
    Build(config);
    ASSERT_TRUE(RunUpgrade());
    EXPECT_FALSE(view.Completed);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Initialising Upgrade.....Error"});
    EXPECT_EQ(unit->Unit().Mode(), TSimMode::Application);
    EXPECT_EQ(unit->Unit().Statistics().BootEntries, 0u);
}

TEST_F(DevicePreparationTest, FailedRestoreWriteSkipsTheRestButStillCommits) {
    MakePackage(6155, 110);
    TSimConfig config = CarryOverUnit(109);
    // Exchange 1 is the write to 17:24; 2 to 4 are the three attempts of the block to 19.
    config.Faults.FailAt = {2, 3, 4};
    Build(config);
    ReopenAt(9600);
    // As left by an identity read and a save before the boot phase.
    device->DeviceModel = 6155;
    device->DeviceVersion = 109;
    device->Slave17Settings[0] = 0x1724;
    EXPECT_EQ(device->RestoreDeviceSettings(), 0);
    const auto requests = ModbusRequests(Frames());
    // 17:24 written; the block to 19 tried three times; the blocks to 20 skipped; the commit.
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].slave, 17);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(requests[i].slave, 19);
    EXPECT_EQ(requests[4].reg, 29);
    EXPECT_EQ(requests[4].count, 0x6E19);
    // The log stays silent on it; callers can still tell which write failed.
    const TSettingsRestoreOutcome& outcome = device->SettingsRestore();
    EXPECT_TRUE(outcome.Failed());
    EXPECT_EQ(outcome.FailedWrite(), "slave 19, registers 22 to 32 (function 104)");
    EXPECT_EQ(outcome.ResultText(), "0 (no reply)");
}

TEST_F(DevicePreparationTest, PumpDelayKeepsDispatchingAndLastsTheRequestedTime) {
    Build(TSimConfig{});
    int ticks = 0;
    auto timer = loop.StartTimer(100, [&] { ++ticks; });
    const auto start = loop.Now();
    PumpDelay(loop, 1000);
    EXPECT_EQ(loop.Now() - start, 1000u);
    EXPECT_EQ(ticks, 10);
    PumpDelay(loop, 0);
    PumpDelay(loop, -5);
    EXPECT_EQ(loop.Now() - start, 1000u);
    loop.StopTimer(timer);
}

}  // namespace
