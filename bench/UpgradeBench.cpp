// upgrade-bench: times a whole upgrade of a 64 KiB part against unitsim over a
// pseudo-terminal, with an instant unit and with the line's wire time emulated.
//
//   upgrade-bench [--runs N] [--process-runs N] [--wire-runs N] [--keep]
//
// Per-exchange host times come from the runner's own core driven in this process (the Qt
// message loop, the POSIX port factory, the receive thread), with each request and the
// recognition of its reply time-stamped at the device and the link; the unit's own time
// for each reply, taken from its trace, is subtracted. CPU time and peak memory of the
// headless runner come from wait4 on bootloader-cli runs against a fresh unit.

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ApplicationCore.h"
#include "bench/BenchView.h"
#include "bench/ChildProgram.h"
#include "bench/SampleStatistics.h"
#include "bench/TimedMessageLoop.h"
#include "bench/TimedPortFactory.h"
#include "bench/UnitSimProcess.h"
#include "link/posix/PosixPortFactory.h"
#include "platform/qt/QtMessageLoop.h"
#include "support/RecordingLog.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr double kHostMedianTargetMs = 1.5;
constexpr double kWireRatioTarget = 1.15;
constexpr double kCpuShareTarget = 0.05;
constexpr double kPeakRssTargetMb = 40;
constexpr int kRunnerTimeoutMs = 10 * 60 * 1000;

struct TOptions {
    int Runs = 3;
    int ProcessRuns = 3;
    int WireRuns = 1;
    bool Keep = false;
};

double Ms(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
double Seconds(TClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double CpuSecondsOfThisProcess() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TRun {
    std::vector<TTimedPortFactory::TExchange> Exchanges;
    std::vector<double> UnitDelaysMs;  // matched to Exchanges; empty when they did not match
    double WallSeconds = 0;
    double CpuSeconds = 0;
    double DelaySeconds = 0;  // fixed delays of device preparation
    bool Completed = false;
    bool FlashMatches = false;
    std::string LastLine;
};

// One upgrade by the runner's core in this process against the unit on COM1 of portsDir.
TRun UpgradeInProcess(const std::string& portsDir, std::vector<std::uint8_t>& image,
                      std::uint32_t& programEnd) {
    ::setenv("BOOTLOADER_PORTS", portsDir.c_str(), 1);
    TQtMessageLoop qtLoop;
    TTimedMessageLoop loop(qtLoop);
    TRecordingLog log;
    TBenchView view;
    std::shared_ptr<TTimedPortFactory> ports;
    TApplicationCore core(loop, view, log, [&ports](const std::string& baseDir) {
        ports = std::make_shared<TTimedPortFactory>(std::make_shared<TPosixPortFactory>(baseDir));
        return ports;
    });
    core.CommsPortNumber = 1;
    core.FormCreate(false);
    if (core.Link() == nullptr || !core.Link()->IsOpen()) throw std::runtime_error("COM1 did not open");
    ports->SetLink(core.Link());
    image.assign(core.Package.ImageBuffer.begin(), core.Package.ImageBuffer.end());
    programEnd = core.Package.ProgramEnd;
    ports->TakeExchanges();  // nothing was sent yet; starts the record afresh

    TRun run;
    const double cpu0 = CpuSecondsOfThisProcess();
    const auto t0 = TClock::now();
    loop.Post([&core] { core.StartUpgrade(); });
    while (!view.Ended) loop.WaitAndDispatch();
    const auto t1 = TClock::now();
    run.CpuSeconds = CpuSecondsOfThisProcess() - cpu0;
    run.WallSeconds = Seconds(t1 - t0);
    run.DelaySeconds = Seconds(loop.LimitedWaits());
    run.Completed = view.Completed;
    run.LastLine = log.LastLine();
    run.Exchanges = ports->TakeExchanges();
    return run;
}

bool FlashHoldsImage(const std::vector<std::uint8_t>& flash, const std::vector<std::uint8_t>& image,
                     std::uint32_t programEnd) {
    if (flash.size() <= programEnd || image.size() <= programEnd) return false;
    return std::equal(image.begin() + 2048, image.begin() + programEnd + 1, flash.begin() + 2048);
}

TRun UpgradeAgainstUnit(const std::string& work, const std::vector<std::string>& unitArgs) {
    const std::string ports = work + "/ports";
    std::filesystem::create_directories(ports);
    TUnitSimProcess unit(work, ports, 1, unitArgs, true);
    std::vector<std::uint8_t> image;
    std::uint32_t programEnd = 0;
    TRun run = UpgradeInProcess(ports, image, programEnd);
    if (!unit.Stop()) throw std::runtime_error("unitsim did not end cleanly");
    run.FlashMatches = FlashHoldsImage(unit.Flash(), image, programEnd);
    run.UnitDelaysMs = unit.ReplyDelaysMs();
    if (run.UnitDelaysMs.size() != run.Exchanges.size()) {
        std::fprintf(
            stderr,
            "upgrade-bench: unit trace has %zu requests, the link sent %zu; unit time not subtracted\n",
            run.UnitDelaysMs.size(), run.Exchanges.size());
        run.UnitDelaysMs.clear();
    }
    return run;
}

struct TExchangeFigures {
    std::vector<double> HostMs;  // replied exchanges: host time
    double UnitMs = 0;           // sum of the unit's own time
    std::size_t Replied = 0;
    std::size_t TimedOut = 0;
    double TimedOutSeconds = 0;
    double WireSeconds = 0;  // request and reply bytes at 10 bits per byte
    std::size_t Bytes = 0;
};

TExchangeFigures Figures(const TRun& run) {
    TExchangeFigures f;
    for (std::size_t i = 0; i < run.Exchanges.size(); ++i) {
        const auto& e = run.Exchanges[i];
        const std::size_t bytes = e.RequestBytes + e.ReplyBytes;
        f.Bytes += bytes;
        if (e.Baud != 0) f.WireSeconds += static_cast<double>(bytes) * 10.0 / e.Baud;
        if (!e.Replied) {
            ++f.TimedOut;
            f.TimedOutSeconds += Seconds(e.Ended - e.Written);
            continue;
        }
        ++f.Replied;
        const double unit = run.UnitDelaysMs.empty() ? 0 : run.UnitDelaysMs[i];
        f.UnitMs += unit;
        f.HostMs.push_back(Ms(e.Recognised - e.Written) - unit);
    }
    return f;
}

const char* Verdict(bool met) {
    return met ? "met" : "MISSED";
}

TOptions ParseOptions(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&]() {
            if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
            return std::max(0, std::atoi(argv[++i]));
        };
        if (a == "--runs")
            o.Runs = std::max(1, number());
        else if (a == "--process-runs")
            o.ProcessRuns = number();
        else if (a == "--wire-runs")
            o.WireRuns = number();
        else if (a == "--keep")
            o.Keep = true;
        else
            throw std::runtime_error("unknown option " + a +
                                     " (options: --runs N --process-runs N --wire-runs N --keep)");
    }
    return o;
}

