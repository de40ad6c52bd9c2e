#pragma once

#include <optional>
#include <string>
#include <string_view>

// One event a unit's upgrade process sends to the batch over its event pipe: a line of
// text, a tag letter, a tab and the text. Every event is written with one write of less
// than a pipe's atomic size, so events never interleave or tear.
struct TStationEvent {
    enum class TKind : char {
        Line = 'L',        // a log line was added
        Replace = 'R',     // the last log line now reads this
        Clear = 'C',       // the log was cleared (an upgrade starts)
        Step = 'S',        // the upgrade step now running, by its caption
        Percent = 'P',     // progress of the erase or the write, 0 to 100
        Identity = 'I',    // what the running unit reported: "model version", or "-" for no answer
        BootLoader = 'B',  // the boot loader's identity ("VX6181 v1.05"), or "-" when unavailable
        Ended = 'E',       // a step has done its work or failed at it: "step 1" or "step 0"
        Recorded = 'W',    // the unit's process has written the unit's line to the report
    };
    // Longest text carried; a longer one is cut (log lines are far shorter).
    static constexpr std::size_t kMaxText = 1000;

    TKind Kind = TKind::Line;
    std::string Text;

    // The event as one line, newline included; line breaks and tabs in the text become blanks.
    std::string Encode() const;
    // The event of one received line (without its newline); nothing for a line that is no
    // event of this set (garbage is ignored, never guessed at).
    static std::optional<TStationEvent> Decode(std::string_view line);
};
