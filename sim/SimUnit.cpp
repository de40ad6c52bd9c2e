#include "sim/SimUnit.h"

#include <algorithm>
#include <cstdio>

#include "sim/SimModelTable.h"
#include "sim/SimWire.h"

namespace {

std::uint32_t StandardGapUs(std::uint32_t baud) {
    // 3.5 characters of 10 bits; a fixed 1750 us above 19200 bit/s.
    if (baud == 0) return 1750;
    if (baud > 19200) return 1750;
    return static_cast<std::uint32_t>(35'000'000ULL / baud);
}

std::uint64_t WireTimeUs(std::size_t bytes, std::uint32_t baud) {
    return baud == 0 ? 0 : bytes * 10ULL * 1'000'000ULL / baud;
}

}  // namespace

TSimUnit::TSimUnit(const TSimConfig& config)
    : config_(config),
      row_(TSimModelTable::Find(config.Model)),
      app_(config, row_),
      boot_(config),
      random_(config.Faults.Seed),
      mode_(config.InitialMode.value_or(row_.EntrySteps.empty() ? TSimMode::BootLoader
                                                                : TSimMode::Application)) {
    if (config.ModbusSpeed) row_.ModbusSpeed = *config.ModbusSpeed;
    if (config.BootSpeed) row_.BootSpeed = *config.BootSpeed;
    modbusFramer_.SetGapUs(config.FrameGapUs != 0 ? config.FrameGapUs : StandardGapUs(row_.ModbusSpeed));
    // A unit met in its boot loader was left there by an entry write or an upgrade that
    // did not finish: its boot flag is set.
    boot_.SetBootFlag(mode_ == TSimMode::BootLoader);
}

std::uint32_t TSimUnit::ExpectedSpeed() const {
    return mode_ == TSimMode::Application ? row_.ModbusSpeed : row_.BootSpeed;
}

bool TSimUnit::LineMatches(const TLineSettings& line) const {
    if (line.DataBits != 8 || line.Parity != TParity::None || line.StopBits != TStopBits::sb1) return false;
    const std::uint64_t expected = ExpectedSpeed();
    const std::uint64_t actual = line.BaudRate;
    const std::uint64_t diff = actual > expected ? actual - expected : expected - actual;
    return diff * 50 <= expected;
}

std::vector<TSimReply> TSimUnit::Receive(std::span<const std::uint8_t> bytes, std::uint64_t nowUs,
                                         const TLineSettings& line) {
    std::vector<TSimReply> out;
    for (std::size_t i = 0; i < bytes.size() && !stats_.HungUp; ++i) {
        // Checked for every byte: a request can switch the mode, and with it the speed,
        // in the middle of a chunk.
        if (!LineMatches(line)) {
            const std::size_t wrong = bytes.size() - i;
            stats_.WrongLineBytes += wrong;
            // Framing errors spoil whatever request was being collected.
            modbusFramer_.Reset();
            bootFramer_.Reset();
            char text[96];
            std::snprintf(text, sizeof text, "%zu bytes at %u bit/s ignored (listening at %u bit/s 8N1)",
                          wrong, line.BaudRate, ExpectedSpeed());
            Trace(nowUs, text);
            break;
        }
        if (mode_ == TSimMode::Application) {
            if (auto frame = modbusFramer_.Feed(bytes[i], nowUs))
                ApplicationFrame(std::move(*frame), nowUs, line.BaudRate, out);
        } else {
            if (auto payload = bootFramer_.Feed(bytes[i]))
                BootFrame(std::move(*payload), nowUs, line.BaudRate, out);
        }
    }
    stats_.ModbusIncomplete = modbusFramer_.Incomplete();
    stats_.BootSpoiledFrames = bootFramer_.Spoiled();
    return out;
}

