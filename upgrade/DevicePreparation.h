#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "link/LumoComms.h"
#include "link/ReplyResult.h"
#include "package/FirmwareImage.h"
#include "platform/MessageLoop.h"
#include "upgrade/SettingsRestoreOutcome.h"

// The Modbus work done around the boot phase: the running unit's identity, the settings
// carried across an upgrade of model 6155 units from below version 1.10, and the writes
// that switch a running unit into its boot loader.
class TDevicePreparation {
public:
    static constexpr std::uint16_t kCarryOverModel = 6155;
    static constexpr std::uint16_t kCarryOverVersion = 110;
    static constexpr std::uint16_t kCommitValue = 0x6E19;
    static constexpr std::uint16_t kModbusTimeoutTicks = 20;
    static constexpr int kAttempts = 3;

    TDevicePreparation(TMessageLoop& loop, TLumoComms& link, const FirmwareImage& package);

    std::array<std::uint16_t, 31> Slave17Settings{};
    std::array<std::uint16_t, 31> Slave19Settings{};
    std::array<std::uint16_t, 31> Slave20Settings{};
    std::uint16_t DeviceModel = 0;
    std::uint16_t DeviceVersion = 0;
    std::int32_t SlaveOffset = 0;

    // Up to three attempts each, stopping at the first kReplyNormal; the last result is returned.
    std::int32_t RetryReadRegisters(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                                    std::uint16_t count, std::span<std::uint16_t> values);
    std::int32_t RetryWriteRegister(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                                    std::uint16_t value);
    std::int32_t RetryWriteRegisters(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                                     std::uint16_t count, std::span<const std::uint16_t> values);

    std::int32_t ReadDeviceIdentity();
    std::int32_t SaveDeviceSettings();
    std::int32_t RestoreDeviceSettings();
    // How the last write-back ended, and which write failed (the operator log does not
    // say). Reset by ResetSettingsRestore and at the start of every RestoreDeviceSettings.
    const TSettingsRestoreOutcome& SettingsRestore() const { return restore_; }
    void ResetSettingsRestore() { restore_ = {}; }
    void CommitDeviceSettings();
    void EnterBootMode();

private:
    bool CarryOverApplies() const;
    std::uint8_t Slave(std::uint8_t slave) const;
    // Records a write-back write's result as the outcome so far and returns it.
    std::int32_t NoteRestoreWrite(std::int32_t result, std::uint8_t slave, std::uint8_t function,
                                  std::uint16_t reg, std::uint16_t count);

    TMessageLoop& loop_;
    TLumoComms& link_;
    const FirmwareImage& package_;
    TSettingsRestoreOutcome restore_;
};
