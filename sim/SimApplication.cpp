#include "sim/SimApplication.h"

#include <cstdio>

#include "sim/SimWire.h"

namespace {

constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;

constexpr std::uint16_t kModelRegister = 20;
constexpr std::uint16_t kVersionRegister = 21;

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void PushWord(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::string Describe(const char* what, unsigned slave, unsigned reg, unsigned countOrValue, bool isValue) {
    char text[80];
    std::snprintf(text, sizeof text, isValue ? "%s %u:%u = 0x%04X" : "%s %u:%u x%u", what, slave, reg,
                  countOrValue);
    return text;
}

}  // namespace

TSimApplication::TSimApplication(const TSimConfig& config, const TSimModelRow& row)
    : entrySteps_(row.EntrySteps) {
    slaves_ = {17, kCommandSlave, 20};
    AddRegister(kCommandSlave, kModelRegister,
                {config.ApplicationModel.value_or(config.Model), false, false});
    AddRegister(kCommandSlave, kVersionRegister, {config.Version, false, false});
    AddRegister(kCommandSlave, kCommandRegister, {0, true, false});
    for (const TSimEntryStep& step : entrySteps_) {
        // Slave 0 is the broadcast address, never owned.
        if (step.Slave == 0) continue;
        slaves_.insert(step.Slave);
        if (Find(step.Slave, step.Register) == nullptr)
            AddRegister(step.Slave, step.Register, {0, true, false});
    }
    auto pattern = [](std::uint8_t slave, std::uint16_t reg) {
        return static_cast<std::uint16_t>(slave << 8 | (reg & 0xFF));
    };
    if (row.HasSettings) {
        AddRegister(17, 24, {pattern(17, 24), true, true});
        for (std::uint16_t reg = 22; reg <= 32; ++reg)
            AddRegister(kCommandSlave, reg, {pattern(19, reg), true, true});
        for (std::uint16_t reg = 7; reg <= 28; ++reg) AddRegister(20, reg, {pattern(20, reg), true, true});
    }
    for (const TSimRegisterValue& s : config.Settings) {
        if (s.Slave == 0) continue;
        TRegister* existing = Find(s.Slave, s.Register);
        if (existing != nullptr && !existing->Writable) continue;  // identity stays as configured
        slaves_.insert(s.Slave);
        AddRegister(s.Slave, s.Register, {s.Value, true, true});
    }
}

void TSimApplication::AddRegister(std::uint8_t slave, std::uint16_t reg, TRegister value) {
    registers_[Key(slave, reg)] = value;
}

TSimApplication::TRegister* TSimApplication::Find(std::uint8_t slave, std::uint16_t reg) {
    auto it = registers_.find(Key(slave, reg));
    return it == registers_.end() ? nullptr : &it->second;
}

std::optional<std::uint16_t> TSimApplication::Register(std::uint8_t slave, std::uint16_t reg) const {
    auto it = registers_.find(Key(slave, reg));
    if (it == registers_.end()) return std::nullopt;
    return it->second.Value;
}

std::uint16_t TSimApplication::Version() const {
    return *Register(kCommandSlave, kVersionRegister);
}

void TSimApplication::Restart(std::uint16_t newVersion, bool resetSettings) {
    registers_[Key(kCommandSlave, kVersionRegister)].Value = newVersion;
    if (!resetSettings) return;
    for (auto& [key, reg] : registers_) {
        if (reg.Setting) reg.Value = 0;
    }
}

bool TSimApplication::IsEntryWrite(std::uint8_t slave, std::uint8_t function, std::uint16_t reg,
                                   std::uint16_t value) const {
    if (value != kBootEntryValue) return false;
    for (const TSimEntryStep& step : entrySteps_) {
        if (step.Slave == slave && step.Function == function && step.Register == reg) return true;
    }
    return false;
}

TSimApplication::TOutcome TSimApplication::Exception(std::span<const std::uint8_t> request, std::uint8_t code,
                                                     std::string note, TSimStatistics& stats) {
    TOutcome out;
    out.Note = std::move(note) + " -> exception " + std::to_string(code);
    if (request[0] == 0) return out;  // a broadcast is never answered
    ++stats.ModbusExceptions;
    out.Reply = {request[0], static_cast<std::uint8_t>(request[1] | 0x80), code};
    TSimWire::AppendModbusCrc(out.Reply);
    return out;
}

TSimApplication::TOutcome TSimApplication::Handle(std::span<const std::uint8_t> request,
                                                  TSimStatistics& stats) {
    switch (request[1]) {
        case 3:
            return Read(request, stats);
        case 6:
        case 103:
            return WriteSingle(request, stats);
        case 104:
            return WriteMultiple(request, stats);
        default:
            return Exception(request, kIllegalFunction, "function " + std::to_string(request[1]), stats);
    }
}

TSimApplication::TOutcome TSimApplication::Read(std::span<const std::uint8_t> request,
                                                TSimStatistics& stats) {
    const std::uint8_t slave = request[0];
    const std::uint16_t first = Word(request, 2);
    const std::uint16_t count = Word(request, 4);
    std::string note = Describe("read", slave, first, count, false);
    if (slave == 0) return {{}, false, false, note + " (broadcast read ignored)"};
    ++stats.ModbusReads;
    if (count == 0 || count > 125) return Exception(request, kIllegalValue, note, stats);
    TOutcome out;
    out.Reply = {slave, request[1], static_cast<std::uint8_t>(2 * count)};
    for (std::uint32_t reg = first; reg < std::uint32_t{first} + count; ++reg) {
        const TRegister* r = reg > 0xFFFF ? nullptr : Find(slave, static_cast<std::uint16_t>(reg));
        if (r == nullptr) return Exception(request, kIllegalAddress, note, stats);
        PushWord(out.Reply, r->Value);
    }
    TSimWire::AppendModbusCrc(out.Reply);
    out.Note = std::move(note);
    return out;
}

TSimApplication::TOutcome TSimApplication::WriteSingle(std::span<const std::uint8_t> request,
                                                       TSimStatistics& stats) {
    const std::uint8_t slave = request[0];
    const std::uint8_t function = request[1];
    const std::uint16_t reg = Word(request, 2);
    const std::uint16_t value = Word(request, 4);
    TOutcome out;
    out.Note = Describe(function == 6 ? "write(6)" : "write(103)", slave, reg, value, true);
    out.EnterBootLoader = IsEntryWrite(slave, function, reg, value);

    if (slave == 0) {
        ++stats.ModbusBroadcasts;
        // A broadcast reaches every slave of the unit that has the register.
        for (std::uint8_t owned : slaves_) {
            if (TRegister* r = Find(owned, reg); r != nullptr && r->Writable) r->Value = value;
        }
        out.Note += " (broadcast)";
        if (out.EnterBootLoader) out.Note += " boot entry";
        return out;
    }

    ++stats.ModbusWrites;
    TRegister* r = Find(slave, reg);
    if (r == nullptr || !r->Writable) {
        out.EnterBootLoader = false;
        return Exception(request, kIllegalAddress, out.Note, stats);
    }
    r->Value = value;
    out.Commit = slave == kCommandSlave && reg == kCommandRegister && value == kCommitValue;
    if (out.EnterBootLoader) out.Note += " boot entry";
    if (out.Commit) out.Note += " commit";
    out.Reply.assign(request.begin(), request.begin() + 6);
    TSimWire::AppendModbusCrc(out.Reply);
    return out;
}

TSimApplication::TOutcome TSimApplication::WriteMultiple(std::span<const std::uint8_t> request,
                                                         TSimStatistics& stats) {
    const std::uint8_t slave = request[0];
    const std::uint16_t first = Word(request, 2);
    const std::uint16_t count = Word(request, 4);
    const std::uint8_t byteCount = request[6];
    std::string note = Describe("write(104)", slave, first, count, false);
    if (slave == 0) {
        ++stats.ModbusBroadcasts;
    } else {
        ++stats.ModbusWriteMultiples;
    }
    if (count == 0 || count > 123 || byteCount != 2 * count)
        return Exception(request, kIllegalValue, note, stats);

    // Every register must take the write before any is changed.
    std::vector<std::uint8_t> targets;
    if (slave == 0) {
        targets.assign(slaves_.begin(), slaves_.end());
    } else {
        targets.push_back(slave);
    }
    bool anyWritten = false;
    for (std::uint8_t target : targets) {
        bool all = true;
        for (std::uint32_t reg = first; reg < std::uint32_t{first} + count && all; ++reg) {
            const TRegister* r = reg > 0xFFFF ? nullptr : Find(target, static_cast<std::uint16_t>(reg));
            all = r != nullptr && r->Writable;
        }
        if (!all) continue;
        for (std::uint16_t i = 0; i < count; ++i) Find(target, first + i)->Value = Word(request, 7 + 2 * i);
        anyWritten = true;
    }
    if (slave == 0) return {{}, false, false, note + " (broadcast)"};
    if (!anyWritten) return Exception(request, kIllegalAddress, note, stats);

    TOutcome out;
    out.Note = std::move(note);
    out.Reply.assign(request.begin(), request.begin() + 6);
    TSimWire::AppendModbusCrc(out.Reply);
    return out;
}
