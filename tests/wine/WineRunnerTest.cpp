// The Windows build of the headless runner, run under Wine against unitsim.
//
// Wine maps COM ports to the machine's serial devices by itself. The prefix these tests
// use has its automatic ports hidden (wine-prefix.sh), and every test checks before and
// after each run that the prefix holds exactly the port links the test made: com1 to the
// simulated unit's pseudo-terminal, or none.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "app/VersionText.h"
#include "package/Resources.h"
#include "platform/VersionInfo.h"
#include "support/ChildProcess.h"
#include "support/OutputLines.h"
#include "support/SameBytes.h"
#include "support/SuccessLog.h"
#include "support/TempDir.h"
#include "support/TestPortsDirectory.h"
#include "tests/wine/WinePrefix.h"

namespace {

namespace fs = std::filesystem;

std::string PackageImage() {
    const auto image = FindResource("HFile");
    return std::string(image.begin(), image.end());
}

// Every COM and LPT entry of the prefix's dosdevices, with its target.
std::map<std::string, std::string> PortLinks() {
    std::map<std::string, std::string> links;
    for (const auto& entry : fs::directory_iterator(fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices")) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        const bool port = (name.rfind("com", 0) == 0 || name.rfind("lpt", 0) == 0) && name.size() > 3 &&
                          std::isdigit(static_cast<unsigned char>(name[3]));
        if (!port) continue;
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry.path(), ec);
        links[name] = ec ? "(not a link)" : target.string();
    }
    return links;
}

class WineRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(UseTestPrefix()) << "the Wine prefix is made by the wine_prefix_start test";
        // No port but the test's own: an entry left by anything else is removed before
        // the runner can see it.
        for (const auto& [name, target] : PortLinks())
            fs::remove(fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices" / name);
        ASSERT_TRUE(PortLinks().empty());
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove(fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices" / linkName, ignored);
    }

    // unitsim on a pseudo-terminal, which becomes COM1 of the prefix.
    void StartUnit(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--ports-dir",  ports.Path().string(),
                                         "--port",       "1",
                                         "--flash-dump", (work.Path() / "flash.bin").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        unit = std::make_unique<TChildProcess>("unitsim", args);
        const std::string ready = unit->ReadLine();
        ASSERT_EQ(ready.rfind("unitsim: COM1 -> ", 0), 0u) << ready;
        slave = ready.substr(ready.find("-> ") + 3);
        fs::create_symlink(slave, fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices" / "com1");
    }

    std::map<std::string, std::string> ExpectedLinks() const {
        if (slave.empty()) return {};
        return {{linkName, slave}};
    }

    // Runs bootloader-cli.exe under Wine in directory; its exit status.
    int RunRunner(std::vector<std::string> args, const fs::path& directory) {
        EXPECT_EQ(PortLinks(), ExpectedLinks()) << "before the run";
        args.insert(args.begin(), BOOTLOADER_WINDOWS_RUNNER);
        runner = std::make_unique<TChildProcess>(BOOTLOADER_WINE64, std::move(args), directory.string());
        const int status = runner->Wait();
        EXPECT_EQ(PortLinks(), ExpectedLinks()) << "after the run";
        return status;
    }

    std::string StopUnitAndReadFlash() {
        unit->Signal(SIGTERM);
        EXPECT_EQ(unit->Wait(), 0);
        return TTempDir::Read(work.Path() / "flash.bin");
    }

    void ExpectFlashHolds(const std::string& image) {
        const std::string flash = StopUnitAndReadFlash();
        ASSERT_EQ(flash.size(), 65536u);
        EXPECT_TRUE(
            SameBytes(std::string(2048, '\xFF'), flash.substr(0, 2048)));  // the boot loader's own area
        EXPECT_TRUE(SameBytes(image.substr(2048), flash.substr(2048), 2048));
    }

    TTestPortsDirectory ports;
    TTempDir work;
    std::unique_ptr<TChildProcess> unit;
    std::unique_ptr<TChildProcess> runner;
    std::string slave;
    // The one port link of the test, to slave.
    std::string linkName = "com1";
};

// The whole upgrade of the package the runner carries, with the port taken from the settings
// file in a working directory whose name the system's code page cannot spell.
TEST_F(WineRunnerTest, UpgradeWritesThePackageImageAndTheSettingsFile) {
    StartUnit();
    const fs::path directory = work.Path() / "Prüfstand Ωμέγα";
    fs::create_directory(directory);
    ASSERT_EQ(RunRunner({}, directory), 0) << runner->Stderr;
    EXPECT_EQ(Lines(runner->Stdout), kSuccessLog);
    EXPECT_EQ(runner->Stderr, "");
    // Written in binary mode: CR LF as the runner writes it, not CR CR LF.
    EXPECT_EQ(TTempDir::Read((directory / "Bootload.Ini").string()), "[Options]\r\nComms_Port=1\r\n");
    ExpectFlashHolds(PackageImage());
}

TEST_F(WineRunnerTest, UnitAlreadyInItsBootLoaderTakesAnImageFile) {
    StartUnit({"--mode", "boot"});
    std::string image(65536, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 7 + 0x1A) % 253);
    std::ofstream(work.Path() / "образ.bin", std::ios::binary) << image;  // 0x1A and CR LF bytes included
    ASSERT_EQ(RunRunner({"--port", "1", "--image", "образ.bin", "--processor", "2620", "--model", "6181"},
                        work.Path()),
              0)
        << runner->Stderr;
    const std::vector<std::string> lines = Lines(runner->Stdout);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "New File Loaded...VX6181");
    EXPECT_EQ(lines[1], "Initialising Upgrade.....Done (0)");
    EXPECT_EQ(lines.back(), "Finalising Upgrade.....Done");
    ExpectFlashHolds(image);
}

