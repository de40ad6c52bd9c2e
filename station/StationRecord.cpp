// What a unit's record does alike on every platform: it follows the unit's events and
// messages and writes the line once. How the record learns that the process is being ended
// (signals, or the batch's life line) is the platform's (posix/, win32/).
#include "station/StationRecord.h"

#include <chrono>

#include "station/StationEvent.h"
#include "station/StationPlatform.h"

TStationRecord::TStationRecord(TSetup setup)
    : setup_(std::move(setup)),
      report_(setup_.ReportFd >= 0
                  ? std::make_unique<TStationReport>(TStationReport::Inherited(setup_.ReportFd))
                  : nullptr),
      unit_(setup_.Label, setup_.Port, setup_.Device) {
    unit_.StartTime = std::chrono::system_clock::now();
    StartWaitingForEnd();
}

void TStationRecord::Event(const std::string& encoded) {
    std::lock_guard<std::mutex> lock(mutex_);
    unit_.FeedEvents(encoded);
}

void TStationRecord::Message(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    unit_.FeedMessages(text + "\n");
}

int TStationRecord::Finish(int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!written_) {
        unit_.Ended(status, 0, "");
        WriteLine();
    }
    return status;
}

void TStationRecord::WriteLine() {
    written_ = true;
    unit_.EndTime = std::chrono::system_clock::now();
    // When the line cannot be written (a full disk), the batch is not told: it then tries
    // itself, and names the unit when it cannot either.
    if (!report_ || report_->Write(unit_, setup_.Batch, setup_.Package) != 0) return;
    TStationPlatform::WritePipe(setup_.EventsFd, TStationEvent{TStationEvent::TKind::Recorded, ""}.Encode());
}
