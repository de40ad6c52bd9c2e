#pragma once

#include <cstdint>
#include <string>

// What the simulated unit saw and did, for tests and for the end of a run.
struct TSimStatistics {
    // Line.
    std::uint64_t WrongLineBytes = 0;  // bytes received at a speed or format it does not expect
    std::uint32_t Exchanges = 0;       // valid requests taken as its own

    // Application.
    std::uint32_t ModbusReads = 0;
    std::uint32_t ModbusWrites = 0;          // functions 6 and 103
    std::uint32_t ModbusWriteMultiples = 0;  // function 104
    std::uint32_t ModbusBroadcasts = 0;
    std::uint32_t ModbusExceptions = 0;
    std::uint32_t ModbusBadCrc = 0;
    std::uint32_t ModbusOtherSlave = 0;
    std::uint32_t ModbusIncomplete = 0;  // partial requests ended by silence or line errors
    std::uint32_t BootEntries = 0;
    std::uint32_t Commits = 0;

    // Boot loader.
    std::uint32_t BootReadModel = 0;
    std::uint32_t BootReadInfo = 0;
    std::uint32_t BootErases = 0;
    std::uint32_t BootWrites = 0;
    std::uint32_t BootClearFlag = 0;
    std::uint32_t BootRestarts = 0;
    std::uint32_t BootBadChecksum = 0;
    std::uint32_t BootMalformed = 0;      // unknown commands, wrong counts or data
    std::uint32_t BootSpoiledFrames = 0;  // bad escapes, overlong or cut-off frames
    std::uint32_t RefusedErases = 0;
    std::uint32_t RefusedWrites = 0;
    std::uint32_t WritesOverProgrammed = 0;  // writes that changed bytes not erased before

    // Faults carried out.
    std::uint32_t FaultCorrupted = 0;
    std::uint32_t FaultDropped = 0;
    std::uint32_t FaultDelayed = 0;
    std::uint32_t FaultNoise = 0;
    std::uint32_t FaultFailed = 0;
    std::uint32_t PowerLosses = 0;
    bool HungUp = false;

    // One "name=value" line per counter.
    std::string Format() const;
};
