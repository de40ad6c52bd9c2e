#include "bench/StationBatch.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench/UnitSimProcess.h"
#include "support/OutputLines.h"

TStationBatch::TStationBatch(std::string work, std::vector<std::uint8_t> image, std::uint32_t programEnd)
    : work_(std::move(work)), image_(std::move(image)), programEnd_(programEnd) {}

TStationBatch::TOutcome TStationBatch::Run(const std::vector<std::vector<std::string>>& unitArgs, bool trace,
                                           int timeoutMs) {
    const std::string dir = work_ + "/batch" + std::to_string(++runs_);
    const std::string ports = dir + "/ports";
    std::filesystem::create_directories(ports);
    std::vector<std::unique_ptr<TUnitSimProcess>> units;
    for (std::size_t i = 0; i < unitArgs.size(); ++i) {
        const std::string unitDir = dir + "/unit" + std::to_string(i + 1);
        std::filesystem::create_directories(unitDir);
        units.push_back(std::make_unique<TUnitSimProcess>(unitDir, ports, static_cast<unsigned>(i + 1),
                                                          unitArgs[i], trace));
    }
    TOutcome o;
    const std::string report = dir + "/report.jsonl";
    {
        TChildProgram runner(TChildProgram::ProgramDirectory() + "/bootloader-cli",
                             {"--ports", "1-" + std::to_string(unitArgs.size()), "--report", report}, dir,
                             dir + "/stdout.txt", dir + "/stderr.txt", {"BOOTLOADER_PORTS=" + ports});
        o.Runner = runner.Wait(timeoutMs);
    }
    std::ifstream out(dir + "/stdout.txt");
    o.Stdout.assign(std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>());

    std::map<std::string, std::string> lines;
    std::ifstream in(report);
    for (std::string line; std::getline(in, line); ++o.ReportLines) lines[ReportField(line, "port")] = line;
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i]->Stop();  // writes its flash dump; a unit that hung up has ended already
        TUnitOutcome u;
        u.ReportLine = lines["\"COM" + std::to_string(i + 1) + "\""];
        const std::string result = ReportField(u.ReportLine, "result");
        u.Result = result.size() >= 2 ? result.substr(1, result.size() - 2) : "";
        u.DurationSeconds = std::atof(ReportField(u.ReportLine, "duration_s").c_str());
        const std::vector<std::uint8_t> flash = units[i]->Flash();
        u.FlashHoldsImage =
            flash.size() > programEnd_ && image_.size() > programEnd_ &&
            std::equal(image_.begin() + 2048, image_.begin() + programEnd_ + 1, flash.begin() + 2048);
        if (trace) u.UnitDelaysMs = units[i]->ReplyDelaysMs();
        o.Units.push_back(u);
    }
    units.clear();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return o;
}
