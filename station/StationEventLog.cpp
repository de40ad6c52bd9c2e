#include "station/StationEventLog.h"

#include "link/ReplyResult.h"
#include "package/FormatVersion.h"
#include "station/StationEvent.h"
#include "station/StationPlatform.h"
#include "station/StationRecord.h"

namespace {

// "Erasing Program Memory......57%" -> 57; -1 for a line without a percentage.
int PercentOf(const std::string& text) {
    if (text.size() < 2 || text.back() != '%') return -1;
    std::size_t start = text.size() - 1;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9') --start;
    if (start == text.size() - 1 || text.size() - 1 - start > 3) return -1;
    return std::stoi(text.substr(start, text.size() - 1 - start));
}

// The caption of a step's line: the text before its dots.
std::string CaptionOf(const std::string& text) {
    return text.substr(0, text.find('.'));
}

}  // namespace

TStationEventLog::TStationEventLog(OperatorLog& inner, int fd) : inner_(inner), fd_(fd) {}

void TStationEventLog::Send(char kind, const std::string& text) {
    const std::string line = TStationEvent{static_cast<TStationEvent::TKind>(kind), text}.Encode();
    if (record_) record_->Event(line);
    // A batch that ended must not end the upgrade with it: the upgrade goes on unheard.
    if (fd_ >= 0 && !TStationPlatform::WritePipe(fd_, line)) fd_ = -1;
}

void TStationEventLog::SendIdentity() {
    if (identitySent_ || !identity_) return;
    identitySent_ = true;
    const auto id = identity_();
    Send('I', id ? std::to_string(id->first) + " " + std::to_string(id->second) : "-");
}

void TStationEventLog::Clear() {
    inner_.Clear();
    linesSinceClear_ = 0;
    started_ = true;
    identitySent_ = false;
    last_.clear();
    percent_ = -1;
    Send('C', "");
}

void TStationEventLog::AddLogLine(const std::string& text) {
    inner_.AddLogLine(text);
    // The first step has read the identity once the second step begins.
    if (started_ && linesSinceClear_ >= 1) SendIdentity();
    ++linesSinceClear_;
    last_ = text;
    percent_ = -1;
    Send('L', text);
    Send('S', CaptionOf(text));
}

void TStationEventLog::AppendLine(const std::string& text) {
    inner_.AppendLine(text);
    ++linesSinceClear_;
    last_ = text;
    Send('L', text);
}

void TStationEventLog::ReplaceLogLine(const std::string& text) {
    inner_.ReplaceLogLine(text);
    if (linesSinceClear_ == 0 || text == last_) return;  // nothing to replace, or nothing new
    last_ = text;
    Send('R', text);
    if (const int percent = PercentOf(text); percent >= 0 && percent != percent_) {
        percent_ = percent;
        Send('P', std::to_string(percent));
    }
}

void TStationEventLog::StepEnded(int step, bool succeeded) {
    Send('E', std::to_string(step) + (succeeded ? " 1" : " 0"));
}

void TStationEventLog::BootLoaderIdentified(std::uint32_t info) {
    Send('B',
         info == kNoBootInfo ? "-" : "VX" + std::to_string(info >> 16) + " v" + FormatVersion(info & 0xFFFF));
}

void TStationEventLog::Finish() {
    if (started_) SendIdentity();
}