bool TSimUnit::BeginExchange(std::uint64_t nowUs) {
    const std::uint32_t n = ++stats_.Exchanges;
    if (n == config_.Faults.HangUpAt) {
        stats_.HungUp = true;
        Trace(nowUs, "fault: hang-up at exchange " + std::to_string(n));
        return false;
    }
    if (config_.Faults.FailAt.count(n) != 0) {
        ++stats_.FaultFailed;
        Trace(nowUs, "fault: exchange " + std::to_string(n) + " ignored");
        return false;
    }
    return true;
}

void TSimUnit::ApplicationFrame(std::vector<std::uint8_t> frame, std::uint64_t nowUs, std::uint32_t baud,
                                std::vector<TSimReply>& out) {
    if (!TSimWire::ModbusCrcMatches(frame)) {
        ++stats_.ModbusBadCrc;
        TraceBytes(nowUs, "app <-", frame, "bad CRC, ignored");
        return;
    }
    const std::uint8_t slave = frame[0];
    if (slave != 0 && !app_.Owns(slave)) {
        ++stats_.ModbusOtherSlave;
        TraceBytes(nowUs, "app <-", frame, "slave " + std::to_string(slave) + " is not this unit");
        return;
    }
    if (!BeginExchange(nowUs)) return;

    TSimApplication::TOutcome outcome = app_.Handle(frame, stats_);
    TraceBytes(nowUs, "app <-", frame, outcome.Note);
    if (outcome.Commit) ++stats_.Commits;
    if (!outcome.Reply.empty()) Send(std::move(outcome.Reply), frame.size(), 0, nowUs, baud, out);
    // The reply to the entry write still goes out from the application, at its speed.
    if (outcome.EnterBootLoader) EnterBootLoader(nowUs, "entry write");
}

void TSimUnit::BootFrame(std::vector<std::uint8_t> payload, std::uint64_t nowUs, std::uint32_t baud,
                         std::vector<TSimReply>& out) {
    if (payload.size() < 3 || TSimWire::BootSum(payload) != 0) {
        ++stats_.BootBadChecksum;
        TraceBytes(nowUs, "boot <-", payload, "bad checksum, ignored");
        return;
    }
    if (!BeginExchange(nowUs)) return;

    const TSimBootLoader::TRequest request = TSimBootLoader::Parse(payload);
    if (request.Kind == TSimBootLoader::TKind::Write && ++writeCommands_ == config_.Faults.PowerLossAtWrite) {
        ++stats_.PowerLosses;
        TraceBytes(nowUs, "boot <-", payload, request.Note);
        Trace(nowUs,
              "fault: power lost at write " + std::to_string(writeCommands_) + ", back in the boot loader");
        bootFramer_.Reset();
        boot_.SetBootFlag(true);
        mode_ = TSimMode::BootLoader;
        return;
    }

    TSimBootLoader::TOutcome outcome = boot_.Execute(request, stats_);
    TraceBytes(nowUs, "boot <-", payload, outcome.Note);
    if (!outcome.Replies) return;

    std::uint32_t latency = 0;
    if (request.Kind == TSimBootLoader::TKind::Erase) latency = config_.EraseLatencyUs;
    if (request.Kind == TSimBootLoader::TKind::Write) latency = config_.WriteLatencyUs;
    // The request's length on the wire, stuffed and framed.
    const std::size_t requestLength =
        4 + payload.size() +
        static_cast<std::size_t>(std::count(payload.begin(), payload.end(), TSimWire::kDle));
    Send(std::move(outcome.Reply), requestLength, latency, nowUs, baud, out);
    if (request.Kind == TSimBootLoader::TKind::Restart) RestartFromBootLoader(nowUs);
}

void TSimUnit::EnterBootLoader(std::uint64_t nowUs, const char* why) {
    ++stats_.BootEntries;
    mode_ = TSimMode::BootLoader;
    boot_.SetBootFlag(true);
    modbusFramer_.Reset();
    bootFramer_.Reset();
    Trace(nowUs, std::string("boot loader entered (") + why + ")");
}