TEST_F(WineRunnerTest, UnansweredWriteFailsAndTheUnitRecoversOnTheNextRun) {
    // Exchange 200 is a block write: the unit ignores it and stays in its boot loader.
    StartUnit({"--fail-at", "200"});
    EXPECT_EQ(RunRunner({"--port", "1"}, work.Path()), 1);
    EXPECT_EQ(Lines(runner->Stdout).back(), "Sending New Program Data......Error Detected");

    ASSERT_EQ(RunRunner({"--port", "1"}, work.Path()), 0) << runner->Stderr;
    const std::vector<std::string> lines = Lines(runner->Stdout);
    EXPECT_EQ(lines.front(), "Initialising Upgrade.....Done (0)");
    EXPECT_EQ(lines.back(), "Finalising Upgrade.....Done");
    ExpectFlashHolds(PackageImage());
}

TEST_F(WineRunnerTest, MissingPortExitsTwo) {
    // No such device at all: the open fails as on Windows.
    EXPECT_EQ(RunRunner({"--device", "\\\\.\\COM300"}, work.Path()), 2);
    EXPECT_NE(runner->Stderr.find("Unable To Open Comms Port. Please Select Another."), std::string::npos)
        << runner->Stderr;
    // Then why, with the system's own message.
    EXPECT_NE(runner->Stderr.find("\nbootloader-cli: \\\\.\\COM300 does not exist ("), std::string::npos)
        << runner->Stderr;
}

TEST_F(WineRunnerTest, PortThatIsNoCommDeviceIsRefused) {
    // A COM name that leads to a plain file opens, but is no serial port. (A COM name with no
    // link at all is never opened here: Wine would fall back to the machine's /dev/ttyS<n-1>.)
    std::ofstream(work.Path() / "not-a-port.bin").put('\0');
    fs::create_symlink(work.Path() / "not-a-port.bin",
                       fs::path(BOOTLOADER_WINE_PREFIX) / "dosdevices" / "com7");
    slave = (work.Path() / "not-a-port.bin").string();
    linkName = "com7";
    EXPECT_EQ(RunRunner({"--port", "7"}, work.Path()), 2);
    EXPECT_NE(runner->Stderr.find("File Handle is not a Comm Handle."), std::string::npos) << runner->Stderr;
}

// The cross-built parse of the options: the same refusal as on Linux, and help after it.
TEST_F(WineRunnerTest, UsageErrorExitsTwoAndHelpAnswersWhereverItStands) {
    EXPECT_EQ(RunRunner({"--port", "0x101"}, work.Path()), 2);
    EXPECT_EQ(runner->Stderr.rfind("bootloader-cli: --port 0x101 is not a port from 1 to 256", 0), 0u)
        << runner->Stderr;
    EXPECT_EQ(RunRunner({"--port", "0", "--help"}, work.Path()), 0) << runner->Stderr;
    EXPECT_NE(runner->Stdout.find("the port the system names so"), std::string::npos) << runner->Stdout;
}

// --list-ports lists the ports of the registry's SERIALCOMM list by number, each with its
// device. Wine keeps that volatile list itself (a value a test added there was seen gone
// again within the test), so the test reads Wine's own entries: \Device\Serial0 to
// \Device\Serial255 for COM1 to COM256, whose names sort otherwise than their numbers
// (Serial10, COM11, before Serial9, COM10). Listing opens no port.
TEST_F(WineRunnerTest, ListPortsShowsTheRegistrysSerialPortsByNumber) {
    ASSERT_EQ(RunRunner({"--list-ports"}, work.Path()), 0) << runner->Stderr;
    const std::vector<std::string> lines = Lines(runner->Stdout);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Serial ports (HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM):");
    auto at = [&lines](const std::string& line) { return std::find(lines.begin(), lines.end(), line); };
    const auto com10 = at("  COM10  -> \\Device\\Serial9");
    const auto com11 = at("  COM11  -> \\Device\\Serial10");
    ASSERT_NE(com10, lines.end()) << runner->Stdout;
    ASSERT_NE(com11, lines.end()) << runner->Stdout;
    EXPECT_EQ(com11 - com10, 1);
}

TEST_F(WineRunnerTest, VersionPrintsTheExecutablesVersionBlock) {
    ASSERT_EQ(RunRunner({"--version"}, work.Path()), 0) << runner->Stderr;
    // The same record and package as the Linux build's, read back from the resources: every
    // text found.
    const std::vector<std::string> lines = Lines(runner->Stdout);
    EXPECT_EQ(lines, Lines(VersionText("bootloader-cli", ReadVersionInfo())));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "N/A"), 0);
}

}  // namespace
