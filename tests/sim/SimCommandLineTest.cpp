#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/SimCommandLine.h"

namespace {

TUnitSimOptions Parse(std::vector<std::string> args) {
    return TSimCommandLine::Parse(args);
}

}  // namespace

TEST(SimCommandLine, OptionsReachTheConfiguration) {
    const TUnitSimOptions o = Parse({"--ports-dir",
                                     "here",
                                     "--port=12",
                                     "--model",
                                     "0x1810",
                                     "--app-model",
                                     "6170",
                                     "--version",
                                     "109",
                                     "--new-version",
                                     "112",
                                     "--boot-version",
                                     "205",
                                     "--mode",
                                     "app",
                                     "--part-end",
                                     "0xBFFF",
                                     "--setting",
                                     "20:7=0x1234",
                                     "--setting",
                                     "17:24=5",
                                     "--reset-settings",
                                     "no",
                                     "--turnaround-ms",
                                     "1.5",
                                     "--erase-ms",
                                     "20",
                                     "--wire-time",
                                     "--seed",
                                     "99",
                                     "--drop-rate",
                                     "0.25",
                                     "--fail-at",
                                     "3,7",
                                     "--fail-at",
                                     "9",
                                     "--delay-ms",
                                     "0.75",
                                     "--report-model",
                                     "6140",
                                     "--hang-up-at",
                                     "40",
                                     "--power-loss-at-write",
                                     "17",
                                     "--corrupt-request-at",
                                     "5",
                                     "--duplicate-at",
                                     "6,8",
                                     "--duplicate-gap-ms",
                                     "2.5",
                                     "--trace"});
    const TSimConfig& c = o.Config;
    EXPECT_EQ(o.PortsDir, "here");
    EXPECT_EQ(o.Port, 12u);
    EXPECT_EQ(c.Model, 6160);
    EXPECT_EQ(c.ApplicationModel, 6170);
    EXPECT_EQ(c.Version, 109);
    EXPECT_EQ(c.NewVersion, 112);
    EXPECT_EQ(c.BootLoaderVersion, 205);
    EXPECT_EQ(c.InitialMode, TSimMode::Application);
    EXPECT_EQ(c.PartEnd, 0xBFFFu);
    ASSERT_EQ(c.Settings.size(), 2u);
    EXPECT_EQ(c.Settings[0].Slave, 20);
    EXPECT_EQ(c.Settings[0].Register, 7);
    EXPECT_EQ(c.Settings[0].Value, 0x1234);
    EXPECT_EQ(c.ResetSettingsOnRestart, false);
    EXPECT_EQ(c.TurnaroundUs, 1500u);
    EXPECT_EQ(c.EraseLatencyUs, 20000u);
    EXPECT_TRUE(c.EmulateWireTime);
    EXPECT_EQ(c.Faults.Seed, 99u);
    EXPECT_DOUBLE_EQ(c.Faults.DropRate, 0.25);
    EXPECT_EQ(c.Faults.FailAt, (std::set<std::uint32_t>{3, 7, 9}));
    EXPECT_EQ(c.Faults.DelayUs, 750u);
    EXPECT_EQ(c.Faults.ReportModel, 6140);
    EXPECT_EQ(c.Faults.HangUpAt, 40u);
    EXPECT_EQ(c.Faults.PowerLossAtWrite, 17u);
    EXPECT_EQ(c.Faults.CorruptRequestAt, (std::set<std::uint32_t>{5}));
    EXPECT_EQ(c.Faults.DuplicateAt, (std::set<std::uint32_t>{6, 8}));
    EXPECT_EQ(c.Faults.DuplicateGapUs, 2500u);
    EXPECT_TRUE(o.Trace);
    EXPECT_FALSE(o.Help);
}

TEST(SimCommandLine, RejectsWhatItCannotUse) {
    const std::vector<std::vector<std::string>> cases = {
        {"--model", "61x1"},    {"--model", "70000"},      {"--model"},
        {"--port", "0"},        {"--mode", "run"},         {"--drop-rate", "1.5"},
        {"--drop-rate", "nan"}, {"--fail-at", "3,,4"},     {"--fail-at", "0"},
        {"--setting", "20:7"},  {"--setting", "0:7=1"},    {"--reset-settings", "maybe"},
        {"--boot-speed", "0"},  {"--frobnicate"},          {"--trace=yes"},
        {"--version", "-1"},    {"--turnaround-ms", "-2"}, {"--version", ""},
    };
    for (const auto& args : cases) {
        EXPECT_THROW(Parse(args), ESimUsage) << args[0] << (args.size() > 1 ? " " + args[1] : "");
    }
}

TEST(SimCommandLine, UsageAndParserKnowTheSameOptions) {
    const std::string usage = TSimCommandLine::Usage();
    for (const char* option :
         {"--ports-dir",          "--port",         "--replace-link",    "--model",
          "--app-model",          "--version",      "--new-version",     "--boot-model",
          "--boot-version",       "--mode",         "--modbus-speed",    "--boot-speed",
          "--part-end",           "--flash-init",   "--setting",         "--reset-settings",
          "--turnaround-ms",      "--erase-ms",     "--write-ms",        "--wire-time",
          "--frame-gap-ms",       "--seed",         "--corrupt-rate",    "--drop-rate",
          "--delay-rate",         "--noise-rate",   "--corrupt-at",      "--drop-at",
          "--delay-at",           "--noise-at",     "--fail-at",         "--delay-ms",
          "--noise-bytes",        "--report-model", "--hang-up-at",      "--power-loss-at-write",
          "--flash-dump",         "--stats-file",   "--trace",           "--help",
          "--corrupt-request-at", "--duplicate-at", "--duplicate-gap-ms"}) {
        EXPECT_NE(usage.find(std::string(option) + " "), std::string::npos) << option;
        // The parser knows it too: a bad or missing value may be refused, the name may not.
        try {
            Parse({option, "1"});
        } catch (const ESimUsage& e) {
            EXPECT_EQ(std::string(e.what()).find("unknown option '" + std::string(option) + "'"),
                      std::string::npos)
                << e.what();
        }
    }
}
