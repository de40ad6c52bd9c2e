#include "upgrade/UpgradeSequencer.h"

#include <cstdio>
#include <exception>
#include <string>

#include "package/ModelProfile.h"

namespace {

std::string FormatBootInfo(std::uint32_t v) {
    const unsigned model = v >> 16;
    const unsigned version = v & 0xFFFF;
    char text[48];
    std::snprintf(text, sizeof text, "VX%u v%u.%.2u", model, version / 100, version % 100);
    return text;
}

}  // namespace

UpgradeSequencer::UpgradeSequencer(TMessageLoop& loop, TUpgradeView& view, OperatorLog& log, TLumoComms& link,
                                   const FirmwareImage& package, TDevicePreparation& device,
                                   TBootCommands& boot)
    : loop_(loop),
      view_(view),
      log_(log),
      link_(link),
      package_(package),
      device_(device),
      boot_(boot),
      self_(std::make_shared<UpgradeSequencer*>(this)) {}

UpgradeSequencer::~UpgradeSequencer() {
    *self_ = nullptr;
}

void UpgradeSequencer::StartUpgrade() {
    if (running_) return;  // Start is disabled while an upgrade runs
    running_ = true;
    completed_ = false;
    stopRequested_ = false;
    // The outcome of an earlier upgrade's write-back is not this one's.
    device_.ResetSettingsRestore();
    view_.SetStartEnabled(false);
    view_.SetCloseEnabled(false);
    Post(StepInitialise);
}

void UpgradeSequencer::Post(int step) {
    std::weak_ptr<UpgradeSequencer*> weak = self_;
    loop_.Post([weak, step] {
        if (auto self = weak.lock(); self && *self) (*self)->RunPostedStep(step);
    });
}

void UpgradeSequencer::RunPostedStep(int step) {
    if (stopRequested_ && step != StepIdle) {
        Idle();
        return;
    }
    try {
        OnUpgradeStep(step);
    } catch (const std::exception& error) {
        // Only the link's Open raises on this path. The upgrade cannot go on without a
        // port, so it ends here, with the operator told and Start available again.
        inStep_ = false;
        view_.ShowError(error.what());
        Idle();
    }
}

void UpgradeSequencer::OnUpgradeStep(int step) {
    inStep_ = true;
    switch (step) {
        case StepInitialise:
            Initialise();
            break;
        case StepEnableBoot:
            EnableBoot();
            break;
        case StepBootInfo:
            BootInfo();
            break;
        case StepModelCheck:
            ModelCheck();
            break;
        case StepErase:
            Erase();
            break;
        case StepProgram:
            Program();
            break;
        case StepDisableBoot:
            DisableBoot();
            break;
        case StepRestart:
            Restart();
            break;
        case StepRestartDone:
            RestartDone();
            break;
        case StepFinalise:
            Finalise();
            break;
        case StepIdle:
            Idle();
            break;
        default:
            break;
    }
    inStep_ = false;
}

void UpgradeSequencer::Initialise() {
    log_.Clear();
    log_.AddLogLine("Initialising Upgrade.....");
    // The erase and write loops only make sense for a last address from the processor
    // table; a typed processor number outside it would erase into the boot loader's area.
    const auto programEnd = ProcessorProgramEnd(package_.ProcessorNumber);
    if (!programEnd || *programEnd != package_.ProgramEnd) {
        log_.ReplaceLogLine("Initialising Upgrade.....Error (Unknown Processor " +
                            std::to_string(package_.ProcessorNumber) + ")");
        view_.StepEnded(StepInitialise, false);
        Post(StepIdle);
        return;
    }
    // The upgrade's first open: from here to its end every reopen reaches the device this
    // open finds, the unit whose identity is read next, and the device stays held for
    // this program in between.
    link_.ReleasePort();
    link_.Close();
    link_.HoldPort();
    link_.ReopenAt(ProfileFor(package_.ExpectedModel).ModbusSpeed);
    if (device_.ReadDeviceIdentity() == kReplyNormal) {
        const std::int32_t saved = device_.SaveDeviceSettings();
        if (saved == kReplyNormal || saved == kReplyNotApplicable) {
            log_.ReplaceLogLine("Initialising Upgrade.....Done (1)");
            view_.StepEnded(StepInitialise, true);
            Post(StepEnableBoot);
        } else {
            log_.ReplaceLogLine("Initialising Upgrade.....Error");
            view_.StepEnded(StepInitialise, false);
            Post(StepIdle);
        }
        return;
    }
    log_.ReplaceLogLine("Initialising Upgrade.....Done (0)");
    view_.StepEnded(StepInitialise, true);
    Post(StepEnableBoot);
}

