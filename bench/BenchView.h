#pragma once

#include <string>
#include <vector>

#include "app/AppView.h"

// The face of the application core in the benchmarks and the fault campaign: no window,
// messages and errors kept, the end of an upgrade recorded.
class TBenchView : public TAppView {
public:
    void ShowMainWindow() override {}
    void HideLoadFile() override {}
    void SetApplicationTitle(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void SetStatusText(const std::string&) override {}
    void SetStartEnabled(bool enabled) override { StartEnabled = enabled; }
    void SetCloseEnabled(bool) override {}
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    void ErrorBox(const std::string& text) override { Messages.push_back(text); }
    void ShowError(const std::string& text) override { Messages.push_back(text); }
    void UpgradeEnded(bool completed) override {
        Ended = true;
        Completed = completed;
    }

    // Ready for the next upgrade.
    void Reset() {
        Ended = false;
        Completed = false;
        Messages.clear();
    }

    bool StartEnabled = false;
    bool Ended = false;
    bool Completed = false;
    std::vector<std::string> Messages;
};
