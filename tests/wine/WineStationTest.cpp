// The station of the Windows build, run under Wine against three unitsim units linked as
// COM1 to COM3 of the tests' prefix (see WineRunnerTest.cpp for how the prefix keeps every
// other port away).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "package/ImageDigest.h"
#include "support/ChildProcess.h"
#include "support/OutputLines.h"
#include "support/SimulatedUnits.h"
#include "support/TempDir.h"
#include "tests/wine/WinePrefix.h"

namespace {

namespace fs = std::filesystem;

fs::path DosDevices() {
    return fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices";
}

// The names of the prefix's COM and LPT entries.
std::vector<std::string> PortLinks() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(DosDevices())) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if ((name.rfind("com", 0) == 0 || name.rfind("lpt", 0) == 0) && name.size() > 3 &&
            std::isdigit(static_cast<unsigned char>(name[3])))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class WineStationTest : public ::testing::Test, public TSimulatedUnits {
public:
    WineStationTest() : TSimulatedUnits(11) {}
    void SetUp() override {
        ASSERT_TRUE(UseTestPrefix()) << "the Wine prefix is made by the wine_prefix_start test";
        for (const std::string& name : PortLinks()) fs::remove(DosDevices() / name);
        ASSERT_TRUE(PortLinks().empty());
    }

    void TearDown() override {
        units.clear();
        for (const char* name : {"com1", "com2", "com3"}) {
            std::error_code ignored;
            fs::remove(DosDevices() / name, ignored);
        }
    }

    // COM1 to COM3, each linked into the prefix; extra[port] goes to that unit.
    void StartUnits(std::map<unsigned, std::vector<std::string>> extra) {
        const std::vector<std::string> devices = TSimulatedUnits::Start(3, std::move(extra));
        ASSERT_EQ(devices.size(), 3u);
        for (unsigned port = 1; port <= 3; ++port)
            fs::create_symlink(devices[port - 1], DosDevices() / ("com" + std::to_string(port)));
        ASSERT_EQ(PortLinks(), (std::vector<std::string>{"com1", "com2", "com3"}));
    }

    std::unique_ptr<TChildProcess> StartBatch() {
        return std::make_unique<TChildProcess>(
            BOOTLOADER_WINE64,
            std::vector<std::string>{BOOTLOADER_WINDOWS_RUNNER, "--ports", "1-3", "--image", "image.bin",
                                     "--processor", "2620", "--model", "6181", "--report", "r.jsonl"},
            work.Path().string());
    }

    // The report's lines by port.
    std::map<std::string, nlohmann::json> Report() const {
        std::map<std::string, nlohmann::json> lines;
        for (const std::string& line : Lines(TTempDir::Read(work.File("r.jsonl")))) {
            const nlohmann::json parsed = nlohmann::json::parse(line);
            lines[parsed.at("port").get<std::string>()] = parsed;
        }
        return lines;
    }
};

// COM2 ignores a block write and is left in its boot loader: it fails alone, and the record
// says "completed" exactly where the flash holds the image.
TEST_F(WineStationTest, AFaultyUnitFailsAloneAndTheReportAgreesWithEveryFlash) {
    StartUnits({{2, {"--fail-at", "200"}}});
    const auto batch = StartBatch();
    ASSERT_EQ(batch->Wait(), 1) << batch->Stdout << batch->Stderr;
    EXPECT_NE(batch->Stdout.find("2 of 3 units completed, 1 failed, 0 settings not restored ("),
              std::string::npos)
        << batch->Stdout;
    EXPECT_NE(batch->Stdout.find("  COM2 failed: Sending New Program Data......Error Detected"),
              std::string::npos)
        << batch->Stdout;

    const auto report = Report();
    ASSERT_EQ(report.size(), 3u);
    const std::string digest = Sha256Hex(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
    for (unsigned port = 1; port <= 3; ++port) {
        const nlohmann::json& line = report.at("COM" + std::to_string(port));
        SCOPED_TRACE(line.dump());
        const bool holdsImage = FlashHoldsImage(port);
        EXPECT_EQ(holdsImage, port != 2);
        EXPECT_EQ(line.at("result"), holdsImage ? "completed" : "failed");
        EXPECT_EQ(line.at("exit_status"), holdsImage ? 0 : 1);
        EXPECT_EQ(line.at("device"), "\\\\.\\COM" + std::to_string(port));
        EXPECT_EQ(line.at("identity"), (nlohmann::json{{"model", 6181}, {"version", "1.09"}}));
        EXPECT_EQ(line.at("failed_step"), holdsImage ? nlohmann::json(nullptr) : "Sending New Program Data");
        EXPECT_EQ(line.at("image_sha256"), digest);
        EXPECT_EQ(line.at("batch"), report.begin()->second.at("batch"));
    }
    EXPECT_EQ(PortLinks(), (std::vector<std::string>{"com1", "com2", "com3"}));
}

// The batch ended by signal (to the station's Wine process, which wine64 becomes) while its
// units write their blocks: every unit's process writes its own line, with reason, and none
// goes on with its unit. Returns the batch's exit status.
int EndWhileWriting(WineStationTest& test, int signal, const std::string& reason) {
    test.StartUnits({{1, {"--write-ms", "10"}}, {2, {"--write-ms", "10"}}, {3, {"--write-ms", "10"}}});
    const auto batch = test.StartBatch();
    // Not on a terminal, the batch prints each line once in its final form: a unit is writing
    // its blocks once it has printed its erase. On a loaded machine a unit may fail on its own
    // before that (a reply too late); it then has its line already, and the rest are ended.
    std::set<std::string> writing;
    std::string seen;
    while (true) {
        std::set<std::string> accounted = writing;
        for (const auto& [port, line] : test.Report()) accounted.insert(port);
        if (accounted.size() == 3) break;
        const std::string line = batch->ReadLine();
        if (line.empty()) {
            ADD_FAILURE() << "the batch ended or fell silent first:\n" << seen;
            return -1;
        }
        seen += line + "\n";
        if (line.find(": Erasing Program Memory......100%") != std::string::npos)
            writing.insert(line.substr(0, 4));
    }
    EXPECT_FALSE(writing.empty()) << seen;
    batch->Signal(signal);
    const int status = batch->Wait();

    std::map<std::string, nlohmann::json> report;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((report = test.Report()).size() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(report.size(), 3u);
    for (const std::string& port : writing) {
        if (!report.count(port)) continue;
        const nlohmann::json& line = report.at(port);
        SCOPED_TRACE(line.dump());
        EXPECT_EQ(line.at("result"), "failed");
        const std::string failing = line.at("failing_line");
        EXPECT_EQ(failing.rfind("Sending New Program Data......", 0), 0u);
        EXPECT_NE(failing.find("(" + reason + ")"), std::string::npos);
        EXPECT_FALSE(test.FlashHoldsImage(static_cast<unsigned>(port[3] - '0')));
    }
    return status;
}

// Killed outright, as TerminateProcess or taskkill /F does: the lines come from the units.
TEST_F(WineStationTest, EveryUnitHasItsLineWhenTheStationIsKilled) {
    EndWhileWriting(*this, SIGKILL, "the station ended");
}

// Ctrl-C (Wine hands a SIGINT to the process as one): the batch asks its units to end, and
// exits with the status of an interrupted batch.
TEST_F(WineStationTest, CtrlCEndsTheUnitsInOrderAndExitsFour) {
    EXPECT_EQ(EndWhileWriting(*this, SIGINT, "the batch was interrupted"), 4);
}

}  // namespace
