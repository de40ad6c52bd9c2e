#pragma once

#include <windows.h>

#include "platform/MessageLoop.h"
#include "platform/OperatorLog.h"

// The operator log shown in the main window's list box.
//
// A replaced line (a progress percentage, once per block written) is drawn at most every
// kRefreshMs: the list's drawing is held meanwhile, so that an upgrade does not spend its
// time redrawing a line the eye cannot follow. Added lines show at once.
class TListBoxLog : public OperatorLog {
public:
    static constexpr std::uint32_t kRefreshMs = 40;

    TListBoxLog(HWND listBox, TMessageLoop& loop) : listBox_(listBox), loop_(loop) {}
    ~TListBoxLog() override;

    void Clear() override;
    void AddLogLine(const std::string& text) override;
    void ReplaceLogLine(const std::string& text) override;
    void AppendLine(const std::string& text) override;

    // Draws now what changed while drawing was held (before a message box, at the end of
    // an upgrade).
    void Refresh();

private:
    HWND listBox_;
    TMessageLoop& loop_;
    TMessageLoop::TTimerId refresh_ = 0;
};