void TSimUnit::RestartFromBootLoader(std::uint64_t nowUs) {
    bootFramer_.Reset();
    if (boot_.BootFlag()) {
        Trace(nowUs, "restart with the boot flag set: boot loader again");
        return;
    }
    const std::uint16_t oldVersion = app_.Version();
    const std::uint16_t newVersion = config_.NewVersion.value_or(config_.Version);
    const bool reset = config_.ResetSettingsOnRestart.value_or(row_.SettingsResetFrom != 0 &&
                                                               oldVersion < row_.SettingsResetFrom &&
                                                               newVersion >= row_.SettingsResetFrom);
    app_.Restart(newVersion, reset);
    modbusFramer_.Reset();
    mode_ = TSimMode::Application;
    Trace(nowUs,
          "application running, version " + std::to_string(newVersion) + (reset ? ", settings cleared" : ""));
}

void TSimUnit::Send(std::vector<std::uint8_t> bytes, std::size_t requestLength, std::uint32_t latencyUs,
                    std::uint64_t nowUs, std::uint32_t baud, std::vector<TSimReply>& out) {
    const TSimFaultPlan& plan = config_.Faults;
    const std::uint32_t n = stats_.Exchanges;
    // Four draws for every reply, whatever the rates, so the faults one kind strikes do
    // not depend on the rates of the others.
    const bool drop = random_.Chance(plan.DropRate) || plan.DropAt.count(n) != 0;
    const bool corrupt = random_.Chance(plan.CorruptRate) || plan.CorruptAt.count(n) != 0;
    const bool delay = random_.Chance(plan.DelayRate) || plan.DelayAt.count(n) != 0;
    const bool noise = random_.Chance(plan.NoiseRate) || plan.NoiseAt.count(n) != 0;

    const char* direction = mode_ == TSimMode::Application ? "app ->" : "boot ->";
    if (drop) {
        ++stats_.FaultDropped;
        TraceBytes(nowUs, direction, bytes, "fault: dropped");
        return;
    }
    std::string note;
    if (corrupt && !bytes.empty()) {
        ++stats_.FaultCorrupted;
        const std::uint32_t at = random_.Below(static_cast<std::uint32_t>(bytes.size()));
        bytes[at] ^= static_cast<std::uint8_t>(1 + random_.Below(255));
        note += " fault: byte " + std::to_string(at) + " corrupted";
    }
    if (noise && plan.NoiseBytes != 0) {
        ++stats_.FaultNoise;
        std::vector<std::uint8_t> prefixed;
        prefixed.reserve(plan.NoiseBytes + bytes.size());
        for (std::uint32_t i = 0; i < plan.NoiseBytes; ++i)
            prefixed.push_back(static_cast<std::uint8_t>(random_.Next()));
        prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
        bytes.swap(prefixed);
        note += " fault: noise before";
    }
    std::uint64_t delayUs = std::uint64_t{config_.TurnaroundUs} + latencyUs;
    if (delay) {
        ++stats_.FaultDelayed;
        delayUs += plan.DelayUs;
        note += " fault: delayed";
    }
    if (config_.EmulateWireTime) delayUs += WireTimeUs(requestLength + bytes.size(), baud);

    // One line, one sender: a reply never overtakes the one before it.
    const std::uint64_t due = std::max(nowUs + delayUs, lastDueUs_);
    lastDueUs_ = due;
    char text[32];
    std::snprintf(text, sizeof text, "after %.3f ms", static_cast<double>(due - nowUs) / 1000.0);
    TraceBytes(nowUs, direction, bytes, text + note);
    out.push_back({due, due - nowUs, std::move(bytes)});
}

void TSimUnit::Trace(std::uint64_t nowUs, const std::string& text) const {
    if (!trace_) return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.6f ", static_cast<double>(nowUs) / 1e6);
    trace_(stamp + text);
}

void TSimUnit::TraceBytes(std::uint64_t nowUs, const char* direction, std::span<const std::uint8_t> bytes,
                          const std::string& note) const {
    if (!trace_) return;
    std::string text = direction;
    char hex[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, " %02X", b);
        text += hex;
    }
    if (!note.empty()) text += "  (" + note + ")";
    Trace(nowUs, text);
}