std::string MachineLine() {
    utsname u{};
    ::uname(&u);
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    char text[200];
    std::snprintf(text, sizeof text, "%s %s, %ld CPUs online, load average %.2f %.2f %.2f", u.sysname,
                  u.release, ::sysconf(_SC_NPROCESSORS_ONLN), load[0], load[1], load[2]);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    TOptions options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "upgrade-bench: %s\n", e.what());
        return 2;
    }
    QCoreApplication application(argc, argv);
    std::string work = (std::filesystem::temp_directory_path() / "upgrade-bench-XXXXXX").string();
    if (::mkdtemp(work.data()) == nullptr) {
        std::perror("upgrade-bench: mkdtemp");
        return 2;
    }
    bool allGood = true;
    try {
        std::printf(
            "Upgrade of a 64 KiB part (every block present) against unitsim over a pseudo-terminal\n");
        std::printf("Machine: %s\n\n", MachineLine().c_str());

        // Instant unit, in process.
        std::vector<double> host, walls, cpuShares;
        TExchangeFigures first;
        double unitMs = 0, delays = 0, timedOutSeconds = 0;
        std::size_t timedOut = 0;
        for (int r = 0; r < options.Runs; ++r) {
            const TRun run = UpgradeAgainstUnit(work, {});
            const TExchangeFigures f = Figures(run);
            if (r == 0) first = f;
            host.insert(host.end(), f.HostMs.begin(), f.HostMs.end());
            walls.push_back(run.WallSeconds);
            cpuShares.push_back(run.CpuSeconds / run.WallSeconds);
            unitMs += f.UnitMs;
            delays += run.DelaySeconds;
            timedOut += f.TimedOut;
            timedOutSeconds += f.TimedOutSeconds;
            if (!run.Completed || !run.FlashMatches) {
                allGood = false;
                std::fprintf(
                    stderr,
                    "upgrade-bench: instant run %d: completed %d, flash equals image %d, last line '%s'\n",
                    r + 1, run.Completed, run.FlashMatches, run.LastLine.c_str());
            }
        }
        const TSampleStatistics hostStats(host);
        const TSampleStatistics wallStats(walls);
        const TSampleStatistics cpuStats(cpuShares);
        std::printf("Instant unit, the runner's core in this process (%d upgrades)\n", options.Runs);
        std::printf("  %-34s %.3f s median (min %.3f, max %.3f)\n", "upgrade wall time", wallStats.Median(),
                    wallStats.Percentile(0), wallStats.Max());
        std::printf("  %-34s %zu (%zu replied, %zu without reply), %zu bytes\n", "exchanges per upgrade",
                    first.Replied + first.TimedOut, first.Replied, first.TimedOut, first.Bytes);
        std::printf("  %-34s median %.3f ms, p99 %.3f ms, max %.3f ms (n = %zu)\n", "host time per exchange",
                    hostStats.Median(), hostStats.Percentile(99), hostStats.Max(), hostStats.Count());
        std::printf("  %-34s %.3f ms in all\n", "unit's own time (subtracted)", unitMs);
        std::printf("  %-34s %zu exchanges without reply (%.3f s), delays %.3f s\n",
                    "fixed waits (not in the above)", timedOut, timedOutSeconds, delays);
        std::printf("  %-34s %.1f %% of wall time, median (this process, receive thread included)\n\n",
                    "CPU time", 100 * cpuStats.Median());

        // The headless runner as its own process: CPU time and peak memory from wait4.
        std::vector<double> runnerWall, runnerCpu, runnerShare;
        long peakKb = 0;
        for (int r = 0; r < options.ProcessRuns; ++r) {
            const std::string ports = work + "/ports";
            std::filesystem::create_directories(ports);
            TUnitSimProcess unit(work, ports, 1, {});
            TChildProgram runner(TChildProgram::ProgramDirectory() + "/bootloader-cli", {"--port", "1"}, work,
                                 work + "/cli-stdout.txt", work + "/cli-stderr.txt",
                                 {"BOOTLOADER_PORTS=" + ports});
            const TChildProgram::TOutcome o = runner.Wait(kRunnerTimeoutMs);
            unit.Stop();
            if (!o.Ended || o.ExitStatus != 0) {
                allGood = false;
                std::fprintf(stderr, "upgrade-bench: bootloader-cli run %d ended with status %d\n", r + 1,
                             o.ExitStatus);
            }
            runnerWall.push_back(o.WallSeconds);
            runnerCpu.push_back(o.UserSeconds + o.SystemSeconds);
            runnerShare.push_back((o.UserSeconds + o.SystemSeconds) / o.WallSeconds);
            peakKb = std::max(peakKb, o.PeakRssKb);
        }
        bool cpuMet = true, rssMet = true;
        if (options.ProcessRuns > 0) {
            const TSampleStatistics w(runnerWall), c(runnerCpu), s(runnerShare);
            cpuMet = s.Median() <= kCpuShareTarget;
            rssMet = peakKb / 1024.0 < kPeakRssTargetMb;
            std::printf("Headless runner process, bootloader-cli --port 1 (%d runs, start-up included)\n",
                        options.ProcessRuns);
            std::printf("  %-34s %.3f s median\n", "wall time", w.Median());
            std::printf("  %-34s %.3f s median = %.1f %% of wall time (max %.1f %%)\n",
                        "CPU time (user + system)", c.Median(), 100 * s.Median(), 100 * s.Max());
            std::printf("  %-34s %.1f MB\n\n", "peak resident memory", peakKb / 1024.0);
        }

        // Wire time emulated by the unit at the line speeds of the upgrade.
        bool wireMet = true;
        for (int r = 0; r < options.WireRuns; ++r) {
            const TRun run = UpgradeAgainstUnit(work, {"--wire-time"});
            const TExchangeFigures f = Figures(run);
            if (!run.Completed || !run.FlashMatches) {
                allGood = false;
                std::fprintf(stderr, "upgrade-bench: wire-time run: completed %d, flash equals image %d\n",
                             run.Completed, run.FlashMatches);
            }
            const double fixed = f.TimedOutSeconds + run.DelaySeconds;
            const double ratio = (run.WallSeconds - fixed) / f.WireSeconds;
            wireMet = wireMet && ratio <= kWireRatioTarget;
            const TSampleStatistics h(f.HostMs);
            std::printf("Wire time emulated (unitsim --wire-time), 115200 bit/s boot, 9600 bit/s Modbus\n");
            std::printf("  %-34s %zu bytes in %zu exchanges\n", "bytes on the line", f.Bytes,
                        f.Replied + f.TimedOut);
            std::printf("  %-34s %.3f s (10 bits per byte at each exchange's speed)\n", "wire-time bound",
                        f.WireSeconds);
            std::printf("  %-34s %.3f s, fixed waits %.3f s excluded\n", "upgrade wall time", run.WallSeconds,
                        fixed);
            std::printf("  %-34s %.3f\n", "ratio to the bound", ratio);
            std::printf("  %-34s median %.3f ms, p99 %.3f ms\n\n", "host time per exchange", h.Median(),
                        h.Percentile(99));
        }

        std::printf("Targets\n");
        std::printf("  host time per exchange, median <= %.1f ms: %.3f ms  %s\n", kHostMedianTargetMs,
                    hostStats.Median(), Verdict(hostStats.Median() <= kHostMedianTargetMs));
        if (options.WireRuns > 0)
            std::printf("  emulated 115200 bit/s upgrade within %.2f x the wire-time bound: %s\n",
                        kWireRatioTarget, Verdict(wireMet));
        if (options.ProcessRuns > 0) {
            std::printf("  runner CPU time <= %.0f %% of wall time (instant unit): %s\n",
                        100 * kCpuShareTarget, Verdict(cpuMet));
            std::printf("  runner peak resident memory < %.0f MB: %s\n", kPeakRssTargetMb, Verdict(rssMet));
        }
        std::printf("  every upgrade completed and left the image in the unit's flash: %s\n",
                    allGood ? "yes" : "NO");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "upgrade-bench: %s\n", e.what());
        allGood = false;
    }
    if (options.Keep) {
        std::printf("Work files kept in %s\n", work.c_str());
    } else {
        std::error_code ignored;
        std::filesystem::remove_all(work, ignored);
    }
    return allGood ? 0 : 1;
}
