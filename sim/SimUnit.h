#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/LineSettings.h"
#include "sim/SimApplication.h"
#include "sim/SimBootFramer.h"
#include "sim/SimBootLoader.h"
#include "sim/SimConfig.h"
#include "sim/SimModbusFramer.h"
#include "sim/SimMode.h"
#include "sim/SimModelRow.h"
#include "sim/SimRandom.h"
#include "sim/SimReply.h"
#include "sim/SimStatistics.h"

// A simulated unit without any I/O: it is fed the bytes that reach it, with their time
// stamp and the line settings in effect, and returns what it sends back and when.
// Whoever drives it (an in-memory serial device on a virtual clock, or a server on a
// pseudo-terminal) moves the bytes and keeps the time.
//
// The unit listens at the speed of its current mode only (the model's Modbus speed while
// its application runs, its boot speed in the boot loader), 8 data bits, no parity, one
// stop bit, within 2 % of the speed as a UART would; other bytes are line noise to it.
// It stays silent on every request that is not valid and its own.
//
// Mode changes: a write of the entry value by one of the model's entry writes switches
// the application into the boot loader and sets the boot flag; a restart command
// returns to the application when the boot flag has been cleared, and otherwise starts
// the boot loader again.
class TSimUnit {
public:
    using TTrace = std::function<void(const std::string& line)>;

    explicit TSimUnit(const TSimConfig& config);

    // Bytes received at nowUs (microseconds on the driver's clock, never going back).
    // Returns the replies they cause, in the order they go out.
    std::vector<TSimReply> Receive(std::span<const std::uint8_t> bytes, std::uint64_t nowUs,
                                   const TLineSettings& line);

    // One line per frame received and sent and per event, while set.
    void SetTrace(TTrace trace) { trace_ = std::move(trace); }

    TSimMode Mode() const { return mode_; }
    // The speed the unit listens at now.
    std::uint32_t ExpectedSpeed() const;
    // True once a hang-up fault has struck: the unit takes no more bytes and the driver
    // should drop the line.
    bool HungUp() const { return stats_.HungUp; }
    bool BootFlag() const { return boot_.BootFlag(); }

    const TSimStatistics& Statistics() const { return stats_; }
    const std::vector<std::uint8_t>& Flash() const { return boot_.Flash(); }
    std::optional<std::uint16_t> Register(std::uint8_t slave, std::uint16_t reg) const {
        return app_.Register(slave, reg);
    }
    const TSimModelRow& Row() const { return row_; }

private:
    bool LineMatches(const TLineSettings& line) const;
    void ApplicationFrame(std::vector<std::uint8_t> frame, std::uint64_t nowUs, std::uint32_t baud,
                          std::vector<TSimReply>& out);
    void BootFrame(std::vector<std::uint8_t> payload, std::uint64_t nowUs, std::uint32_t baud,
                   std::vector<TSimReply>& out);
    // Counts an exchange and applies the faults that strike before the unit acts.
    // False when the unit does not act on it.
    bool BeginExchange(std::uint64_t nowUs);
    void Send(std::vector<std::uint8_t> bytes, std::size_t requestLength, std::uint32_t latencyUs,
              std::uint64_t nowUs, std::uint32_t baud, std::vector<TSimReply>& out);
    void EnterBootLoader(std::uint64_t nowUs, const char* why);
    void RestartFromBootLoader(std::uint64_t nowUs);
    void Trace(std::uint64_t nowUs, const std::string& text) const;
    void TraceBytes(std::uint64_t nowUs, const char* direction, std::span<const std::uint8_t> bytes,
                    const std::string& note) const;

    TSimConfig config_;
    TSimModelRow row_;
    TSimApplication app_;
    TSimBootLoader boot_;
    TSimModbusFramer modbusFramer_;
    TSimBootFramer bootFramer_;
    TSimRandom random_;
    TSimStatistics stats_;
    TSimMode mode_;
    std::uint32_t writeCommands_ = 0;
    std::uint64_t lastDueUs_ = 0;
    TTrace trace_;
};
