#pragma once

#include <string>
#include <vector>

#include "platform/OperatorLog.h"

// An operator log that keeps its lines in memory: the headless runner prints them, tests
// read them. Counts the calls, so a test can tell an added line from a replaced one.
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
    int ReplaceCount() const { return replaceCount_; }
    int AppendCount() const { return appendCount_; }
    int ClearCount() const { return clearCount_; }

private:
    std::vector<std::string> lines_;
    int addCount_ = 0;
    int replaceCount_ = 0;
    int appendCount_ = 0;
    int clearCount_ = 0;
};
