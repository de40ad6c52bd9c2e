#include "upgrade/DevicePreparation.h"

#include "modbus/ModBusPro.h"
#include "package/ModelProfile.h"
#include "upgrade/PumpDelay.h"

namespace {

// Up to kAttempts tries of one request, stopping at the first kReplyNormal; returns the last
// result (kReplyTimeout when no try was made).
template <typename TRequest>
std::int32_t WithRetries(TRequest request) {
    std::int32_t result = kReplyTimeout;
    for (int attempt = 0; attempt < TDevicePreparation::kAttempts; ++attempt) {
        result = request();
        if (result == kReplyNormal) break;
    }
    return result;
}

}  // namespace

TDevicePreparation::TDevicePreparation(TMessageLoop& loop, TLumoComms& link, const FirmwareImage& package)
    : loop_(loop), link_(link), package_(package) {}

std::uint8_t TDevicePreparation::Slave(std::uint8_t slave) const {
    // The slave byte on the wire is one byte wide; the offset is always 0 in this program.
    return static_cast<std::uint8_t>(slave + SlaveOffset);
}

std::int32_t TDevicePreparation::RetryReadRegisters(std::uint8_t slave, std::uint8_t function,
                                                    std::uint16_t reg, std::uint16_t count,
                                                    std::span<std::uint16_t> values) {
    return WithRetries([&] {
        return ModbusReadRegisters(link_, Slave(slave), function, reg, count, kModbusTimeoutTicks, values);
    });
}

std::int32_t TDevicePreparation::RetryWriteRegister(std::uint8_t slave, std::uint8_t function,
                                                    std::uint16_t reg, std::uint16_t value) {
    return WithRetries(
        [&] { return ModbusWriteRegister(link_, Slave(slave), function, reg, value, kModbusTimeoutTicks); });
}

std::int32_t TDevicePreparation::RetryWriteRegisters(std::uint8_t slave, std::uint8_t function,
                                                     std::uint16_t reg, std::uint16_t count,
                                                     std::span<const std::uint16_t> values) {
    return WithRetries([&] {
        return ModbusWriteRegisters(link_, Slave(slave), function, reg, count, values, kModbusTimeoutTicks);
    });
}

std::int32_t TDevicePreparation::ReadDeviceIdentity() {
    std::array<std::uint16_t, 2> v{};
    const std::int32_t r = RetryReadRegisters(19, 3, 20, 2, v);
    if (r == kReplyNormal) {
        DeviceModel = v[0];
        DeviceVersion = v[1];
    } else {
        DeviceModel = 0;
        DeviceVersion = 0;
    }
    return r;
}

bool TDevicePreparation::CarryOverApplies() const {
    return DeviceModel == kCarryOverModel && DeviceVersion < kCarryOverVersion &&
           package_.PackageVersion >= kCarryOverVersion;
}

std::int32_t TDevicePreparation::SaveDeviceSettings() {
    if (!CarryOverApplies()) return kReplyNotApplicable;
    std::int32_t r = RetryReadRegisters(17, 3, 24, 1, Slave17Settings);
    if (r != kReplyNormal) return r;
    r = RetryReadRegisters(19, 3, 22, 11, Slave19Settings);
    if (r != kReplyNormal) return r;
    // Register 29 is the unit's command register: writing its old value back would
    // replay whatever command it last held.
    Slave19Settings[7] = 0;
    return RetryReadRegisters(20, 3, 7, 22, Slave20Settings);
}

std::int32_t TDevicePreparation::NoteRestoreWrite(std::int32_t result, std::uint8_t slave,
                                                  std::uint8_t function, std::uint16_t reg,
                                                  std::uint16_t count) {
    restore_ = {result, Slave(slave), function, reg, count};
    return result;
}

std::int32_t TDevicePreparation::RestoreDeviceSettings() {
    restore_ = {};
    if (DeviceModel != kCarryOverModel) return kReplyNotApplicable;
    // The unit has just been restarted by the boot phase; give its application time to come up.
    loop_.DispatchPending();
    PumpDelay(loop_, 5000);
    if (DeviceVersion >= kCarryOverVersion || package_.PackageVersion < kCarryOverVersion)
        return kReplyNotApplicable;

    const std::span<const std::uint16_t> s19(Slave19Settings);
    const std::span<const std::uint16_t> s20(Slave20Settings);
    std::int32_t r = NoteRestoreWrite(RetryWriteRegister(17, 103, 24, Slave17Settings[0]), 17, 103, 24, 1);
    // The blocks of 11 registers in the order they go back; the first failure ends the write-back.
    struct TBlock {
        std::uint8_t slave;
        std::uint16_t reg;
        std::span<const std::uint16_t> values;
    };
    const TBlock blocks[] = {
        {19, 22, s19.subspan(0, 11)}, {20, 7, s20.subspan(0, 11)}, {20, 18, s20.subspan(11, 11)}};
    for (const TBlock& block : blocks) {
        if (r != kReplyNormal) break;
        r = NoteRestoreWrite(RetryWriteRegisters(block.slave, 104, block.reg, 11, block.values), block.slave,
                             104, block.reg, 11);
    }
    CommitDeviceSettings();
    return r;
}

void TDevicePreparation::CommitDeviceSettings() {
    RetryWriteRegister(19, 103, 29, kCommitValue);
    loop_.DispatchPending();
    PumpDelay(loop_, 3000);
}

void TDevicePreparation::EnterBootMode() {
    const ModelProfile profile = ProfileFor(package_.ExpectedModel);
    link_.ReopenAt(profile.ModbusSpeed);
    // Single attempts, straight to the wire: a unit that has already switched cannot answer.
    for (const auto& step : profile.BootEntryRecipe) {
        ModbusWriteRegister(link_, step.Slave, step.FunctionCode, step.Register, BootModeEntryValue,
                            kModbusTimeoutTicks);
    }
    link_.ReopenAt(profile.BootSpeed);
}
