#pragma once

#include <memory>
#include <string>

#include "sim/SimConfig.h"
#include "sim/SimUnit.h"
#include "support/MemoryPortFactory.h"
#include "support/VirtualMessageLoop.h"

// A simulated unit on an in-memory port, on the virtual clock: every frame the link writes
// reaches the unit with the line settings the device has at that moment, and the unit's
// replies come back at the virtual time it says. A hang-up makes the unit deaf.
class TSimulatedUnitPort {
public:
    TSimulatedUnitPort(TVirtualMessageLoop& loop, TMemoryPortFactory& ports, const std::string& portName,
                       const TSimConfig& config);

    TSimUnit& Unit() { return *unit_; }
    // The flash bytes from..to (inclusive) equal the image bytes at the same addresses.
    bool FlashMatches(const std::uint8_t* image, std::uint32_t from, std::uint32_t to) const;

private:
    TVirtualMessageLoop& loop_;
    TMemoryPortFactory& ports_;
    std::string portName_;
    std::shared_ptr<TSimUnit> unit_;
};
