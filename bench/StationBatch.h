#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ChildProgram.h"

// One batch of the station: unitsim units on COM1 to COMn of a ports directory of its own,
// each with its own arguments (a fault, wire time), upgraded by one bootloader-cli run with
// a report; then each unit's flash, its report line and its trace, side by side.
class TStationBatch {
public:
    struct TUnitOutcome {
        std::string ReportLine;  // empty when the report has no line for the unit
        std::string Result;      // "completed", "failed", "settings not restored"; empty: no line
        double DurationSeconds = 0;
        bool FlashHoldsImage = false;
        std::vector<double> UnitDelaysMs;  // the unit's own time per reply (wire time included)
    };
    struct TOutcome {
        TChildProgram::TOutcome Runner;  // the station process (children included in its CPU time)
        std::vector<TUnitOutcome> Units;
        std::string Stdout;
        int ReportLines = 0;
    };

    // work is an empty directory; image and programEnd describe the package the runner carries.
    TStationBatch(std::string work, std::vector<std::uint8_t> image, std::uint32_t programEnd);

    // Runs the batch: unitArgs[i] for COM(i+1); trace to learn the units' own reply times.
    TOutcome Run(const std::vector<std::vector<std::string>>& unitArgs, bool trace, int timeoutMs);

private:
    std::string work_;
    std::vector<std::uint8_t> image_;
    std::uint32_t programEnd_;
    int runs_ = 0;
};
