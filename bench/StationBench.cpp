// station-bench: the station's batches against unitsim units that emulate wire time at
// 115200 bit/s (9600 bit/s for the Modbus part): the batch's wall time against one unit's,
// CPU seconds per unit (the station and its unit processes, from wait4), peak resident
// memory of one unit's process, and host time per exchange. The CPU time of the simulated
// units (with their traces) is shown apart: on a real line it is not the host's.
//
//   station-bench [--sizes 1,4,8,16,32] [--runs N]
//
// Host time per exchange is an upper bound: a unit's duration in the report (its process's
// start-up included) minus the unit's own time for every reply (turnaround and emulated
// wire time, from its trace), over the exchanges it replied to.

#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/SampleStatistics.h"
#include "bench/StationBatch.h"

namespace {

constexpr double kRatioTarget = 1.10;
constexpr int kTargetUnits = 16;
constexpr int kBatchTimeoutMs = 10 * 60 * 1000;

struct TPackage {
    std::vector<std::uint8_t> Image;
    std::uint32_t ProgramEnd = 0;
    std::string Model;
};

TPackage DumpPackage(const std::string& work) {
    TPackage p;
    TChildProgram dump(TChildProgram::ProgramDirectory() + "/package-info",
                       {"--dump-image", work + "/image.bin"}, "", work + "/package-info.txt",
                       work + "/package-info.err");
    const auto d = dump.Wait(30000);
    if (!d.Ended || d.ExitStatus != 0) throw std::runtime_error("package-info --dump-image failed");
    std::ifstream image(work + "/image.bin", std::ios::binary);
    p.Image.assign(std::istreambuf_iterator<char>(image), std::istreambuf_iterator<char>());
    std::ifstream info(work + "/package-info.txt");
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("Program end", 0) == 0)
            p.ProgramEnd = std::stoul(line.substr(line.find(':') + 1), nullptr, 0);
        if (line.rfind("Expected model", 0) == 0)
            p.Model = line.substr(line.find_first_not_of(' ', line.find(':') + 1));
    }
    if (p.Image.size() != 65536 || p.ProgramEnd == 0 || p.Model.empty())
        throw std::runtime_error("package-info did not describe the package");
    return p;
}

std::string Machine() {
    utsname u{};
    ::uname(&u);
    std::string cpu;
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("model name", 0) == 0) {
            cpu = line.substr(line.find(':') + 2);
            break;
        }
    return cpu + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, " + u.sysname + " " +
           u.release;
}

// CPU seconds of every child process this one has reaped so far.
double ChildrenCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double LoadAverage() {
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes = {1, 4, 8, 16, 32};
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--sizes" && i + 1 < argc) {
            sizes.clear();
            std::string list = argv[++i];
            for (std::size_t s = 0; s < list.size();) {
                const std::size_t c = list.find(',', s);
                sizes.push_back(std::stoi(list.substr(s, c - s)));
                s = c == std::string::npos ? list.size() : c + 1;
            }
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::stoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: station-bench [--sizes 1,4,8,16,32] [--runs N]\n");
            return 2;
        }
    }
    std::string work = (std::filesystem::temp_directory_path() / "station-bench-XXXXXX").string();
    if (::mkdtemp(work.data()) == nullptr) return 2;
    bool allGood = true;
    try {
        const TPackage package = DumpPackage(work);
        TStationBatch batch(work, package.Image, package.ProgramEnd);
        std::printf("Station benchmark: %s\n", Machine().c_str());
        std::printf(
            "Units emulate wire time (unitsim --wire-time): 115200 bit/s boot, 9600 bit/s Modbus.\n\n");
        std::printf("%6s %4s %10s %9s %12s %12s %13s %16s %10s %6s\n", "units", "run", "wall (s)", "x one",
                    "CPU s/unit", "sim CPU s/u", "peak MB/unit", "host ms/exch.", "completed", "load");
        double one = 0;
        std::map<int, std::vector<double>> walls;
        for (const int n : sizes) {
            for (int r = 0; r < runs; ++r) {
                const double load = LoadAverage();
                std::vector<std::vector<std::string>> args(static_cast<std::size_t>(n),
                                                           {"--model", package.Model, "--wire-time"});
                const double childrenBefore = ChildrenCpuSeconds();
                const TStationBatch::TOutcome o = batch.Run(args, true, kBatchTimeoutMs);
                const double runnerCpu = o.Runner.UserSeconds + o.Runner.SystemSeconds;
                const double simCpu = ChildrenCpuSeconds() - childrenBefore - runnerCpu;
                int completed = 0;
                std::vector<double> hostMs;
                for (const auto& u : o.Units) {
                    const bool ok = u.Result == "completed" && u.FlashHoldsImage;
                    completed += ok;
                    if (!ok || u.UnitDelaysMs.empty()) continue;
                    double unitMs = 0;
                    for (const double d : u.UnitDelaysMs) unitMs += d;
                    hostMs.push_back((u.DurationSeconds * 1000 - unitMs) /
                                     static_cast<double>(u.UnitDelaysMs.size()));
                }
                allGood = allGood && completed == n && o.Runner.ExitStatus == 0;
                const double wall = o.Runner.WallSeconds;
                walls[n].push_back(wall);
                if (n == 1 && one == 0) one = wall;
                const double ratio = one > 0 ? wall / one : 0;
                std::printf("%6d %4d %10.3f %9.3f %12.3f %12.3f %13.1f %16.3f %7d/%-2d %6.2f\n", n, r + 1,
                            wall, ratio, runnerCpu / n, simCpu / n, o.Runner.PeakRssKb / 1024.0,
                            TSampleStatistics(hostMs).Median(), completed, n, load);
                std::fflush(stdout);
            }
        }
        // The curve: medians per batch size against the median of one unit.
        if (walls.count(1) != 0) {
            const double base = TSampleStatistics(walls[1]).Median();
            std::printf("\nMedian wall time per batch size, against one unit (%.3f s):\n", base);
            for (const auto& [n, w] : walls)
                std::printf("  %3d units: %.3f s, %.3f x one\n", n, TSampleStatistics(w).Median(),
                            TSampleStatistics(w).Median() / base);
            if (walls.count(kTargetUnits) != 0) {
                const double ratio = TSampleStatistics(walls[kTargetUnits]).Median() / base;
                std::printf("%d units within %.2f x one unit: %.3f  %s\n", kTargetUnits, kRatioTarget, ratio,
                            ratio <= kRatioTarget ? "met" : "MISSED");
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "station-bench: %s\n", e.what());
        allGood = false;
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    if (!allGood) std::printf("Not every unit completed with the image in its flash.\n");
    return allGood ? 0 : 1;
}
