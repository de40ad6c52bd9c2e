// fault-campaign: repeats upgrades of the embedded package with one random fault each and
// checks that no failure is reported as success, that every failure ends in bounded time
// with an error line and the upgrade back at idle, and that a clean upgrade of the same
// unit succeeds afterwards.
//
//   fault-campaign [--runs N] [--pty-runs M] [--batches B] [--seed S] [--verbose]
//
// N runs go in process, on the virtual clock: the application core with the in-memory
// port and the simulated unit, thousands of upgrades a minute. M runs go over real
// pseudo-terminals: the headless runner as a process against unitsim, judged by its exit
// status, its log and the unit's flash dump. B batches go through the station: eight
// units at once, about half of them with one fault each, judged unit by unit by the
// report against each unit's flash.

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ApplicationCore.h"
#include "bench/BenchView.h"
#include "bench/CampaignFault.h"
#include "bench/ChildProgram.h"
#include "bench/StationBatch.h"
#include "bench/UnitSimProcess.h"
#include "support/MemoryPortFactory.h"
#include "support/RecordingLog.h"
#include "support/SimulatedUnitPort.h"
#include "support/VirtualMessageLoop.h"

namespace {

using TKind = TCampaignFault::TKind;

const std::string kDone = "Finalising Upgrade.....Done";
// A failing upgrade waits at most a few request timeouts; far beyond that it hangs.
constexpr std::uint64_t kVirtualLimitMs = 10 * 60 * 1000;
constexpr double kFailureBoundSeconds = 60;
constexpr int kRunnerTimeoutMs = 5 * 60 * 1000;

struct TOptions {
    int Runs = 200;
    int PtyRuns = 0;
    int Batches = 0;
    int BatchSize = 8;
    std::uint64_t Seed = 1;
    bool Verbose = false;
    std::optional<TKind> Kind;
    std::uint32_t At = 0;
};

struct TOutcome {
    TCampaignFault Fault;
    bool Pty = false;
    bool Success = false;           // the updater reported success
    bool FlashMatches = false;      // the unit's flash held the image afterwards
    bool FailureSound = false;      // a failure: error line, exit status 1 / back at idle, in bounded time
    bool Recovered = false;         // a clean upgrade of the same unit then succeeded
    bool LeftInBootLoader = false;  // reported success, but the unit still runs its boot loader
    double Seconds = 0;             // of the faulty upgrade (virtual time in process)
    std::string LastLine;
    std::string Problem;  // empty when the run passed every check
};

std::size_t CountEntries(const char* dir) {
    std::error_code error;
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(dir, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++n;
    return n;
}

bool ProgressComplete(const std::vector<std::string>& lines) {
    bool erase = false, write = false;
    for (const std::string& l : lines) {
        erase = erase || l == "Erasing Program Memory......100%";
        write = write || l == "Sending New Program Data......100%";
    }
    return erase && write;
}

bool IsErrorLine(const std::string& line) {
    return line.find("Error") != std::string::npos;
}

// ---- In process, on the virtual clock ----

class TVirtualBench {
public:
    TVirtualBench() : ports_(std::make_shared<TMemoryPortFactory>(loop_)) {
        ports_->AddPort("COM1");
        core_ = std::make_unique<TApplicationCore>(loop_, view_, log_,
                                                   [this](const std::string&) { return ports_; });
        core_->CommsPortNumber = 1;
        core_->FormCreate(false);
        if (!core_->Link() || !core_->Link()->IsOpen())
            throw std::runtime_error("in-memory COM1 did not open");
    }

    void PlugUnit(const TSimConfig& config) {
        auto unit = std::make_unique<TSimulatedUnitPort>(loop_, *ports_, "COM1", config);
        unit_ = std::move(unit);  // the new unit's peer has replaced the old one's
    }

    TSimConfig SoundConfig() const {
        TSimConfig c;
        c.Model = core_->Package.ExpectedModel;
        // Exchanges take their time on the line, so a late or duplicated reply meets the
        // requests that follow as it would on a real line.
        c.EmulateWireTime = true;
        return c;
    }

    // Runs one upgrade; false when it did not end within the virtual limit.
    bool Upgrade(double& seconds) {
        view_.Reset();
        const std::uint64_t start = loop_.Now();
        loop_.Post([this] { core_->StartUpgrade(); });
        while (!view_.Ended && loop_.Now() - start < kVirtualLimitMs) loop_.WaitAndDispatch(1000);
        seconds = static_cast<double>(loop_.Now() - start) / 1000.0;
        return view_.Ended;
    }

    bool Reported() const {
        return view_.Completed && log_.LastLine() == kDone && ProgressComplete(log_.Lines());
    }
    bool Idle() const { return view_.StartEnabled && !core_->Sequencer()->Running(); }
    bool FlashMatches() const {
        return unit_->FlashMatches(core_->Package.ImageBuffer.data(), 2048, core_->Package.ProgramEnd);
    }
    const TRecordingLog& Log() const { return log_; }
    TSimUnit& Unit() { return unit_->Unit(); }

private:
    TVirtualMessageLoop loop_;
    std::shared_ptr<TMemoryPortFactory> ports_;
    TRecordingLog log_;
    TBenchView view_;
    std::unique_ptr<TApplicationCore> core_;
    std::unique_ptr<TSimulatedUnitPort> unit_;
};

TOutcome RunVirtual(const TCampaignFault& fault) {
    TOutcome o;
    o.Fault = fault;
    const std::size_t fds = CountEntries("/proc/self/fd");
    const std::size_t tasks = CountEntries("/proc/self/task");
    try {
        TVirtualBench bench;
        TSimConfig config = bench.SoundConfig();
        fault.ApplyTo(config.Faults);
        bench.PlugUnit(config);
        if (!bench.Upgrade(o.Seconds)) {
            o.Problem = "hang: no end after " + std::to_string(kVirtualLimitMs / 1000) + " s";
        } else {
            o.LastLine = bench.Log().LastLine();
            o.Success = bench.Reported();
            o.FlashMatches = bench.FlashMatches();
            o.LeftInBootLoader = o.Success && bench.Unit().Mode() == TSimMode::BootLoader;
            o.FailureSound =
                !o.Success && IsErrorLine(o.LastLine) && bench.Idle() && o.Seconds <= kFailureBoundSeconds;
            if (o.Success && !o.FlashMatches)
                o.Problem = "FALSE SUCCESS: flash differs from the image";
            else if (!o.Success && !o.FailureSound)
                o.Problem = "failure without error line, idle state or bound";

            // A unit that keeps misbehaving, or has dropped its line, is replaced by a
            // sound one with the same flash, in the mode it was left in.
            if (fault.Permanent() || bench.Unit().HungUp()) {
                TSimConfig sound = bench.SoundConfig();
                sound.InitialFlash = bench.Unit().Flash();
                sound.InitialMode = bench.Unit().Mode();
                bench.PlugUnit(sound);
            }
            double seconds = 0;
            o.Recovered = bench.Upgrade(seconds) && bench.Reported() && bench.FlashMatches();
            if (o.Problem.empty() && !o.Recovered) o.Problem = "no recovery: " + bench.Log().LastLine();
        }
    } catch (const std::exception& e) {
        o.Problem = std::string("crash: ") + e.what();
    }
    if (o.Problem.empty() &&
        (CountEntries("/proc/self/fd") != fds || CountEntries("/proc/self/task") != tasks))
        o.Problem = "descriptors or threads leaked";
    return o;
}

// ---- Over pseudo-terminals, the headless runner as a process ----

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class TPtyBench {
public:
    explicit TPtyBench(const std::string& work) : work_(work), ports_(work + "/ports") {
        std::filesystem::create_directories(ports_);
        // The image and its last address, as the runner carries them.
        TChildProgram dump(TChildProgram::ProgramDirectory() + "/package-info",
                           {"--dump-image", work_ + "/image.bin"}, "", work_ + "/package-info.txt",
                           work_ + "/package-info.err");
        const auto d = dump.Wait(30000);
        if (!d.Ended || d.ExitStatus != 0) throw std::runtime_error("package-info --dump-image failed");
        image_ = TUnitSimProcess::ReadBinaryFile(work_ + "/image.bin");
        for (const std::string& line : ReadLines(work_ + "/package-info.txt")) {
            if (line.rfind("Program end", 0) == 0)
                programEnd_ = std::stoul(line.substr(line.find(':') + 1), nullptr, 0);
            if (line.rfind("Expected model", 0) == 0) model_ = line.substr(line.find(':') + 1);
        }
        model_.erase(0, model_.find_first_not_of(' '));
        if (image_.size() != 65536 || programEnd_ == 0 || model_.empty())
            throw std::runtime_error("package-info did not describe the package");
    }

    const std::vector<std::uint8_t>& Image() const { return image_; }
    std::uint32_t ProgramEnd() const { return programEnd_; }
    const std::string& Model() const { return model_; }

    TOutcome Run(const TCampaignFault& fault) {
        TOutcome o;
        o.Fault = fault;
        o.Pty = true;
        auto unit = StartUnit(fault.UnitSimArgs(), "");
        int status = 0;
        std::vector<std::string> lines = RunRunner(status, o.Seconds);
        o.LastLine = lines.empty() ? "" : lines.back();
        const bool crashed = status < 0;
        o.Success = status == 0 && o.LastLine == kDone && ProgressComplete(lines);
        o.FailureSound = status == 1 && IsErrorLine(o.LastLine) && o.Seconds <= kFailureBoundSeconds;

        // The flash: after a restart command the unit has dumped it; otherwise, and when
        // the unit must be replaced, it is stopped and dumps it at its end.
        const bool restarted = std::filesystem::exists(unit->FlashDumpPath());
        const bool replace = fault.Permanent() || !unit->Running() || (o.Success && !restarted);
        if (replace) unit->Stop();
        o.FlashMatches = Matches(unit->Flash());
        if (crashed)
            o.Problem = "crash or hang of the runner (status " + std::to_string(status) + ")";
        else if (o.Success && !o.FlashMatches)
            o.Problem = "FALSE SUCCESS: flash differs from the image";
        else if (status == 0 && !o.Success)
            o.Problem = "exit status 0 without the final line";
        else if (!o.Success && !o.FailureSound)
            o.Problem = "failure without error line, exit status 1 or bound";

        if (replace) {
            // Left in its boot loader: by a hang-up or a power loss during the writes, by the
            // model request it answered wrongly, or by a restart it never received.
            std::filesystem::copy_file(unit->FlashDumpPath(), work_ + "/flash-init.bin",
                                       std::filesystem::copy_options::overwrite_existing);
            unit.reset();
            unit = StartUnit({"--flash-init", work_ + "/flash-init.bin", "--mode", "boot"}, "");
        }
        int recoveryStatus = 0;
        double recoverySeconds = 0;
        const std::vector<std::string> again = RunRunner(recoveryStatus, recoverySeconds);
        unit->Stop();
        o.Recovered =
            recoveryStatus == 0 && !again.empty() && again.back() == kDone && Matches(unit->Flash());
        if (o.Problem.empty() && !o.Recovered)
            o.Problem = "no recovery (status " + std::to_string(recoveryStatus) + ")";
        return o;
    }

private:
    std::unique_ptr<TUnitSimProcess> StartUnit(std::vector<std::string> args, const std::string&) {
        args.insert(args.end(), {"--model", model_});
        return std::make_unique<TUnitSimProcess>(work_, ports_, 1, args);
    }

    // The runner's log lines; status -1 for a crash or a hang (then killed).
    std::vector<std::string> RunRunner(int& status, double& seconds) {
        TChildProgram runner(TChildProgram::ProgramDirectory() + "/bootloader-cli", {"--port", "1"}, work_,
                             work_ + "/cli-stdout.txt", work_ + "/cli-stderr.txt",
                             {"BOOTLOADER_PORTS=" + ports_});
        const auto o = runner.Wait(kRunnerTimeoutMs);
        status = o.Ended && o.Signal == 0 ? o.ExitStatus : -1;
        seconds = o.WallSeconds;
        return ReadLines(work_ + "/cli-stdout.txt");
    }

    bool Matches(const std::vector<std::uint8_t>& flash) const {
        return flash.size() > programEnd_ &&
               std::equal(image_.begin() + 2048, image_.begin() + programEnd_ + 1, flash.begin() + 2048);
    }

    std::string work_;
    std::string ports_;
    std::vector<std::uint8_t> image_;
    std::uint32_t programEnd_ = 0;
    std::string model_;
};

// ---- Batches through the station ----

struct TBatchTally {
    int Batches = 0, Units = 0, Clean = 0, CleanCompleted = 0, Faulted = 0, FaultedCompleted = 0,
        FaultedFailed = 0, FalseSuccesses = 0, ReportDisagreements = 0, Problems = 0;
    double MaxSeconds = 0;
    std::map<int, std::pair<int, int>> ByKind;  // fault kind -> units completed, units failed
};

// One batch: each unit with its fault or none. Every unit must have its line in the report;
// "completed" only with the image in the unit's flash; every clean unit completed; a faulted
// unit completed (honestly) or failed alone; the exit status as the results say.
void RunBatch(TStationBatch& station, const std::string& model,
              const std::vector<std::optional<TCampaignFault>>& faults, TBatchTally& t, bool verbose,
              int index) {
    std::vector<std::vector<std::string>> args;
    for (const auto& fault : faults) {
        std::vector<std::string> a = {"--model", model};
        if (fault) {
            const auto extra = fault->UnitSimArgs();
            a.insert(a.end(), extra.begin(), extra.end());
        }
        args.push_back(a);
    }
    const TStationBatch::TOutcome o = station.Run(args, false, kRunnerTimeoutMs);
    ++t.Batches;
    t.MaxSeconds = std::max(t.MaxSeconds, o.Runner.WallSeconds);
    bool anyFailed = false;
    std::vector<std::string> problems;
    if (!o.Runner.Ended || o.Runner.Signal != 0) problems.push_back("station crashed or hung");
    if (o.ReportLines != static_cast<int>(faults.size()))
        problems.push_back("report has " + std::to_string(o.ReportLines) + " lines");
    for (std::size_t i = 0; i < faults.size(); ++i) {
        const auto& u = o.Units[i];
        const std::string name =
            "COM" + std::to_string(i + 1) + (faults[i] ? " (" + faults[i]->Describe() + ")" : "");
        ++t.Units;
        const bool completed = u.Result == "completed";
        anyFailed = anyFailed || !completed;
        if (u.Result.empty()) problems.push_back(name + ": no report line");
        if (completed && !u.FlashHoldsImage) {
            ++t.FalseSuccesses;
            problems.push_back(name + ": FALSE SUCCESS, flash differs from the image");
        }
        if (!completed && u.Result != "failed") {
            ++t.ReportDisagreements;
            problems.push_back(name + ": result '" + u.Result + "'");
        }
        if (faults[i]) {
            ++t.Faulted;
            t.FaultedCompleted += completed;
            t.FaultedFailed += !completed;
            auto& kind = t.ByKind[static_cast<int>(faults[i]->Kind())];
            (completed ? kind.first : kind.second) += 1;
        } else {
            ++t.Clean;
            t.CleanCompleted += completed && u.FlashHoldsImage;
            if (!completed) problems.push_back(name + ": a clean unit did not complete: " + u.ReportLine);
        }
        if (verbose)
            std::printf("batch %d %s: %s, flash %s\n", index, name.c_str(), u.Result.c_str(),
                        u.FlashHoldsImage ? "holds the image" : "differs");
    }
    if (o.Runner.Ended && o.Runner.ExitStatus != (anyFailed ? 1 : 0))
        problems.push_back("exit status " + std::to_string(o.Runner.ExitStatus));
    t.Problems += !problems.empty();
    for (const std::string& p : problems) std::printf("batch %d: %s  <--\n", index, p.c_str());
}

void PrintBatchTable(const TBatchTally& t) {
    if (t.Batches == 0) return;
    std::printf("Batches through the station (bootloader-cli --ports 1-N --report, unitsim units)\n");
    std::printf("  batches %d, units %d, longest batch %.1f s\n", t.Batches, t.Units, t.MaxSeconds);
    std::printf("  clean units: %d, completed with the image: %d\n", t.Clean, t.CleanCompleted);
    std::printf("  faulted units: %d, completed honestly: %d, failed alone: %d\n", t.Faulted,
                t.FaultedCompleted, t.FaultedFailed);
    for (const auto& [kind, counts] : t.ByKind)
        std::printf("    %-16s completed %3d, failed %3d\n", TCampaignFault::Name(static_cast<TKind>(kind)),
                    counts.first, counts.second);
    std::printf("  false successes: %d, report entries disagreeing: %d, batches with a problem: %d\n\n",
                t.FalseSuccesses, t.ReportDisagreements, t.Problems);
}

// ---- Report ----

struct TTally {
    int Runs = 0, Successes = 0, Detected = 0, FalseSuccesses = 0, Recoveries = 0, InBootLoader = 0;
    double MaxFailSeconds = 0;
};

void PrintTable(const char* title, const std::vector<TOutcome>& outcomes, bool pty) {
    std::map<int, TTally> byKind;
    TTally total;
    for (const TOutcome& o : outcomes) {
        if (o.Pty != pty) continue;
        for (TTally* t : {&byKind[static_cast<int>(o.Fault.Kind())], &total}) {
            ++t->Runs;
            t->Successes += o.Success;
            t->Detected += !o.Success && o.FailureSound;
            t->FalseSuccesses += o.Success && !o.FlashMatches;
            t->Recoveries += o.Recovered;
            t->InBootLoader += o.LeftInBootLoader;
            if (!o.Success) t->MaxFailSeconds = std::max(t->MaxFailSeconds, o.Seconds);
        }
    }
    if (total.Runs == 0) return;
    std::printf("%s\n", title);
    std::printf("  %-16s %5s %9s %9s %8s %10s %13s %9s\n", "fault", "runs", "successes", "failures", "false",
                "recoveries", "max failing", "success,");
    std::printf("  %-16s %5s %9s %9s %8s %10s %13s %9s\n", "", "", "", "detected", "success", "",
                pty ? "run (s)" : "run (s, virt)", pty ? "" : "boot mode");
    auto row = [pty](const std::string& name, const TTally& t) {
        std::printf("  %-16s %5d %9d %9d %8d %10d %13.1f %9s\n", name.c_str(), t.Runs, t.Successes,
                    t.Detected, t.FalseSuccesses, t.Recoveries, t.MaxFailSeconds,
                    pty ? "-" : std::to_string(t.InBootLoader).c_str());
    };
    for (const auto& [kind, t] : byKind) row(TCampaignFault::Name(static_cast<TKind>(kind)), t);
    row("all", total);
    std::printf("\n");
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        if (a == "--runs")
            o.Runs = std::stoi(value());
        else if (a == "--pty-runs")
            o.PtyRuns = std::stoi(value());
        else if (a == "--batches")
            o.Batches = std::stoi(value());
        else if (a == "--batch-size")
            o.BatchSize = std::stoi(value());
        else if (a == "--seed")
            o.Seed = std::stoull(value());
        else if (a == "--verbose")
            o.Verbose = true;
        else if (a == "--kind") {
            TKind kind;
            if (!TCampaignFault::KindNamed(value(), kind))
                throw std::runtime_error("no fault kind " + std::string(argv[i]));
            o.Kind = kind;
        } else if (a == "--at")
            o.At = static_cast<std::uint32_t>(std::stoul(value()));
        else
            throw std::runtime_error("unknown option " + a +
                                     " (options: --runs N --pty-runs M --batches B --batch-size U --seed S "
                                     "--kind NAME --at N --verbose)");
    }
    if (o.Batches < 0 || o.BatchSize < 1 || o.BatchSize > 256)
        throw std::runtime_error("batches: 1 to 256 units");
    if (o.Runs < 0 || o.PtyRuns < 0) throw std::runtime_error("run counts must not be negative");
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fault-campaign: %s\n", e.what());
        return 2;
    }
    std::mt19937_64 random(options.Seed);
    std::vector<TOutcome> outcomes;
    const auto start = std::chrono::steady_clock::now();
    // The kinds take turns, so every kind gets its share of a short campaign.
    auto nextFault = [&random, &options, n = 0]() mutable {
        TCampaignFault f = TCampaignFault::Draw(
            options.Kind ? *options.Kind : static_cast<TKind>(n++ % TCampaignFault::kKinds), random);
        if (options.At != 0) f.SetAt(options.At);
        return f;
    };
    auto report = [&options](const TOutcome& o, int index) {
        if (options.Verbose || !o.Problem.empty())
            std::printf("%s run %d: %s: %s, last line '%s'%s%s\n", o.Pty ? "pty" : "virtual", index,
                        o.Fault.Describe().c_str(), o.Success ? "success" : "failure", o.LastLine.c_str(),
                        o.Problem.empty() ? "" : "  <-- ", o.Problem.c_str());
    };
    for (int i = 0; i < options.Runs; ++i) {
        outcomes.push_back(RunVirtual(nextFault()));
        report(outcomes.back(), i + 1);
    }
    std::string work;
    TBatchTally batches;
    if (options.PtyRuns > 0 || options.Batches > 0) {
        work = (std::filesystem::temp_directory_path() / "fault-campaign-XXXXXX").string();
        if (::mkdtemp(work.data()) == nullptr) {
            std::perror("fault-campaign: mkdtemp");
            return 2;
        }
        try {
            TPtyBench pty(work);
            for (int i = 0; i < options.PtyRuns; ++i) {
                outcomes.push_back(pty.Run(nextFault()));
                report(outcomes.back(), i + 1);
            }
            TStationBatch station(work, pty.Image(), pty.ProgramEnd());
            for (int b = 0; b < options.Batches; ++b) {
                // About half the units get one fault each, at least one per batch.
                std::vector<std::optional<TCampaignFault>> faults(
                    static_cast<std::size_t>(options.BatchSize));
                for (auto& f : faults)
                    if (random() % 2 == 0) f = nextFault();
                if (std::none_of(faults.begin(), faults.end(), [](const auto& f) { return f.has_value(); }))
                    faults[random() % faults.size()] = nextFault();
                RunBatch(station, pty.Model(), faults, batches, options.Verbose, b + 1);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "fault-campaign: %s\n", e.what());
            TOutcome broken;
            broken.Pty = true;
            broken.Problem = e.what();
            outcomes.push_back(broken);
        }
        std::error_code ignored;
        std::filesystem::remove_all(work, ignored);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf(
        "\nFault campaign, seed %llu: %d runs in process (virtual clock), %d over pseudo-terminals, %d "
        "batches of %d, "
        "%.1f s\n\n",
        static_cast<unsigned long long>(options.Seed), options.Runs, options.PtyRuns, options.Batches,
        options.BatchSize, seconds);
    PrintTable("In process, virtual clock (application core, in-memory port, simulated unit)", outcomes,
               false);
    PrintTable("Over pseudo-terminals (bootloader-cli against unitsim)", outcomes, true);
    PrintBatchTable(batches);
    int problems = batches.Problems;
    for (const TOutcome& o : outcomes) problems += !o.Problem.empty();
    std::printf("Runs with a problem (false success, unsound failure, hang, crash, leak, no recovery): %d\n",
                problems);
    return problems == 0 ? 0 : 1;
}
