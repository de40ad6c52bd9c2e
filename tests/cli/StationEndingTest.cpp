#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "platform/posix/PseudoTerminal.h"
#include "support/ChildProcess.h"
#include "support/OutputLines.h"
#include "support/TempDir.h"
#include "support/TestPortsDirectory.h"

namespace {

using namespace std::chrono_literals;

// The pids of the units' processes of the batch whose process is station, by label.
std::map<std::string, pid_t> UnitProcesses(pid_t station) {
    std::map<std::string, pid_t> units;
    const std::string mark = "--station-pid" + std::string(1, '\0') + std::to_string(station) + '\0';
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string cmdline = TTempDir::Read(entry.path().string() + "/cmdline");
        if (cmdline.find(mark) == std::string::npos) continue;
        const std::size_t label = cmdline.find(std::string("--station-unit") + '\0');
        if (label == std::string::npos) continue;
        const std::size_t from = label + 15;
        units[cmdline.substr(from, cmdline.find('\0', from) - from)] = std::stoi(name);
    }
    return units;
}

// The batch running in dir, as its units' processes name it; 0 while none has started.
pid_t StationIn(const std::filesystem::path& dir) {
    const std::string mark = std::string("--station-pid") + '\0';
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "cwd", error) != dir) continue;
        const std::string cmdline = TTempDir::Read((entry.path() / "cmdline").string());
        const std::size_t at = cmdline.find(mark);
        if (at != std::string::npos) return std::stoi(cmdline.substr(at + mark.size()));
    }
    return 0;
}

// Waits (within a bound that only keeps a broken run from hanging) until done() holds.
bool Eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Three units on COM1 to COM3 of a ports directory of the test's own, each writing its
// blocks slowly enough for the batch to be ended in the middle of the write.
class StationEndingTest : public ::testing::Test {
protected:
    void StartUnits(std::size_t count, std::vector<std::string> extra = {}) {
        for (unsigned port = 1; port <= count; ++port) {
            std::vector<std::string> args = {"--ports-dir", ports.Path().string(), "--port",
                                             std::to_string(port)};
            args.insert(args.end(), extra.begin(), extra.end());
            units.push_back(std::make_unique<TChildProcess>("unitsim", args));
            ASSERT_EQ(units.back()->ReadLine().rfind("unitsim: COM" + std::to_string(port) + " -> ", 0), 0u);
        }
    }
    std::vector<std::string> Report() const { return Lines(TTempDir::Read(work.File("r.jsonl"))); }

    TTestPortsDirectory ports;
    TTempDir work;
    std::vector<std::unique_ptr<TChildProcess>> units;
};

