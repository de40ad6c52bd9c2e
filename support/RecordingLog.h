#pragma once

#include <string>
#include <vector>

#include "platform/OperatorLog.h"

// An operator log that keeps its lines in memory for a test or a benchmark to read. Counts
// the lines added and appended, so a test can tell which of the two calls a line came from.
class TRecordingLog : public OperatorLog {
public:
    void Clear() override;
    void AddLogLine(const std::string& text) override;
    void ReplaceLogLine(const std::string& text) override;
    void AppendLine(const std::string& text) override;

    const std::vector<std::string>& Lines() const { return lines_; }
    // The last line, empty when there is none.
    std::string LastLine() const;
    int AddCount() const { return addCount_; }
    int AppendCount() const { return appendCount_; }

private:
    std::vector<std::string> lines_;
    int addCount_ = 0;
    int appendCount_ = 0;
};
