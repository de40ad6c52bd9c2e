#include "cli/Station.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

#include "cli/StationChild.h"
#include "cli/StationDisplay.h"
#include "cli/StationOptions.h"
#include "cli/StationReport.h"
#include "cli/StationUnit.h"
#include "cli/StationUsageError.h"
#include "package/FirmwareImage.h"
#include "package/TitleTable.h"
#include "platform/PortResolver.h"
#include "platform/StrToInt.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kTickMs = 100;

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
    gInterrupted = 1;
}

struct TRun {
    TStationUnit Unit;
    std::unique_ptr<TStationChild> Child;
    bool Killed = false;
};

// The package every unit gets, as the units' processes derive it: the one this program
// carries, or the image file and its numbers. Checked here once, so that a bad image is a
// usage error of the batch and not the same failure on every unit.
FirmwareImage BatchPackage(const TStationOptions& options) {
    FirmwareImage package;
    package.ProcessorNumber = ReadResourceWord("PROC_NUM");
    package.SetProgramEnd(package.ProcessorNumber);
    package.PackageModel = ReadResourceWord("VX_NUM");
    package.PackageVersion = ReadResourceWord("FW_VER");
    std::string title;
    ApplyTitleTable(package, title);
    if (options.Image) {
        if (const std::string problem = ImageFileProblem(*options.Image); !problem.empty())
            throw EStationUsageError(problem);
        package.LoadImageFromFile(*options.Image);
        try {
            package.ProcessorNumber = static_cast<std::uint16_t>(StrToInt(*options.Processor));
            package.SetProgramEnd(package.ProcessorNumber);
            package.PackageModel = package.ExpectedModel =
                static_cast<std::uint16_t>(StrToInt(*options.Model));
        } catch (const std::exception& error) {
            throw EStationUsageError(error.what());
        }
    }
    return package;
}

std::string OwnProgram() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) throw std::runtime_error("cannot find this program's own path");
    return std::string(path, static_cast<std::size_t>(n));
}

std::vector<std::string> ChildArgs(const TStationOptions& options, const TStationOptions::TUnit& unit) {
    std::vector<std::string> args;
    if (unit.Port != 0)
        args = {"--port", std::to_string(unit.Port)};
    else
        args = {"--device", unit.Device};
    if (options.Image)
        args.insert(args.end(), {"--image", *options.Image, "--processor", *options.Processor, "--model",
                                 *options.Model});
    args.insert(args.end(), {"--station-events", std::to_string(TStationChild::kEventsDescriptor)});
    return args;
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
        package = BatchPackage(options);
        std::string base = std::filesystem::current_path().string();
        if (base.empty() || base.back() != '/') base += '/';
        options.ResolveDevices(TPortResolver(base));
        if (options.Report) report = std::make_unique<TStationReport>(*options.Report);
        program = OwnProgram();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bootloader-cli: %s\n(bootloader-cli --help shows the options)\n", error.what());
        return kExitBatchUsage;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    TStationDisplay display(stdout, stderr, ::isatty(STDOUT_FILENO) == 1);
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
            run->Child = std::make_unique<TStationChild>(program, ChildArgs(options, entry));
        } catch (const std::exception& error) {
            run->Unit.Ended(std::nullopt, 0, error.what());
            run->Unit.EndTime = std::chrono::system_clock::now();
        }
        units.push_back(&run->Unit);
        runs.push_back(std::move(run));
    }

    bool reportFailed = false;
    auto finish = [&](TRun& run) {
        run.Unit.EndTime = std::chrono::system_clock::now();
        if (report && !report->Write(run.Unit, batch, package)) reportFailed = true;
    };
    for (auto& run : runs)
        if (!run->Child) finish(*run);

    bool interruptHandled = false;
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
            std::string bytes;
            if (fds[i].fd == run.Child->EventsFd()) {
                run.Child->ReadEvents(bytes);
                for (const std::string& line : run.Unit.FeedEvents(bytes)) display.Line(run.Unit, line);
            } else {
                run.Child->ReadErrors(bytes);
                for (const std::string& line : run.Unit.FeedMessages(bytes)) display.Message(run.Unit, line);
            }
            if (!bytes.empty()) {
                run.Unit.LastActivity = now;
                changed = true;
            }
        }

        if (gInterrupted && !interruptHandled) {
            interruptHandled = true;
            for (auto& run : runs)
                if (run->Unit.Running && !run->Killed) {
                    run->Child->Kill(SIGTERM);
                    run->Killed = true;
                    run->Unit.EndReason = "the batch was interrupted";
                }
        }

        for (auto& run : runs) {
            TStationUnit& unit = run->Unit;
            if (!unit.Running) continue;
            if (!run->Killed && now - unit.LastActivity > std::chrono::seconds(kSilenceLimitSeconds)) {
                run->Child->Kill(SIGKILL);
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
    if (reportFailed)
        std::fprintf(stderr, "bootloader-cli: the report %s could not be written whole\n",
                     options.Report->c_str());

    bool failed = reportFailed, notRestored = false;
    for (const TStationUnit* unit : units) {
        failed = failed || unit->Result() == TStationUnit::TResult::Failed;
        notRestored = notRestored || unit->Result() == TStationUnit::TResult::SettingsNotRestored;
    }
    if (failed) return kExitSomeFailed;
    return notRestored ? kExitSomeNotRestored : kExitAllCompleted;
}
