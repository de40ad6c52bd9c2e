#include "cli/ConsoleLog.h"

TConsoleLog::TConsoleLog(std::FILE* out, bool live, bool eraseSequence)
    : out_(out), live_(live), eraseSequence_(eraseSequence) {}

TConsoleLog::~TConsoleLog() {
    Finish();
}

void TConsoleLog::Finish() {
    if (!hasLine_) return;
    if (live_)
        std::fputs("\n", out_);
    else
        std::fprintf(out_, "%s\n", last_.c_str());
    std::fflush(out_);
    hasLine_ = false;
}

void TConsoleLog::Clear() {
    // The screen keeps what an earlier upgrade printed; the log starts afresh below it.
    Finish();
    last_.clear();
}

void TConsoleLog::NewLine(const std::string& text) {
    Finish();
    last_ = text;
    hasLine_ = true;
    if (live_) {
        std::fputs(text.c_str(), out_);
        std::fflush(out_);
    }
}

void TConsoleLog::AddLogLine(const std::string& text) {
    NewLine(text);
}
void TConsoleLog::AppendLine(const std::string& text) {
    NewLine(text);
}

void TConsoleLog::ReplaceLogLine(const std::string& text) {
    if (!hasLine_) return;
    const std::size_t oldLength = last_.size();
    last_ = text;
    if (live_) {
        // Carriage return, the new text, then erase what is left of a longer old text.
        if (eraseSequence_) {
            std::fprintf(out_, "\r%s\x1b[K", text.c_str());
        } else {
            const std::string blanks(oldLength > text.size() ? oldLength - text.size() : 0, ' ');
            std::fprintf(out_, "\r%s%s", text.c_str(), blanks.c_str());
        }
        std::fflush(out_);
    }
}