void UpgradeSequencer::EnableBoot() {
    log_.AddLogLine("Enabling BootLoader.....");
    device_.EnterBootMode();
    log_.ReplaceLogLine("Enabling BootLoader.....Done");
    Post(StepBootInfo);
}

void UpgradeSequencer::BootInfo() {
    log_.AddLogLine("Retrieving Bootloader Info......");
    boot_.ReadBootInfo();
    const std::uint32_t v = boot_.ReadBootInfo();
    if (v == kNoBootInfo)
        log_.ReplaceLogLine("Retrieving Bootloader Info......Info Unavailable");
    else
        log_.ReplaceLogLine("Retrieving Bootloader Info......" + FormatBootInfo(v));
    view_.BootLoaderIdentified(v);
    Post(StepModelCheck);
}

void UpgradeSequencer::ModelCheck() {
    log_.AddLogLine("Retrieving Model Number......");
    boot_.ReadModelNumber();
    const std::uint32_t m = boot_.ReadModelNumber();
    if (m == package_.ExpectedModel) {
        log_.ReplaceLogLine("Retrieving Model Number......OK");
        view_.StepEnded(StepModelCheck, true);
        Post(StepErase);
    } else if (m == kNoModelNumber) {
        log_.ReplaceLogLine("Retrieving Model Number......Error (No Reply)");
        view_.StepEnded(StepModelCheck, false);
        Post(StepIdle);
    } else {
        log_.ReplaceLogLine("Retrieving Model Number......Error (Incompatible Model)");
        view_.StepEnded(StepModelCheck, false);
        Post(StepIdle);
    }
}

void UpgradeSequencer::Erase() {
    log_.AddLogLine("Erasing Program Memory......");
    if (boot_.EraseProgramMemory()) {
        view_.StepEnded(StepErase, true);
        Post(StepProgram);
    } else {
        log_.ReplaceLogLine("Erasing Program Memory......Error Detected");
        view_.StepEnded(StepErase, false);
        Post(StepIdle);
    }
}

void UpgradeSequencer::Program() {
    log_.AddLogLine("Sending New Program Data......");
    if (boot_.SendProgramData()) {
        view_.StepEnded(StepProgram, true);
        Post(StepDisableBoot);
    } else {
        log_.ReplaceLogLine("Sending New Program Data......Error Detected");
        view_.StepEnded(StepProgram, false);
        Post(StepIdle);
    }
}

void UpgradeSequencer::DisableBoot() {
    log_.AddLogLine("Disabling Boot Mode......");
    // With its boot flag still set the unit would restart into its boot loader, not into
    // the new program: that upgrade has not succeeded, and it stops here like a failed
    // write, the unit waiting in its boot loader for the next one.
    if (!boot_.ClearBootFlag()) {
        log_.ReplaceLogLine("Disabling Boot Mode......Error Detected");
        view_.StepEnded(StepDisableBoot, false);
        Post(StepIdle);
        return;
    }
    log_.ReplaceLogLine("Disabling Boot Mode......Done");
    view_.StepEnded(StepDisableBoot, true);
    Post(StepRestart);
}

void UpgradeSequencer::Restart() {
    log_.AddLogLine("Restarting Unit......");
    boot_.RestartUnit();
    Post(StepRestartDone);
}

void UpgradeSequencer::RestartDone() {
    log_.ReplaceLogLine("Restarting Unit......Done");
    Post(StepFinalise);
}

void UpgradeSequencer::Finalise() {
    log_.AddLogLine("Finalising Upgrade.....");
    link_.ReopenAt(ProfileFor(package_.ExpectedModel).ModbusSpeed);
    device_.RestoreDeviceSettings();
    log_.ReplaceLogLine("Finalising Upgrade.....Done");
    view_.StepEnded(StepFinalise, true);
    completed_ = true;
    Post(StepIdle);
}

void UpgradeSequencer::Idle() {
    // The open port stays open; its next Close gives it up.
    link_.ReleasePort();
    view_.SetStartEnabled(true);
    view_.SetCloseEnabled(true);
    const bool wasRunning = running_;
    running_ = false;
    stopRequested_ = false;
    if (wasRunning) view_.UpgradeEnded(completed_);
}
