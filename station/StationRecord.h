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
// The signals that end a unit's process (SIGTERM, SIGINT, SIGHUP, SIGQUIT) reach it blocked
// from its start (the batch blocks them before exec, so none is lost in between) and are
// taken by a thread of the record with sigwaitinfo: it writes the line, with the reason
// when the batch ended or interrupted it, tells the batch on the event pipe that the line
// is written, then ends the process by the same signal. A process killed outright
// (SIGKILL, a crash) cannot write: the batch writes its line.
class TStationRecord {
public:
    struct TSetup {
        int ReportFd = -1;  // the report, inherited from the batch
        int EventsFd = -1;  // the batch's event pipe
        int Station = 0;    // the batch's process id
        std::string Batch;
        std::string Label;
        int Port = 0;
        std::string Device;
        FirmwareImage Package;
    };

    // Blocks the ending signals in the calling thread (the batch calls it before exec;
    // the mask carries across it and into every thread made later).
    static void BlockEndSignals();

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
    void WaitForSignals();
    // With mutex_ held: writes the line, then the event that says so.
    void WriteLine();

    std::mutex mutex_;
    TSetup setup_;
    std::unique_ptr<TStationReport> report_;
    TStationUnit unit_;
    bool written_ = false;
};
