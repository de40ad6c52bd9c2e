#include "support/RecordingLog.h"

void TRecordingLog::Clear() {
    lines_.clear();
}

void TRecordingLog::AddLogLine(const std::string& text) {
    ++addCount_;
    lines_.push_back(text);
}

void TRecordingLog::ReplaceLogLine(const std::string& text) {
    if (!lines_.empty()) {
        lines_.back() = text;
    }
}

void TRecordingLog::AppendLine(const std::string& text) {
    ++appendCount_;
    lines_.push_back(text);
}

std::string TRecordingLog::LastLine() const {
    return lines_.empty() ? std::string() : lines_.back();
}
