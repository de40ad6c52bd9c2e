#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/StationUnit.h"

// What the operator sees of a batch. On a terminal: a table, one row per unit (port,
// device, model the unit reported, step, progress bar for the erase and the write,
// result), redrawn in place. Elsewhere: each log line once, in its final form, prefixed by
// its unit ("COM3: Erasing Program Memory......100%"), and the units' error messages on
// standard error, prefixed the same way. Then, either way, a summary.
class TStationDisplay {
public:
    TStationDisplay(std::FILE* out, std::FILE* err, bool live);

    bool Live() const { return live_; }
    // A log line of a unit in its final form (shown only when not live).
    void Line(const TStationUnit& unit, const std::string& text);
    // A line a unit's process wrote on standard error (shown at once only when not live;
    // on a terminal the summary shows it for a failed unit).
    void Message(const TStationUnit& unit, const std::string& text);
    // Draws the table (live only); rows is the number of units.
    void Draw(const std::vector<const TStationUnit*>& units);
    // The counts, then one line per unit that failed (with its failing line) or whose
    // settings were not restored.
    void Summary(const std::vector<const TStationUnit*>& units, double seconds);

    // One row of the table, cut to width characters.
    static std::string Row(const TStationUnit& unit, std::size_t width);
    static std::string Header(std::size_t width);

private:
    std::FILE* out_;
    std::FILE* err_;
    bool live_;
    std::size_t drawnRows_ = 0;
};
