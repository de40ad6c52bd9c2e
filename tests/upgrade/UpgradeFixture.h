#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "boot/BootCommands.h"
#include "link/LumoComms.h"
#include "package/FirmwareImage.h"
#include "sim/SimConfig.h"
#include "support/MemoryPortFactory.h"
#include "support/RecordingLog.h"
#include "support/SameBytes.h"
#include "support/SimulatedUnitPort.h"
#include "support/VirtualMessageLoop.h"
#include "upgrade/DevicePreparation.h"
#include "upgrade/UpgradeSequencer.h"
#include "upgrade/UpgradeView.h"

// Records what the sequencer does to the window.
class TRecordingView : public TUpgradeView {
public:
    void SetStartEnabled(bool enabled) override { StartEnabled = enabled; }
    void SetCloseEnabled(bool enabled) override { CloseEnabled = enabled; }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    void UpgradeEnded(bool completed) override {
        Ended = true;
        Completed = completed;
        ++EndCount;
    }

    bool StartEnabled = true;
    bool CloseEnabled = true;
    bool Ended = false;
    bool Completed = false;
    int EndCount = 0;
    std::vector<std::string> Errors;
};

// Keeps every text a line was replaced with, to see the progress a failure left behind.
class THistoryLog : public TRecordingLog {
public:
    void ReplaceLogLine(const std::string& text) override {
        Replaced.push_back(text);
        TRecordingLog::ReplaceLogLine(text);
    }
    std::vector<std::string> Replaced;
};

// A whole updater on the virtual clock: the link on an in-memory port "COM1" with a
// simulated unit behind it, device preparation, boot commands and the sequencer, wired as
// the application core wires them.
class UpgradeFixture : public ::testing::Test {
public:
    // A frame written to the port, with the line speed in effect.
    struct TFrame {
        std::vector<std::uint8_t> Bytes;
        std::uint32_t Baud;
        std::uint32_t TimeMs;
    };

protected:
    static constexpr const char* kPort = "COM1";

    // The package: processor 2620 (last address 0xFFFF), every block present, bytes that
    // differ from block to block and include 0x10 so stuffing is exercised.
    void MakePackage(std::uint16_t model, std::uint16_t version, std::uint16_t expectedModel = 0) {
        package = std::make_unique<FirmwareImage>();
        package->ProcessorNumber = 2620;
        package->SetProgramEnd(2620);
        package->PackageModel = model;
        package->ExpectedModel = expectedModel ? expectedModel : model;
        package->PackageVersion = version;
        for (std::size_t a = 0; a < FirmwareImage::kImageSize; ++a)
            package->ImageBuffer[a] =
                static_cast<std::uint8_t>((a * 7 + (a >> 7) * 13) ^ (a % 97 == 0 ? 0 : 0x10));
        package->MarkAllPresent();
    }

    void Build(const TSimConfig& config) {
        if (!package) MakePackage(config.Model, 112);
        ports = std::make_shared<TMemoryPortFactory>(loop);
        unit = std::make_unique<TSimulatedUnitPort>(loop, *ports, kPort, config);
        link = std::make_unique<TLumoComms>(loop, ports);
        link->RxBufferSize = 500;
        link->BaudRate = 115200;
        ASSERT_TRUE(link->Open());
        device = std::make_unique<TDevicePreparation>(loop, *link, *package);
        boot = std::make_unique<TBootCommands>(*link, *package, log);
        sequencer = std::make_unique<UpgradeSequencer>(loop, view, log, *link, *package, *device, *boot);
    }

    // Reopens the link at another line speed, as the steps do before Modbus work.
    void ReopenAt(std::uint32_t baud) { ASSERT_TRUE(link->ReopenAt(baud)); }

    // Runs one upgrade from Start to the idle step; false when it never ended.
    bool RunUpgrade() {
        view.Ended = false;
        sequencer->StartUpgrade();
        const std::uint64_t limit = loop.Now() + 30 * 60 * 1000;
        while (!view.Ended && loop.Now() < limit) loop.WaitAndDispatch(1000);
        return view.Ended;
    }

    // Every frame written to the port, across reopenings.
    std::vector<TFrame> Frames() const {
        std::vector<TFrame> frames;
        for (const auto& d : ports->Devices(kPort))
            for (const auto& w : d->Writes())
                frames.push_back({w.Bytes, d->CurrentSettings().BaudRate, w.TimeMs});
        return frames;
    }

    // The unit's application area, 2048 to ProgramEnd, holds the package's image.
    ::testing::AssertionResult FlashHoldsImage() const {
        if (package->ProgramEnd < 2048 || package->ProgramEnd >= FirmwareImage::kImageSize)
            return ::testing::AssertionFailure()
                   << "ProgramEnd " << package->ProgramEnd << " is outside the image";
        const std::size_t length = package->ProgramEnd + 1 - 2048;
        return SameBytes(std::span(package->ImageBuffer).subspan(2048, length),
                         std::span(unit->Unit().Flash()).subspan(2048, length), 2048);
    }

    TVirtualMessageLoop loop;
    THistoryLog log;
    TRecordingView view;
    std::unique_ptr<FirmwareImage> package;
    std::shared_ptr<TMemoryPortFactory> ports;
    std::unique_ptr<TSimulatedUnitPort> unit;
    std::unique_ptr<TLumoComms> link;
    std::unique_ptr<TDevicePreparation> device;
    std::unique_ptr<TBootCommands> boot;
    std::unique_ptr<UpgradeSequencer> sequencer;
};
