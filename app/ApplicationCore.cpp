#include "app/ApplicationCore.h"

#include "package/PackageNumbers.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"

TApplicationCore::TApplicationCore(TMessageLoop& loop, TAppView& view, OperatorLog& log,
                                   TPortFactoryMaker makePorts)
    : loop_(loop), view_(view), log_(log), makePorts_(std::move(makePorts)) {}

TApplicationCore::~TApplicationCore() {
    // The sequencer and device preparation refer to the link: they go first.
    sequencer_.reset();
    boot_.reset();
    device_.reset();
    link_.reset();
}

void TApplicationCore::FormCreate(bool useSettingsFile) {
    // Taken once: a later change of the working directory does not move the settings file.
    useSettingsFile_ = useSettingsFile;
    BaseDir = CurrentDirectory();
    ports_ = makePorts_(BaseDir);
    view_.ShowMainWindow();
    Package.ClearImage();
    if (useSettingsFile) LoadSettings();
    view_.HideLoadFile();
    ReadPackageFromResources(Package, ApplicationTitle);
    view_.SetApplicationTitle(ApplicationTitle);
    view_.SetCaption(ApplicationTitle);
    Package.LoadImageFromResource();
    view_.SetStartEnabled(true);
    OpenDefaultPort();
}

std::string TApplicationCore::PortStatusText() const {
    return " Port: COM" + std::to_string(CommsPortNumber);
}

void TApplicationCore::OpenDefaultPort() {
    link_ = std::make_unique<TLumoComms>(loop_, ports_);
    device_ = std::make_unique<TDevicePreparation>(loop_, *link_, Package);
    device_->SlaveOffset = 0;
    boot_ = std::make_unique<TBootCommands>(*link_, Package, log_);
    sequencer_ = std::make_unique<UpgradeSequencer>(loop_, view_, log_, *link_, Package, *device_, *boot_);

    link_->BaudRate = kStartupBaudRate;
    link_->Parity = TParity::None;
    link_->DataBits = 8;
    link_->StopBits = TStopBits::sb1;
    // The port index is one byte wide: port 0 becomes index 255, a port above 256 wraps.
    link_->CommPort = static_cast<TComport>(static_cast<std::uint8_t>(CommsPortNumber - 1));
    link_->RxBufferSize = kRxBufferSize;
    if (link_->Open()) {
        view_.SetStatusText(PortStatusText());
        if (useSettingsFile_) SaveSettings();
    } else {
        view_.ShowMessage("Unable To Open Comms Port. Please Select Another.");
    }
}

void TApplicationCore::LoadSettings() {
    const std::string path = SettingsPath();
    if (PathExists(path)) {
        CommsPortNumber = TIniFile(path).ReadInteger("Options", "Comms_Port", 1);
    } else {
        CommsPortNumber = 1;
        TIniFile(path).WriteInteger("Options", "Comms_Port", 1);
    }
}

void TApplicationCore::SaveSettings() {
    TIniFile(SettingsPath()).WriteInteger("Options", "Comms_Port", CommsPortNumber);
}

void TApplicationCore::StartUpgrade() {
    if (sequencer_) sequencer_->StartUpgrade();
}

int TApplicationCore::SelectedPortPosition() const {
    return CommsPortNumber >= 1 && CommsPortNumber <= 32 ? CommsPortNumber - 1 : -1;
}

void TApplicationCore::ChangePort(int position) {
    if (!link_) return;  // start-up ended before the link existed
    link_->Close();
    // No selection (-1) asks for index 255, as the one-byte index takes it.
    link_->CommPort = static_cast<TComport>(static_cast<std::uint8_t>(position));
    if (link_->Open()) {
        CommsPortNumber = position + 1;
        if (useSettingsFile_) SaveSettings();
        view_.SetStatusText(PortStatusText());
        return;
    }
    link_->CommPort = static_cast<TComport>(static_cast<std::uint8_t>(CommsPortNumber - 1));
    link_->Open();
    view_.ErrorBox("Unable To Open Comm Port.");
}

void TApplicationCore::LoadFileImage(const std::string& path) {
    Package.LoadImageFromFile(path);
}

void TApplicationCore::ApplyProcessorText(const std::string& text) {
    SetProcessorFromText(Package, text);
}

void TApplicationCore::ApplyModelText(const std::string& text) {
    const std::uint16_t model = SetModelFromText(Package, text);
    log_.AppendLine("New File Loaded...VX" + std::to_string(model));
    view_.SetStartEnabled(true);
}

bool TApplicationCore::FormClose() {
    if (sequencer_ && sequencer_->InStep()) {
        sequencer_->RequestStop();
        return false;
    }
    if (sequencer_ && sequencer_->Running()) sequencer_->RequestStop();
    if (link_) link_->Close();
    sequencer_.reset();
    boot_.reset();
    device_.reset();
    link_.reset();
    return true;
}
