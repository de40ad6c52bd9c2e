#include "bench/UnitSimProcess.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 10000;

}  // namespace

TUnitSimProcess::TUnitSimProcess(const std::string& workDir, const std::string& portsDir, unsigned port,
                                 const std::vector<std::string>& extraArgs, bool trace)
    : base_(workDir + "/unitsim-") {
    std::vector<std::string> args = {"--ports-dir",        portsDir,       "--port",
                                     std::to_string(port), "--flash-dump", FlashDumpPath(),
                                     "--stats-file",       StatsPath(),    "--replace-link"};
    if (trace) args.push_back("--trace");
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::filesystem::remove(FlashDumpPath());
    std::filesystem::remove(StatsPath());
    const std::string out = base_ + "stdout.txt";
    program_ = std::make_unique<TChildProgram>(TChildProgram::ProgramDirectory() + "/unitsim", args, "", out,
                                               TracePath());
    const std::string ready = "unitsim: COM" + std::to_string(port) + " -> ";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline && program_->Running()) {
        std::ifstream in(out);
        std::string line;
        if (std::getline(in, line) && line.rfind(ready, 0) == 0 && in.good()) {
            slavePath_ = line.substr(ready.size());
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    program_->Signal(SIGKILL);
    throw std::runtime_error("unitsim did not get ready (see " + TracePath() + ")");
}

TUnitSimProcess::~TUnitSimProcess() {
    if (program_->Running()) Stop();
}

bool TUnitSimProcess::Stop() {
    program_->Signal(SIGTERM);
    const TChildProgram::TOutcome outcome = program_->Wait(kStopTimeoutMs);
    return outcome.Ended && outcome.ExitStatus == 0;
}

std::vector<std::uint8_t> TUnitSimProcess::ReadBinaryFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<double> TUnitSimProcess::ReplyDelaysMs() const {
    std::vector<double> delays;
    std::ifstream in(TracePath());
    for (std::string line; std::getline(in, line);) {
        if (line.find(" <- ") != std::string::npos) {
            delays.push_back(0);
        } else if (const auto after = line.find("(after ");
                   after != std::string::npos && line.find(" -> ") != std::string::npos && !delays.empty()) {
            delays.back() = std::strtod(line.c_str() + after + 7, nullptr);
        }
    }
    return delays;
}

std::map<std::string, long long> TUnitSimProcess::Statistics() const {
    std::map<std::string, long long> values;
    std::ifstream in(StatsPath());
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        try {
            values[line.substr(0, eq)] = std::stoll(line.substr(eq + 1));
        } catch (const std::exception&) {
        }
    }
    return values;
}
