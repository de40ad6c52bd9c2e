#include "station/Station.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>

#include "cli/StationUsageError.h"
#include "package/FirmwareImage.h"
#include "platform/PortResolver.h"
#include "station/StationChild.h"
#include "station/StationDisplay.h"
#include "station/StationOptions.h"
#include "station/StationReport.h"
#include "station/StationUnit.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kTickMs = 100;
const std::string kInterrupted = "the batch was interrupted";

volatile std::sig_atomic_t gInterrupts = 0;

void OnInterrupt(int) {
    gInterrupts = gInterrupts + 1;
}

struct TRun {
    TStationUnit Unit;
    std::unique_ptr<TStationChild> Child;
    bool Killed = false;
};

std::string OwnProgram() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) throw std::runtime_error("cannot find this program's own path");
    return std::string(path, static_cast<std::size_t>(n));
}

std::vector<std::string> ChildArgs(const TStationOptions& options, const TStationOptions::TUnit& unit,
                                   const std::string& batch, bool report) {
    std::vector<std::string> args;
    if (unit.Port != 0)
        args = {"--port", std::to_string(unit.Port)};
    else
        args = {"--device", unit.Device};
    if (options.Image)
        args.insert(args.end(), {"--image", *options.Image, "--processor", *options.Processor, "--model",
                                 *options.Model});
    args.insert(args.end(), {"--station-events", std::to_string(TStationChild::kEventsDescriptor)});
    if (report)
        args.insert(args.end(), {"--station-report", std::to_string(TStationChild::kReportDescriptor),
                                 "--station-batch", batch, "--station-unit", unit.Label, "--station-device",
                                 unit.Device, "--station-pid", std::to_string(::getpid())});
    return args;
}

// The descriptors this process has open now.
int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        ::closedir(dir);
        return count - 1;  // the directory's own
    }
    for (int fd = 0; fd < 1024; ++fd) count += ::fcntl(fd, F_GETFD) != -1;
    return count;
}

// A batch starts whole or not at all: the descriptors every unit needs are there before
// the first unit starts, the soft limit raised towards the hard one if need be. Throws
// std::runtime_error when even the hard limit is too low.
void EnsureDescriptors(std::size_t units) {
    const rlim_t need = static_cast<rlim_t>(OpenDescriptors()) + units * TStationChild::kDescriptorsPerUnit +
                        TStationChild::kDescriptorsToStart + 1;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= need)
        return;
    if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= need) {
        limit.rlim_cur = need;
        if (::setrlimit(RLIMIT_NOFILE, &limit) == 0) return;
    }
    throw std::runtime_error("a batch of " + std::to_string(units) + " units needs " + std::to_string(need) +
                             " open files, and this process may have " + std::to_string(limit.rlim_max) +
                             " (ulimit -n); nothing was started");
}

}  // namespace

bool TStation::Applies(int argc, char** argv) {
    return TStationOptions::Applies(std::vector<std::string>(argv + 1, argv + argc));
}

