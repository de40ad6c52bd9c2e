#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <string_view>

#include "package/FirmwareImage.h"
#include "platform/posix/PseudoTerminal.h"
#include "support/ChildProcess.h"
#include "support/OutputLines.h"
#include "support/SameBytes.h"
#include "support/SuccessLog.h"
#include "support/TempDir.h"
#include "support/TestPortsDirectory.h"

namespace {

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The headless runner against unitsim on COM1 of a ports directory of the test's own.
class BootloaderCliTest : public ::testing::Test {
protected:
    void StartUnit(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--ports-dir",  ports.Path().string(),
                                         "--port",       "1",
                                         "--flash-dump", (work.Path() / "flash.bin").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        unit = std::make_unique<TChildProcess>("unitsim", args);
        ready = unit->ReadLine();
        ASSERT_EQ(ready.rfind("unitsim: COM1 -> ", 0), 0u) << ready;
    }
    std::string SlavePath() const { return ready.substr(ready.find("-> ") + 3); }

    // Runs bootloader-cli in the working directory; its exit status.
    int RunCli(std::vector<std::string> args) {
        cli = std::make_unique<TChildProcess>("bootloader-cli", std::move(args), work.Path().string());
        return cli->Wait();
    }

    std::string StopUnitAndReadFlash() {
        unit->Signal(SIGTERM);
        EXPECT_EQ(unit->Wait(), 0);
        return ReadAll(work.Path() / "flash.bin");
    }

    TTestPortsDirectory ports;
    TTempDir work;
    std::unique_ptr<TChildProcess> unit;
    std::unique_ptr<TChildProcess> cli;
    std::string ready;
};

TEST_F(BootloaderCliTest, UpgradePrintsEachLineOnceInItsFinalFormAndExitsZero) {
    StartUnit();
    ASSERT_EQ(RunCli({"--port", "1"}), 0) << cli->Stderr;
    EXPECT_EQ(Lines(cli->Stdout), kSuccessLog);
    EXPECT_EQ(cli->Stderr, "");
    // A port from the command line leaves the settings file alone.
    EXPECT_FALSE(std::filesystem::exists(work.Path() / "Bootload.Ini"));
    const std::string flash = StopUnitAndReadFlash();
    ASSERT_EQ(flash.size(), 65536u);
    // The boot loader's area is never written; the application area holds the embedded image
    // and nothing above the target's last address is touched.
    FirmwareImage package;
    package.LoadImageFromResource();
    package.SetProgramEnd(ReadResourceWord("PROC_NUM"));
    ASSERT_GT(package.ProgramEnd, 2048u);
    const std::string_view written(flash);
    EXPECT_TRUE(SameBytes(std::string(2048, '\xFF'), written.substr(0, 2048)));
    EXPECT_TRUE(SameBytes(std::span(package.ImageBuffer).subspan(2048, package.ProgramEnd + 1 - 2048),
                          written.substr(2048, package.ProgramEnd + 1 - 2048), 2048));
    EXPECT_TRUE(SameBytes(std::string(65535 - package.ProgramEnd, '\xFF'),
                          written.substr(package.ProgramEnd + 1), package.ProgramEnd + 1));
}

TEST_F(BootloaderCliTest, WithoutAPortItUsesAndWritesTheSettingsFile) {
    StartUnit();
    ASSERT_EQ(RunCli({}), 0) << cli->Stderr;
    EXPECT_EQ(ReadAll(work.Path() / "Bootload.Ini"), "[Options]\r\nComms_Port=1\r\n");
}

TEST_F(BootloaderCliTest, DeviceOptionOpensThatDevice) {
    StartUnit();
    ASSERT_EQ(RunCli({"--device", SlavePath()}), 0) << cli->Stderr;
    EXPECT_EQ(Lines(cli->Stdout).back(), "Finalising Upgrade.....Done");
}

TEST_F(BootloaderCliTest, FailureExitIsOne) {
    StartUnit({"--report-model", "6117"});
    EXPECT_EQ(RunCli({"--port", "1"}), 1);
    EXPECT_EQ(Lines(cli->Stdout).back(), "Retrieving Model Number......Error (Incompatible Model)");
}

TEST_F(BootloaderCliTest, ImageFromAFileIsWhatTheUnitReceives) {
    StartUnit();
    std::string image(65536, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 31 + 7) % 251);
    std::ofstream(work.Path() / "image.bin", std::ios::binary) << image;
    ASSERT_EQ(RunCli({"--port", "1", "--image", "image.bin", "--processor", "2620", "--model", "$1825"}), 0)
        << cli->Stderr;
    EXPECT_EQ(Lines(cli->Stdout).front(), "New File Loaded...VX6181");
    EXPECT_EQ(StopUnitAndReadFlash().substr(2048), image.substr(2048));
}

