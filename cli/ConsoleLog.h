#pragma once

#include <cstdio>
#include <string>

#include "platform/OperatorLog.h"

// The operator log on a terminal or a pipe. On a terminal every change shows at once and a
// replaced line is rewritten in place. Elsewhere (a file, a pipe, a production-line
// script) each line is printed once, in its final form, when the next line is added or
// the log is finished, so the output holds no progress noise.
class TConsoleLog : public OperatorLog {
public:
    // eraseSequence: the terminal takes "erase to the end of the line" (ESC [ K); without
    // it, a shorter replacement is followed by blanks over the rest of the old text.
    TConsoleLog(std::FILE* out, bool live, bool eraseSequence = true);
    ~TConsoleLog() override;

    void Clear() override;
    void AddLogLine(const std::string& text) override;
    void ReplaceLogLine(const std::string& text) override;
    void AppendLine(const std::string& text) override;

    // Prints what is still pending and ends the last line.
    void Finish();
    const std::string& LastLine() const { return last_; }

private:
    void NewLine(const std::string& text);

    std::FILE* out_;
    bool live_;
    bool eraseSequence_;
    bool hasLine_ = false;
    std::string last_;
};
