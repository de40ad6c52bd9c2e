#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "station/StationUnit.h"

// What the operator sees of a batch. On a terminal that takes cursor movement: a table, one
// row per unit (port, device, model the unit reported, step, progress bar for the erase and
// the write, result), redrawn in place and never taller or wider than the terminal.
// Elsewhere (a pipe, a file, TERM unset or "dumb"): each log line once, in its final form,
// prefixed by its unit ("COM3: Erasing Program Memory......100%"), and the units' error
// messages on standard error, prefixed the same way. Then, either way, a summary.
class TStationDisplay {
public:
    TStationDisplay(std::FILE* out, std::FILE* err, bool live);

    bool Live() const { return live_; }
    // A log line of a unit in its final form (shown only when not live).
    void Line(const TStationUnit& unit, const std::string& text);
    // A line a unit's process wrote on standard error (shown at once only when not live; on
    // a terminal the summary shows them).
    void Message(const TStationUnit& unit, const std::string& text);
    // Draws the table (live only).
    void Draw(const std::vector<const TStationUnit*>& units);
    // The counts, then one line per unit that failed (with its failing line) or whose
    // settings were not restored; on a terminal the messages of the other units too; and
    // every unit that sent garbage on its event pipe.
    void Summary(const std::vector<const TStationUnit*>& units, double seconds);

    // The table's header and one row, for a terminal width characters wide: the columns
    // that fit, Port, Result and Progress first, then Step, Model and Device.
    static std::string Header(std::size_t width);
    static std::string Row(const TStationUnit& unit, std::size_t width);
    // The frame that redraws the table from the top of the one drawn before (drawnRows
    // lines high) on a terminal of columns x rows (0 when unknown); drawnRows becomes the
    // height of this frame. Never more lines than rows - 1, so it never scrolls.
    static std::string Frame(const std::vector<const TStationUnit*>& units, std::size_t columns,
                             std::size_t rows, std::size_t& drawnRows);

private:
    std::FILE* out_;
    std::FILE* err_;
    bool live_;
    std::size_t drawnRows_ = 0;
};