TEST_F(BootloaderCliTest, ProcessorOutsideTheTableIsRefused) {
    StartUnit();
    std::ofstream(work.Path() / "image.bin", std::ios::binary) << std::string(65536, 'x');
    EXPECT_EQ(RunCli({"--port", "1", "--image", "image.bin", "--processor", "1234", "--model", "6181"}), 1);
    EXPECT_EQ(Lines(cli->Stdout).back(), "Initialising Upgrade.....Error (Unknown Processor 1234)");
}

TEST_F(BootloaderCliTest, SettingsNotWrittenBackExitThreeAndNameTheWrite) {
    // A 6155 below 1.10 gets the 1.12 package; every attempt of the last write-back block
    // goes unanswered. Exchanges: identity, three saves, entry, 2 + 2 boot info and model,
    // 124 erases, 496 writes, clear, restart (631); then 17:24, 19:22 and 20:7 (634).
    StartUnit({"--model", "6155", "--version", "109", "--new-version", "110", "--fail-at", "635,636,637"});
    std::string image(65536, '\x5A');
    std::ofstream(work.Path() / "image.bin", std::ios::binary) << image;
    EXPECT_EQ(RunCli({"--port", "1", "--image", "image.bin", "--processor", "2620", "--model", "6155"}), 3);
    // The operator log does not tell; standard error does.
    EXPECT_EQ(Lines(cli->Stdout).back(), "Finalising Upgrade.....Done");
    EXPECT_EQ(
        cli->Stderr,
        "bootloader-cli: upgraded, but the settings were not restored: the write to slave 20, registers 18 "
        "to 28 (function 104) failed with result 0 (no reply)\n");
}

TEST_F(BootloaderCliTest, UsageAndStartUpErrorsExitTwo) {
    TPseudoTerminal pty;   // a port that opens, for the image error
    TPseudoTerminal held;  // a port another program holds, as every updater does
    const int holder = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    struct TCase {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<TCase> cases = {
        {{"--port", "abc"}, "'abc' is not a valid integer value"},
        // The one-byte port index would wrap them onto COM1 and COM256.
        {{"--port", "257"}, "--port 257 is not a port from 1 to 256"},
        {{"--port", "0"}, "--port 0 is not a port from 1 to 256"},
        // A short image would be flashed over the rest of the embedded one.
        {{"--port", "1", "--image", "short.bin", "--processor", "2620", "--model", "6181"},
         "short.bin holds 32768 bytes; it must hold exactly 65536"},
        // Nothing writes to the FIFO: opening it for reading would block for ever.
        {{"--port", "1", "--image", "fifo", "--processor", "2620", "--model", "6181"},
         "fifo is not a regular file"},
        {{"--port", "1", "--ports", "1-2"}, "port COM1 is listed twice"},
        {{"--image", "x.bin"}, "go together"},
        {{"--port", "1", "--image", "short.bin", "--image", "fifo", "--processor", "2620", "--model", "6181"},
         "option --image is given twice"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--port", "7"}, "Unable To Open Comms Port. Please Select Another."},
        // Then why, as the system says: a missing port is missing, a busy one busy.
        {{"--port", "7"},
         "\nbootloader-cli: COM7 (" + (ports.Path() / "nothing-here").string() +
             ") does not exist (No such file or directory)\n"},
        {{"--device", held.SlavePath()},
         "\nbootloader-cli: " + held.SlavePath() + " is in use by another program: process " +
             std::to_string(::getpid()) + " ("},
        {{"--device", pty.SlavePath(), "--image", "missing.bin", "--processor", "2620", "--model", "1"},
         "Cannot open file"},
        {{"--device", "/dev/null"}, "File Handle is not a Comm Handle."},
    };
    std::ofstream(work.Path() / "short.bin", std::ios::binary) << std::string(32768, 'x');
    ASSERT_EQ(::mkfifo((work.Path() / "fifo").c_str(), 0600), 0);
    ports.Link(7, (ports.Path() / "nothing-here").string());
    ports.Link(1, (ports.Path() / "nothing-here-either").string());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(RunCli(c.args), 2);
        EXPECT_NE(cli->Stderr.find(c.message), std::string::npos) << cli->Stderr;
    }
    ::close(holder);
}

TEST_F(BootloaderCliTest, HelpExplainsTheExitStatus) {
    EXPECT_EQ(RunCli({"--help"}), 0);
    EXPECT_NE(cli->Stdout.find("Exit status"), std::string::npos);
    EXPECT_NE(cli->Stdout.find("--device PATH"), std::string::npos);
    // What the batch gives its units is no operator's business.
    EXPECT_EQ(cli->Stdout.find("--station"), std::string::npos);
    // A batch's line asking for help gets it, not the batch.
    EXPECT_EQ(RunCli({"--ports", "1-8", "--help"}), 0) << cli->Stderr;
    EXPECT_NE(cli->Stdout.find("Exit status"), std::string::npos);
}

}  // namespace
