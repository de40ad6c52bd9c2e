#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "station/StationChild.h"
#include "support/TempDir.h"

namespace {

// What a unit's process finds itself started with: only the standard descriptors, the event
// pipe and the report; a process group of its own; the ending signals blocked, for its own
// record to take.
TEST(StationChildTest, AUnitsProcessStartsWithItsOwnDescriptorsGroupAndBlockedEndingSignals) {
    TTempDir dir;
    const int report = ::open(dir.File("r.jsonl").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    ASSERT_GE(report, 0);
    const int stray = ::open("/dev/null", O_RDONLY);  // inherited without close-on-exec
    TStationChild child("/bin/sleep", {"30"}, report);
    child.Release();
    ::close(report);
    ::close(stray);
    const std::filesystem::path proc = "/proc/" + std::to_string(child.Pid());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::error_code error;
    while (std::filesystem::read_symlink(proc / "exe", error).filename() != "sleep" &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    // The program's loader may still hold a library open for a moment; a descriptor the
    // process was given stays for its whole life.
    const std::set<int> given{0, 1, 2, 3, 4};
    std::set<int> fds;
    const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        fds.clear();
        for (const auto& entry : std::filesystem::directory_iterator(proc / "fd", error))
            fds.insert(std::stoi(entry.path().filename().string()));
        if (fds == given) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < settled);
    EXPECT_EQ(fds, given);

    std::istringstream stat(TTempDir::Read((proc / "stat").string()));
    std::string pid, name, state, parent, group;
    stat >> pid >> name >> state >> parent >> group;
    EXPECT_EQ(group, pid);

    const std::string status = TTempDir::Read((proc / "status").string());
    const std::size_t at = status.find("SigBlk:\t");
    ASSERT_NE(at, std::string::npos);
    const unsigned long long blocked = std::stoull(status.substr(at + 8, 16), nullptr, 16);
    for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) EXPECT_TRUE(blocked & (1ULL << (s - 1))) << s;
}

// A unit's process is held until released: a batch that cannot make every process gives up
// the ones it made, and those have run nothing of the program.
TEST(StationChildTest, AHeldProcessRunsNothingUntilReleasedAndEndsWithoutATraceWhenGivenUp) {
    TTempDir dir;
    const std::string given = dir.File("given-up"), released = dir.File("released");
    std::optional<int> status;
    int signal = 0;
    {
        TStationChild child("/bin/touch", {given});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(child.TryReap(status, signal));  // held, not ended
    }
    TStationChild child("/bin/touch", {released});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(std::filesystem::exists(released));
    child.Release();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!child.TryReap(status, signal) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(status, std::optional<int>(0));
    EXPECT_TRUE(std::filesystem::exists(released));
    EXPECT_FALSE(std::filesystem::exists(given));
}

}  // namespace
