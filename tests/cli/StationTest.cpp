#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "support/ChildProcess.h"
#include "support/OutputLines.h"
#include "support/SimulatedUnits.h"
#include "support/SuccessLog.h"
#include "support/TempDir.h"
#include "support/TestPortsDirectory.h"

namespace {

// Three units on COM1 to COM3, the second of which drops its line during the block writes,
// and a COM4 that does not open; the batch upgrades them with an image of the test's own.
class StationTest : public ::testing::Test, protected TSimulatedUnits {
protected:
    StationTest() : TSimulatedUnits(13) {}
    void SetUp() override {
        ASSERT_EQ(Start(3, {{2, {"--hang-up-at", "300"}}}).size(), 3u);
        ports.Link(4, (ports.Path() / "unplugged").string());
    }
};

TEST_F(StationTest, AFaultyUnitFailsAloneAndTheReportAgreesWithEveryFlash) {
    TChildProcess cli("bootloader-cli",
                      {"--ports", "1-4", "--image", "image.bin", "--processor", "2620", "--model", "6181",
                       "--report", "batch.jsonl"},
                      work.Path().string());
    ASSERT_EQ(cli.Wait(), 1) << cli.Stdout << cli.Stderr;

    // Not a terminal: every line once, in its final form, behind its port; then the summary.
    std::map<std::string, std::vector<std::string>> byPort;
    std::vector<std::string> rest;
    for (const std::string& line : Lines(cli.Stdout)) {
        if (line.size() > 6 && line.rfind("COM", 0) == 0 && line[4] == ':')
            byPort[line.substr(0, 4)].push_back(line.substr(6));
        else
            rest.push_back(line);
    }
    std::vector<std::string> clean = {"New File Loaded...VX6181"};
    clean.insert(clean.end(), kSuccessLog.begin(), kSuccessLog.end());
    EXPECT_EQ(byPort["COM1"], clean);
    EXPECT_EQ(byPort["COM3"], clean);
    ASSERT_FALSE(byPort["COM2"].empty());
    EXPECT_EQ(byPort["COM2"].back(), "Sending New Program Data......Error Detected");
    EXPECT_TRUE(byPort["COM4"].empty());
    // The log's own message, then what the system said of why COM4 did not open, which the
    // summary names.
    const std::string unplugged = "bootloader-cli: COM4 (" + (ports.Path() / "unplugged").string() +
                                  ") does not exist (No such file or directory)";
    EXPECT_EQ(cli.Stderr, "COM4: bootloader-cli: Unable To Open Comms Port. Please Select Another.\nCOM4: " +
                              unplugged + "\n");
    EXPECT_EQ(rest, (std::vector<std::string>{"", rest.size() > 1 ? rest[1] : "",
                                              "  COM2 failed: Sending New Program Data......Error Detected",
                                              "  COM4 failed: " + unplugged}));
    ASSERT_GT(rest.size(), 1u);
    EXPECT_EQ(rest[1].rfind("2 of 4 units completed, 2 failed, 0 settings not restored (", 0), 0u) << rest[1];

    // The record: one line per unit, and "completed" exactly where the flash holds the image.
    const std::vector<std::string> report = Lines(TTempDir::Read(work.File("batch.jsonl")));
    ASSERT_EQ(report.size(), 4u);
    std::map<std::string, std::string> byUnit;
    for (const std::string& line : report) byUnit[ReportField(line, "port")] = line;
    EXPECT_EQ(ReportField(byUnit["\"COM4\""], "exit_status"), "2");
    EXPECT_EQ(ReportField(byUnit["\"COM4\""], "failing_line"), "\"" + unplugged + "\"");
    EXPECT_EQ(ReportField(byUnit["\"COM4\""], "identity"), "null");
    for (unsigned port = 1; port <= 3; ++port) {
        const std::string& line = byUnit["\"COM" + std::to_string(port) + "\""];
        SCOPED_TRACE(line);
        const bool holdsImage = FlashHoldsImage(port);
        EXPECT_EQ(holdsImage, port != 2);
        EXPECT_EQ(ReportField(line, "result"), holdsImage ? "\"completed\"" : "\"failed\"");
        EXPECT_EQ(ReportField(line, "exit_status"), holdsImage ? "0" : "1");
        EXPECT_EQ(ReportField(line, "identity"), "{\"model\":6181,\"version\":\"1.09\"}");
        EXPECT_EQ(ReportField(line, "boot_loader"), "\"VX6181 v1.05\"");
        EXPECT_EQ(ReportField(line, "package"), "{\"model\":6181,\"version\":\"1.12\",\"processor\":2620}");
        EXPECT_EQ(ReportField(line, "failed_step"), holdsImage ? "null" : "\"Sending New Program Data\"");
        EXPECT_EQ(ReportField(line, "batch"), ReportField(report[0], "batch"));
        EXPECT_EQ(ReportField(line, "start").size(), 26u);  // "2026-12-08T22:50:01.123Z"
    }
    // Which image went into the units: its SHA-256, as sha256sum prints it for the file.
    TChildProcess sum("/usr/bin/sha256sum", {"image.bin"}, work.Path().string());
    ASSERT_EQ(sum.Wait(), 0);
    for (const std::string& line : report)
        EXPECT_EQ(ReportField(line, "image_sha256"), "\"" + sum.Stdout.substr(0, 64) + "\"");
}

}  // namespace
