#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the batch knows of one unit: what its upgrade process reported over its event pipe
// and standard error, and how that process ended. It decides the unit's result from the
// exit status and the events together: "completed" needs exit status 0 and the events of a
// finished upgrade (the erase, the write, disabling boot mode and the final step each ended
// with its work done); a process that says more than its events show is not believed.
// The log lines travel for the report and the table; the result does not rest on them.
class TStationUnit {
public:
    enum class TResult { Running, Completed, Failed, SettingsNotRestored };

    TStationUnit(std::string label, int port, std::string device);

    // Feeds bytes read from the event pipe / standard error. Returns the log lines that have
    // reached their final form with this input (for output that shows each line once).
    std::vector<std::string> FeedEvents(std::string_view bytes);
    // Complete lines of standard error, returned as they arrive.
    std::vector<std::string> FeedMessages(std::string_view bytes);

    // The process has ended: exit status, or the signal that ended it. reason (when not
    // empty) says why the batch ended it. Returns the last log line if it was still open.
    std::vector<std::string> Ended(std::optional<int> exitStatus, int signal, const std::string& reason);

    TResult Result() const;
    // The line that tells why the unit failed (for the summary and the report).
    std::string FailingLine() const;
    // The step the failure happened in, by caption; empty when not known.
    std::string FailedStep() const;

    std::string Label;
    int Port;
    std::string Device;

    std::vector<std::string> Lines;     // the log, every line in its final (or latest) form
    std::vector<std::string> Messages;  // standard error lines
    std::string Step;
    int Percent = -1;
    std::optional<std::uint16_t> Model;  // identity the running unit reported
    std::optional<std::uint16_t> Version;
    bool IdentityKnown = false;  // an identity event came (possibly "no answer")
    std::optional<std::string> BootLoader;
    int Garbage = 0;        // lines on the event pipe that were no event
    int Events = 0;         // events received (what counts as a sign of life; garbage does not)
    bool Recorded = false;  // the unit's process wrote the unit's line to the report itself

    bool Running = true;
    std::optional<int> ExitStatus;
    int Signal = 0;
    std::string EndReason;
    std::chrono::system_clock::time_point StartTime;
    std::chrono::system_clock::time_point EndTime;
    std::chrono::steady_clock::time_point LastActivity;

private:
    bool Finished() const;
    void Apply(const std::string& line, std::vector<std::string>& finalLines);

    std::string eventBuffer_;
    std::string messageBuffer_;
    bool lineOpen_ = false;
    bool erased_ = false;
    bool written_ = false;
    bool bootDisabled_ = false;
    bool finalised_ = false;
};