TEST_F(StationEndingTest, EveryStartedUnitHasItsLineHoweverTheBatchEnds) {
    struct TCase {
        const char* name;
        int signal;          // sent to the batch's whole process group
        bool stopOne;        // COM2's process stopped (SIGSTOP) first
        int status;          // the batch's exit status, -1 when it was killed
        std::string reason;  // in every unit's failing line
        std::string com2Signal;
    };
    const std::vector<TCase> cases = {
        {"hang-up of the terminal", SIGHUP, false, 4, "(the batch was interrupted)", "15"},
        {"SIGQUIT", SIGQUIT, false, 4, "(the batch was interrupted)", "15"},
        {"kill -9", SIGKILL, false, -1, "(the station ended)", "15"},
        // A unit that no longer reacts to SIGTERM is killed, and its line written all the same.
        {"a stopped unit, then Ctrl-C", SIGINT, true, 4, "(the batch was interrupted)", "9"},
        // Its process group, orphaned, is woken by the kernel's SIGHUP and SIGCONT.
        {"a stopped unit, then kill -9", SIGKILL, true, -1, "(the station ended)", "1"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        units.clear();
        std::filesystem::remove(work.File("r.jsonl"));
        for (unsigned port = 1; port <= 3; ++port) std::filesystem::remove(ports.Entry(port));
        StartUnits(3, {"--write-ms", "10"});
        // In a session of its own, so that the signal to its process group reaches nothing else.
        TChildProcess cli("/usr/bin/setsid",
                          {ProgramPath("bootloader-cli"), "--ports", "1-3", "--report", "r.jsonl"},
                          work.Path().string());
        for (std::string line; (line = cli.ReadLine()) != "COM1: Erasing Program Memory......100%";)
            ASSERT_FALSE(line.empty());
        const pid_t station = StationIn(work.Path());
        const std::map<std::string, pid_t> unitPids = UnitProcesses(station);
        ASSERT_EQ(unitPids.size(), 3u);
        if (c.stopOne) {
            ::kill(unitPids.at("COM2"), SIGSTOP);
            std::this_thread::sleep_for(200ms);
        }
        ::kill(-station, c.signal);
        EXPECT_EQ(cli.Wait(), c.status) << cli.Stdout << cli.Stderr;

        // No unit's process outlives the batch, and every unit has its line.
        EXPECT_TRUE(Eventually([&] { return UnitProcesses(station).empty(); }));
        for (const auto& [label, pid] : UnitProcesses(station))
            ::kill(pid, SIGKILL);  // a failed run's leftovers
        const std::vector<std::string> report = Report();
        ASSERT_EQ(report.size(), 3u);
        for (const std::string& line : report) {
            SCOPED_TRACE(line);
            EXPECT_EQ(ReportField(line, "result"), "\"failed\"");
            EXPECT_NE(ReportField(line, "log").find("Retrieving Model Number......OK"), std::string::npos);
            EXPECT_NE(ReportField(line, "failing_line").find(c.reason), std::string::npos);
            if (ReportField(line, "port") == "\"COM2\"") EXPECT_EQ(ReportField(line, "signal"), c.com2Signal);
        }
    }
}

// Runs with a file size limit in force: a write that crosses it is cut short, exactly as on
// a full disk (SIGXFSZ ignored, so that the writer sees the short write).
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        const rlimit limit{bytes, previous_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        ::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    sighandler_t previousHandler_;
};

TEST_F(StationEndingTest, OnAFullDiskALineIsWholeOrAbsentAndTheUnitsWithoutOneAreNamed) {
    StartUnits(6);
    // What a writer that died mid-line left behind.
    const std::string fragment = "{\"batch\":\"torn";
    work.Write("r.jsonl", fragment);
    const rlim_t limit = 3000;  // room for a few lines of six
    std::unique_ptr<TChildProcess> cli;
    {
        TFileSizeLimit full(limit);
        cli = std::make_unique<TChildProcess>(
            "bootloader-cli", std::vector<std::string>{"--ports", "1-6", "--report", "r.jsonl"},
            work.Path().string());
    }
    EXPECT_EQ(cli->Wait(), 1);
    std::vector<std::string> report = Report();
    ASSERT_GE(report.size(), 2u);
    EXPECT_LE(std::filesystem::file_size(work.File("r.jsonl")), limit);
    // The fragment stays alone on its line; every other line is whole.
    EXPECT_EQ(report[0], fragment);
    std::set<std::string> recorded;
    for (std::size_t i = 1; i < report.size(); ++i) {
        const nlohmann::json line = nlohmann::json::parse(report[i], nullptr, false);
        ASSERT_TRUE(line.is_object()) << report[i];
        recorded.insert("\"" + line["port"].get<std::string>() + "\"");
    }
    EXPECT_LT(recorded.size(), 6u);
    for (unsigned port = 1; port <= 6; ++port) {
        const std::string label = "COM" + std::to_string(port);
        const bool named =
            cli->Stderr.find(label + ": its line could not be written to the report r.jsonl: ") !=
            std::string::npos;
        EXPECT_NE(recorded.count("\"" + label + "\""), named ? 1u : 0u) << cli->Stderr;
    }

    // Room again: the next batch's line is whole, not glued onto anything.
    units.clear();
    for (unsigned port = 1; port <= 6; ++port) std::filesystem::remove(ports.Entry(port));
    StartUnits(1);
    TChildProcess again("bootloader-cli", {"--port", "1", "--report", "r.jsonl"}, work.Path().string());
    EXPECT_EQ(again.Wait(), 0) << again.Stderr;
    report = Report();
    const nlohmann::json last = nlohmann::json::parse(report.back(), nullptr, false);
    ASSERT_TRUE(last.is_object()) << report.back();
    EXPECT_EQ(last["result"], "completed");
    EXPECT_EQ(report[0], fragment);  // still alone on its line
}

TEST_F(StationEndingTest, WhatCannotKeepARecordIsRefusedWithItsReasonBeforeAnythingStarts) {
    ASSERT_EQ(::mkfifo(work.File("fifo").c_str(), 0600), 0);
    // 256 ports, each leading to a device of its own that is not there.
    for (unsigned port = 1; port <= 256; ++port)
        ports.Link(port, (ports.Path() / ("absent" + std::to_string(port))).string());
    struct TCase {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<TCase> cases = {
        // Opening a FIFO without a reader would block for ever.
        {{"bootloader-cli", "--ports", "1-2", "--report", "fifo"},
         "bootloader-cli: the report fifo is not a regular file\n"},
        {{"bootloader-cli", "--ports", "1-2", "--report", "missing/r.jsonl"},
         "bootloader-cli: cannot open the report missing/r.jsonl: No such file or directory\n"},
        {{"bootloader-cli", "--ports", "1-2", "--report", "."},
         "bootloader-cli: cannot open the report .: Is a directory\n"},
        // Two descriptors per unit do not fit in 40: the batch does not start part of itself.
        {{"/bin/sh", "-c", "ulimit -n 40 && exec \"$0\" --ports 1-256", ProgramPath("bootloader-cli")},
         "bootloader-cli: a batch of 256 units needs "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args.back());
        TChildProcess cli(c.args.front(), std::vector<std::string>(c.args.begin() + 1, c.args.end()),
                          work.Path().string());
        EXPECT_EQ(cli.Wait(), 2);
        EXPECT_EQ(cli.Stderr.rfind(c.message, 0), 0u) << cli.Stderr;
        EXPECT_EQ(cli.Stderr.find("--help"), std::string::npos) << cli.Stderr;
        EXPECT_EQ(cli.Stdout, "");
    }
}

}  // namespace

namespace {

// Under nohup (SIGHUP ignored from the start) a hang-up is not meant for the batch.
TEST_F(StationEndingTest, ASignalIgnoredFromTheStartStaysIgnored) {
    StartUnits(1, {"--write-ms", "2"});
    TChildProcess cli(
        "/bin/sh",
        {"-c", "trap '' HUP && exec \"$0\" --ports 1 --report r.jsonl", ProgramPath("bootloader-cli")},
        work.Path().string());
    ASSERT_EQ(cli.ReadLine(), "COM1: Initialising Upgrade.....Done (1)");
    const pid_t station = StationIn(work.Path());
    ASSERT_NE(station, 0);
    ::kill(station, SIGHUP);
    EXPECT_EQ(cli.Wait(), 0) << cli.Stdout << cli.Stderr;
    EXPECT_EQ(ReportField(Report().at(0), "result"), "\"completed\"");
}

}  // namespace

namespace {

// A port another updater holds says so, and by whom, besides the operator log's own text.
TEST_F(StationEndingTest, APortHeldByAnotherProcessSaysSoOnStandardError) {
    TPseudoTerminal pty;
    const int held = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ports.Link(1, pty.SlavePath());
    TChildProcess cli("bootloader-cli", {"--ports", "1", "--report", "r.jsonl"}, work.Path().string());
    EXPECT_EQ(cli.Wait(), 1);
    ::close(held);
    const std::string busy = "bootloader-cli: COM1 (" + pty.SlavePath() +
                             ") is in use by another program: process " + std::to_string(::getpid()) + " (";
    EXPECT_NE(cli.Stderr.find("\nCOM1: " + busy), std::string::npos) << cli.Stderr;
    const std::string record = Report().at(0);
    EXPECT_EQ(ReportField(record, "failing_line").rfind("\"" + busy, 0), 0u) << record;
    EXPECT_NE(ReportField(record, "messages").find("Unable To Open Comms Port. Please Select Another."),
              std::string::npos)
        << record;
}

}  // namespace