int TStation::Run(int argc, char** argv) {
    TStationOptions options;
    FirmwareImage package;
    std::unique_ptr<TStationReport> report;
    std::string program;
    try {
        options = TStationOptions::Parse(std::vector<std::string>(argv + 1, argv + argc));
        package = TStationReport::Package(options.Image, options.Processor, options.Model);
        std::string base = std::filesystem::current_path().string();
        if (base.empty() || base.back() != '/') base += '/';
        options.ResolveDevices(TPortResolver(base));
    } catch (const EStationUsageError& error) {
        std::fprintf(stderr, "bootloader-cli: %s\n(bootloader-cli --help shows the options)\n", error.what());
        return kExitBatchUsage;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bootloader-cli: %s\n", error.what());
        return kExitBatchUsage;
    }
    try {
        if (options.Report) report = std::make_unique<TStationReport>(*options.Report);
        program = OwnProgram();
        EnsureDescriptors(options.Units.size());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bootloader-cli: %s\n", error.what());
        return kExitBatchUsage;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // A signal ignored from the start stays ignored: under nohup a hang-up, in a script's
    // background job Ctrl-C and SIGQUIT, are not meant for this process.
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        struct sigaction previous {};
        if (::sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(s, &action, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);

    TStationDisplay display(stdout, stderr, TStationDisplay::TableFits(STDOUT_FILENO, std::getenv("TERM")));
    const auto batchStart = std::chrono::system_clock::now();
    const auto steadyStart = TClock::now();
    const std::string batch = TStationReport::IsoTime(batchStart) + "/" + std::to_string(::getpid());

    std::vector<std::unique_ptr<TRun>> runs;
    std::vector<const TStationUnit*> units;
    for (const TStationOptions::TUnit& entry : options.Units) {
        auto run = std::make_unique<TRun>(TRun{TStationUnit(entry.Label, entry.Port, entry.Device), nullptr});
        run->Unit.StartTime = std::chrono::system_clock::now();
        run->Unit.LastActivity = TClock::now();
        try {
            run->Child = std::make_unique<TStationChild>(
                program, ChildArgs(options, entry, batch, report != nullptr), report ? report->Fd() : -1);
        } catch (const std::exception& error) {
            run->Unit.Ended(std::nullopt, 0, error.what());
            run->Unit.EndTime = std::chrono::system_clock::now();
        }
        units.push_back(&run->Unit);
        runs.push_back(std::move(run));
    }

    // A unit's line is written by its own process as it ends; the batch writes the lines of
    // the units whose process could not (it was killed, crashed, never started, or could
    // not write), and names every unit whose line is missing, with the reason.
    std::vector<std::string> unrecorded;
    auto finish = [&](TRun& run) {
        run.Unit.EndTime = std::chrono::system_clock::now();
        if (!report || run.Unit.Recorded) return;
        if (const int error = report->Write(run.Unit, batch, package); error != 0)
            unrecorded.push_back(run.Unit.Label + ": its line could not be written to the report " +
                                 *options.Report + ": " + std::strerror(error));
    };
    for (auto& run : runs)
        if (!run->Child) finish(*run);

    int interruptsHandled = 0;
    TClock::time_point killAt{};
    auto lastDraw = TClock::now() - std::chrono::seconds(1);
    bool changed = true;
    while (true) {
        std::vector<pollfd> fds;
        std::vector<TRun*> owners;
        bool anyRunning = false;
        for (auto& run : runs) {
            if (!run->Unit.Running) continue;
            anyRunning = true;
            if (run->Child->EventsFd() >= 0) {
                fds.push_back({run->Child->EventsFd(), POLLIN, 0});
                owners.push_back(run.get());
            }
            if (run->Child->ErrorsFd() >= 0) {
                fds.push_back({run->Child->ErrorsFd(), POLLIN, 0});
                owners.push_back(run.get());
            }
        }
        if (!anyRunning) break;
        ::poll(fds.data(), fds.size(), kTickMs);
        const auto now = TClock::now();

        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            TRun& run = *owners[i];
            TStationUnit& unit = run.Unit;
            const int events = unit.Events;
            const std::size_t messages = unit.Messages.size();
            std::string bytes;
            if (fds[i].fd == run.Child->EventsFd()) {
                run.Child->ReadEvents(bytes);
                for (const std::string& line : unit.FeedEvents(bytes)) display.Line(unit, line);
            } else {
                run.Child->ReadErrors(bytes);
                for (const std::string& line : unit.FeedMessages(bytes)) display.Message(unit, line);
            }
            // Only events and messages are signs of life; garbage is not.
            if (unit.Events != events || unit.Messages.size() != messages) unit.LastActivity = now;
            if (!bytes.empty()) changed = true;
        }

        const int interrupts = gInterrupts;
        if (interrupts > interruptsHandled) {
            if (interruptsHandled == 0) {
                killAt = now + std::chrono::seconds(kInterruptGraceSeconds);
                for (auto& run : runs)
                    if (run->Unit.Running && !run->Killed) {
                        run->Child->Kill(SIGTERM);
                        run->Killed = true;
                        run->Unit.EndReason = kInterrupted;
                    }
            } else {
                killAt = now;  // a second interrupt: no more waiting
            }
            interruptsHandled = interrupts;
        }
        if (interruptsHandled > 0 && now >= killAt) {
            // What survived SIGTERM (a stopped process, one that ignores it) ends now.
            for (auto& run : runs)
                if (run->Unit.Running) {
                    run->Child->Kill(SIGKILL);
                    run->Child->Kill(SIGCONT);
                }
        }

        for (auto& run : runs) {
            TStationUnit& unit = run->Unit;
            if (!unit.Running) continue;
            if (!run->Killed && now - unit.LastActivity > std::chrono::seconds(kSilenceLimitSeconds)) {
                run->Child->Kill(SIGKILL);
                run->Child->Kill(SIGCONT);
                run->Killed = true;
                unit.EndReason = "no sign of life for " + std::to_string(kSilenceLimitSeconds) + " s";
            }
            std::optional<int> status;
            int signal = 0;
            if (!run->Child->TryReap(status, signal)) continue;
            // The process is gone: what it wrote before it ended is still in the pipes.
            std::string events, errors;
            for (int i = 0; i < 64 && run->Child->ReadEvents(events); ++i) {
            }
            for (int i = 0; i < 64 && run->Child->ReadErrors(errors); ++i) {
            }
            for (const std::string& line : unit.FeedEvents(events)) display.Line(unit, line);
            for (const std::string& line : unit.FeedMessages(errors)) display.Message(unit, line);
            const std::string reason = unit.EndReason;
            for (const std::string& line : unit.Ended(status, signal, reason)) display.Line(unit, line);
            finish(*run);
            changed = true;
        }

        if (display.Live() && changed && now - lastDraw >= std::chrono::milliseconds(kTickMs)) {
            display.Draw(units);
            lastDraw = now;
            changed = false;
        }
    }
    display.Draw(units);
    display.Summary(units, std::chrono::duration<double>(TClock::now() - steadyStart).count());
    // After the table, which would have drawn over them.
    for (const std::string& problem : unrecorded)
        std::fprintf(stderr, "bootloader-cli: %s\n", problem.c_str());

    if (interruptsHandled > 0) return kExitInterrupted;
    bool failed = !unrecorded.empty(), notRestored = false;
    for (const TStationUnit* unit : units) {
        failed = failed || unit->Result() == TStationUnit::TResult::Failed;
        notRestored = notRestored || unit->Result() == TStationUnit::TResult::SettingsNotRestored;
    }
    if (failed) return kExitSomeFailed;
    return notRestored ? kExitSomeNotRestored : kExitAllCompleted;
}
