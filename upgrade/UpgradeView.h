#pragma once

#include <cstdint>
#include <string>

// What the upgrade sequencer needs of the window (or the headless runner) that drives it.
class TUpgradeView {
public:
    virtual ~TUpgradeView() = default;
    // The Start button (Button6) and the Close button (Button1).
    virtual void SetStartEnabled(bool enabled) = 0;
    virtual void SetCloseEnabled(bool enabled) = 0;
    // An error that escaped a step (raised by the link's Open), for the default error box.
    virtual void ShowError(const std::string& message) = 0;
    // The upgrade is idle again; completed is true when its final step ran.
    virtual void UpgradeEnded(bool completed) { (void)completed; }
    // For a face that follows the upgrade by more than its log lines (the station): a step
    // (by its number) has done its work, or failed at it; the boot loader's identity as
    // ReadBootInfo returned it (kNoBootInfo when unavailable).
    virtual void StepEnded(int step, bool succeeded) {
        (void)step;
        (void)succeeded;
    }
    virtual void BootLoaderIdentified(std::uint32_t info) { (void)info; }
};
