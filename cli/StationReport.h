#pragma once

#include <chrono>
#include <string>

#include "cli/StationUnit.h"
#include "package/FirmwareImage.h"

// The batch's record: JSON Lines appended to a file, one object per unit, each written with
// one write on a descriptor opened with O_APPEND, so lines of batches running side by side
// never mix and a line is there whole or not at all.
class TStationReport {
public:
    // Opens (creates) the file for appending; throws std::runtime_error when it cannot.
    explicit TStationReport(const std::string& path);
    ~TStationReport();
    TStationReport(const TStationReport&) = delete;
    TStationReport& operator=(const TStationReport&) = delete;

    // Appends the unit's line; false when it could not be written whole.
    bool Write(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package);

    // The unit's object, one line without its newline.
    static std::string Line(const TStationUnit& unit, const std::string& batch, const FirmwareImage& package);
    // UTC, ISO 8601 with milliseconds: "2026-12-08T22:50:01.123Z".
    static std::string IsoTime(std::chrono::system_clock::time_point time);
    // The result as the report names it.
    static const char* ResultName(TStationUnit::TResult result);

private:
    int fd_ = -1;
};
