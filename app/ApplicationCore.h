#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/AppView.h"
#include "boot/BootCommands.h"
#include "link/LumoComms.h"
#include "link/PortFactory.h"
#include "package/FirmwareImage.h"
#include "platform/MessageLoop.h"
#include "platform/OperatorLog.h"
#include "upgrade/DevicePreparation.h"
#include "upgrade/UpgradeSequencer.h"

// The application as both faces drive it: the start-up sequence, the settings file, the
// port, Load File's numbers and the upgrade. It owns the package, the link, device
// preparation and the sequencer. Errors it cannot handle (a missing resource, a settings
// file that cannot be written, an error raised by the link's Open, a number that does not
// convert) are thrown to the face, which shows them at the boundary of the handler that ran.
class TApplicationCore {
public:
    static constexpr const char* kSettingsFileName = "Bootload.Ini";
    static constexpr std::uint16_t kRxBufferSize = 500;
    static constexpr std::uint32_t kStartupBaudRate = 115200;

    // makePorts builds the port factory once BaseDir is known (the default ports
    // directory lies beside the settings file).
    using TPortFactoryMaker = std::function<std::shared_ptr<TPortFactory>(const std::string& baseDir)>;

    TApplicationCore(TMessageLoop& loop, TAppView& view, OperatorLog& log, TPortFactoryMaker makePorts);
    ~TApplicationCore();

    // The start-up sequence of the main window. When useSettingsFile is false (a port given
    // on the command line) the settings file is neither read nor written and
    // CommsPortNumber keeps the value it was given.
    void FormCreate(bool useSettingsFile = true);
    void OpenDefaultPort();
    void LoadSettings();
    void SaveSettings();

    // Start (Button6Click). Does nothing when start-up ended before the link existed.
    void StartUpgrade();
    // Comms Port after the dialog answered Ok with item position (0 for COM1, -1 for none).
    void ChangePort(int position);
    // The dialog's initial selection: CommsPortNumber - 1, or -1 outside 1 to 32.
    int SelectedPortPosition() const;

    // Load File, in three steps so the face can ask for the numbers in between.
    void LoadFileImage(const std::string& path);
    void ApplyProcessorText(const std::string& text);
    void ApplyModelText(const std::string& text);

    // Closing the window: true when the link was closed and destroyed now; false when an
    // upgrade step is waiting inside a request, in which case the upgrade stops after that
    // step and the face closes when it is told the upgrade ended.
    bool FormClose();

    std::string BaseDir;
    std::int32_t CommsPortNumber = 1;
    FirmwareImage Package;
    std::string ApplicationTitle;

    TLumoComms* Link() const { return link_.get(); }
    TDevicePreparation* Device() const { return device_.get(); }
    // How the last upgrade's settings write-back ended (not applicable before any, or when
    // start-up ended before the link existed). An upgrade can complete with it failed.
    TSettingsRestoreOutcome SettingsRestore() const {
        return device_ ? device_->SettingsRestore() : TSettingsRestoreOutcome{};
    }
    UpgradeSequencer* Sequencer() const { return sequencer_.get(); }
    std::string SettingsPath() const { return BaseDir + kSettingsFileName; }
    std::string PortStatusText() const;

private:
    TMessageLoop& loop_;
    TAppView& view_;
    OperatorLog& log_;
    TPortFactoryMaker makePorts_;
    bool useSettingsFile_ = true;
    std::shared_ptr<TPortFactory> ports_;
    std::unique_ptr<TLumoComms> link_;
    std::unique_ptr<TDevicePreparation> device_;
    std::unique_ptr<TBootCommands> boot_;
    std::unique_ptr<UpgradeSequencer> sequencer_;
};
