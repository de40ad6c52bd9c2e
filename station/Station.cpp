#include "station/Station.h"

#include <chrono>
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
#include "station/StationPlatform.h"
#include "station/StationReport.h"
#include "station/StationUnit.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kTickMs = 100;
const std::string kInterrupted = "the batch was interrupted";

struct TRun {
    TStationUnit Unit;
    std::unique_ptr<TStationChild> Child;
    bool Killed = false;
};

// The unit's arguments, given the numbers of its event pipe and report.
TStationChild::TArguments ChildArgs(const TStationOptions& options, const TStationOptions::TUnit& unit,
                                    const std::string& batch) {
    return [&options, &unit, batch](int events, int report) {
        std::vector<std::string> args;
        if (unit.Port != 0)
            args = {"--port", std::to_string(unit.Port)};
        else
            args = {"--device", unit.Device};
        if (options.Image)
            args.insert(args.end(), {"--image", *options.Image, "--processor", *options.Processor, "--model",
                                     *options.Model});
        args.insert(args.end(), {"--station-events", std::to_string(events)});
        if (report >= 0)
            args.insert(args.end(), {"--station-report", std::to_string(report), "--station-batch", batch,
                                     "--station-unit", unit.Label, "--station-device", unit.Device,
                                     "--station-pid", std::to_string(TStationPlatform::ProcessId())});
        return args;
    };
}

}  // namespace

bool TStation::Applies(int argc, char** argv) {
    return TStationOptions::Applies(TStationPlatform::Arguments(argc, argv));
}

int TStation::Run(int argc, char** argv) {
    TStationOptions options;
    FirmwareImage package;
    std::unique_ptr<TStationReport> report;
    std::uint64_t reportStart = 0;  // the report's size before this batch: its lines come after
    std::string program;
    try {
        options = TStationOptions::Parse(TStationPlatform::Arguments(argc, argv));
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
        if (options.Report) {
            report = std::make_unique<TStationReport>(*options.Report);
            reportStart = TStationReport::SizeOf(*options.Report);
        }
        program = TStationPlatform::OwnProgram();
        TStationPlatform::EnsureDescriptors(options.Units.size(), TStationChild::kDescriptorsPerUnit,
                                            TStationChild::kDescriptorsToStart);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bootloader-cli: %s\n", error.what());
        return kExitBatchUsage;
    }

    TStationPlatform::CatchInterrupts();

    TStationDisplay display(stdout, stderr, TStationPlatform::TableFits(stdout));
    const auto batchStart = std::chrono::system_clock::now();
    const auto steadyStart = TClock::now();
    const std::string batch =
        TStationReport::IsoTime(batchStart) + "/" + std::to_string(TStationPlatform::ProcessId());

    std::vector<std::unique_ptr<TRun>> runs;
    std::vector<const TStationUnit*> units;
    for (const TStationOptions::TUnit& entry : options.Units) {
        auto run = std::make_unique<TRun>(TRun{TStationUnit(entry.Label, entry.Port, entry.Device), nullptr});
        run->Unit.StartTime = std::chrono::system_clock::now();
        run->Unit.LastActivity = TClock::now();
        try {
            run->Child = std::make_unique<TStationChild>(program, ChildArgs(options, entry, batch),
                                                         report ? report->Fd() : -1);
        } catch (const std::exception& error) {
            // Every process made so far is held and ends with runs, having touched nothing.
            std::fprintf(stderr, "bootloader-cli: %s: %s; no unit was started\n", entry.Label.c_str(),
                         error.what());
            return kExitBatchUsage;
        }
        units.push_back(&run->Unit);
        runs.push_back(std::move(run));
    }
    for (auto& run : runs) run->Child->Release();

    // A unit's line is written by its own process as it ends; the batch writes the lines of
    // the units whose process could not (it was killed, crashed, or could not write), and
    // names every unit whose line is missing, with the reason.
    bool unrecorded = false;         // a unit has no line
    std::vector<std::string> notes;  // told after the table: units without a line
    auto finish = [&](TRun& run) {
        run.Unit.EndTime = std::chrono::system_clock::now();
        if (!report || run.Unit.Recorded) return;
        if (const int error =
                report->WriteUnlessRecorded(run.Unit, batch, package, *options.Report, reportStart);
            error != 0) {
            unrecorded = true;
            notes.push_back(run.Unit.Label + ": its line could not be written to the report " +
                            *options.Report + ": " + std::strerror(error));
        }
    };

    int interruptsHandled = 0;
    TClock::time_point killAt{};
    auto lastDraw = TClock::now() - std::chrono::seconds(1);
    bool changed = true;
    while (true) {
        std::vector<int> fds;
        std::vector<TRun*> owners;
        bool anyRunning = false;
        for (auto& run : runs) {
            if (!run->Unit.Running) continue;
            anyRunning = true;
            for (const int fd : {run->Child->EventsFd(), run->Child->ErrorsFd()}) {
                if (fd < 0) continue;
                fds.push_back(fd);
                owners.push_back(run.get());
            }
        }
        if (!anyRunning) break;
        std::vector<bool> ready;
        TStationPlatform::WaitReadable(fds, kTickMs, ready);
        const auto now = TClock::now();

        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!ready[i]) continue;
            TRun& run = *owners[i];
            TStationUnit& unit = run.Unit;
            const int events = unit.Events;
            const std::size_t messages = unit.Messages.size();
            std::string bytes;
            if (fds[i] == run.Child->EventsFd()) {
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

        const int interrupts = TStationPlatform::Interrupts();
        if (interrupts > interruptsHandled) {
            if (interruptsHandled == 0) {
                killAt = now + std::chrono::seconds(kInterruptGraceSeconds);
                for (auto& run : runs)
                    if (run->Unit.Running && !run->Killed) {
                        run->Child->Terminate();
                        run->Killed = true;
                        run->Unit.EndReason = kInterrupted;
                    }
            } else {
                killAt = now;  // a second interrupt: no more waiting
            }
            interruptsHandled = interrupts;
        }
        if (interruptsHandled > 0 && now >= killAt) {
            // What survived being asked to end (a stopped process, one that ignores it) ends now.
            for (auto& run : runs)
                if (run->Unit.Running) run->Child->Kill();
        }

        for (auto& run : runs) {
            TStationUnit& unit = run->Unit;
            if (!unit.Running) continue;
            if (!run->Killed && now - unit.LastActivity > std::chrono::seconds(kSilenceLimitSeconds)) {
                run->Child->Kill();
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
    if (interruptsHandled > 0)
        std::fprintf(stdout, "The batch was interrupted: the units still running were ended.\n");
    // After the table, which would have drawn over them.
    for (const std::string& problem : notes) std::fprintf(stderr, "bootloader-cli: %s\n", problem.c_str());

    if (interruptsHandled > 0) return kExitInterrupted;
    bool failed = unrecorded, notRestored = false;
    for (const TStationUnit* unit : units) {
        failed = failed || unit->Result() == TStationUnit::TResult::Failed;
        notRestored = notRestored || unit->Result() == TStationUnit::TResult::SettingsNotRestored;
    }
    if (failed) return kExitSomeFailed;
    return notRestored ? kExitSomeNotRestored : kExitAllCompleted;
}
