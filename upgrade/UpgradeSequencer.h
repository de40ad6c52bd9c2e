#pragma once

#include <cstdint>
#include <memory>

#include "boot/BootCommands.h"
#include "link/LumoComms.h"
#include "package/FirmwareImage.h"
#include "platform/MessageLoop.h"
#include "platform/OperatorLog.h"
#include "upgrade/DevicePreparation.h"
#include "upgrade/UpgradeView.h"

// Runs one firmware upgrade from Start to the last log line. Each step is a separate task
// posted to the message loop and posts the next step number as its last action, so the
// window is repainted and operator input handled between steps as well as during a step's
// requests. Every outcome is a log line; only an error raised by the link's Open escapes a
// step, and it ends the upgrade with the buttons enabled again.
class UpgradeSequencer {
public:
    static constexpr int StepEnableBoot = 0;
    static constexpr int StepModelCheck = 1;
    static constexpr int StepErase = 2;
    static constexpr int StepProgram = 3;
    static constexpr int StepDisableBoot = 4;
    static constexpr int StepRestart = 5;
    static constexpr int StepRestartDone = 6;
    static constexpr int StepBootInfo = 7;
    static constexpr int StepInitialise = 20;
    static constexpr int StepFinalise = 21;
    static constexpr int StepIdle = 99;

    UpgradeSequencer(TMessageLoop& loop, TUpgradeView& view, OperatorLog& log, TLumoComms& link,
                     const FirmwareImage& package, TDevicePreparation& device, TBootCommands& boot);
    ~UpgradeSequencer();
    UpgradeSequencer(const UpgradeSequencer&) = delete;
    UpgradeSequencer& operator=(const UpgradeSequencer&) = delete;

    // The Start button: disables Start and Close and posts the first step.
    void StartUpgrade();
    // Runs one step; any number without a step is ignored.
    void OnUpgradeStep(int step);

    // Between StartUpgrade and the idle step.
    bool Running() const { return running_; }
    // A step handler is running now (possibly waiting inside a request).
    bool InStep() const { return inStep_; }
    // Ends the upgrade once the running step has returned, without running the next step.
    void RequestStop() { stopRequested_ = true; }

private:
    void Post(int step);
    void RunPostedStep(int step);

    void Initialise();
    void EnableBoot();
    void BootInfo();
    void ModelCheck();
    void Erase();
    void Program();
    void DisableBoot();
    void Restart();
    void RestartDone();
    void Finalise();
    void Idle();

    TMessageLoop& loop_;
    TUpgradeView& view_;
    OperatorLog& log_;
    TLumoComms& link_;
    const FirmwareImage& package_;
    TDevicePreparation& device_;
    TBootCommands& boot_;
    std::shared_ptr<UpgradeSequencer*> self_;
    bool running_ = false;
    bool inStep_ = false;
    bool stopRequested_ = false;
    bool completed_ = false;
};
