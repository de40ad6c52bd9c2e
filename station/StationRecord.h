#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "package/FirmwareImage.h"
#include "station/StationReport.h"
#include "station/StationUnit.h"

// A unit's line of the batch's report, kept and written by the unit's own process, so that
// the record does not depend on the batch's process staying alive. The process sees its own
// events (every event it sends the batch is fed here too) and its own messages, and writes
// the line as the batch would: when it ends, or when a signal ends it.
//
// Every unit of a batch has one, with a report or without: it is also what ends the unit's
// process when the batch asks it to or when the batch dies.
//
// POSIX: the signals that end a unit's process (SIGTERM, SIGINT, SIGHUP, SIGQUIT) reach it
// blocked from its start (the batch blocks them before exec, so none is lost in between)
// and are taken by a thread of the record with sigwaitinfo: it writes the line, with the
// reason when the batch ended or interrupted it, tells the batch on the event pipe that the
// line is written, then ends the process by the same signal.
// Windows: a thread of the record reads the unit's life line (its standard input, see
// TStationChild): a byte on it is the batch's request to end, its end without one the
// batch's death. The thread then writes the line with that reason, tells the batch, and
// ends the process with exit status kExitEnded.
// A process killed outright (SIGKILL, TerminateProcess, a crash) cannot write: the batch
// writes its line.
class TStationRecord {
public:
    struct TSetup {
        int ReportFd = -1;  // the report, inherited from the batch; -1 for none
        int EventsFd = -1;  // the batch's event pipe
        int Station = 0;    // the batch's process id
        std::string Batch;
        std::string Label;
        int Port = 0;
        std::string Device;
        FirmwareImage Package;
    };

    // The exit status of a unit's process that its record ended (Windows; on POSIX the
    // process ends by the signal it got): as a shell shows a process that SIGTERM ended.
    static constexpr int kExitEnded = 143;

    // Takes over the report and starts the thread that waits for the ending signals.
    explicit TStationRecord(TSetup setup);
    TStationRecord(const TStationRecord&) = delete;
    TStationRecord& operator=(const TStationRecord&) = delete;

    // An event as it goes to the batch (one encoded line).
    void Event(const std::string& encoded);
    // A line the process writes on standard error.
    void Message(const std::string& text);
    // The process ends with this exit status: writes the line (once). Returns status.
    int Finish(int status);

private:
    // The platform's: starts the thread that learns of the process's end (WaitForEnd).
    void StartWaitingForEnd();
    void WaitForEnd();
    // With mutex_ held: writes the line, then the event that says so.
    void WriteLine();

    std::mutex mutex_;
    TSetup setup_;
    std::unique_ptr<TStationReport> report_;
    TStationUnit unit_;
    bool written_ = false;
};
