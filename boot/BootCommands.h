#pragma once

#include <cstdint>

#include "link/LumoComms.h"
#include "package/FirmwareImage.h"
#include "platform/OperatorLog.h"

// The operations of an upgrade while the unit runs its boot loader. Each is one exchange,
// or a strictly sequential loop of exchanges, of SendBootCommand with a 30-tick timeout.
// Addresses are 16-bit program-memory byte addresses sent low byte first and followed by
// a third address byte 0x00. Addresses 0 to 2047 hold the boot loader and are never
// erased or written; the application area runs from 2048 to the image's ProgramEnd.
class TBootCommands {
public:
    static constexpr std::uint16_t kTimeoutTicks = 30;
    static constexpr std::uint32_t kApplicationStart = 2048;
    static constexpr std::uint32_t kEraseStretch = 512;

    // Keeps references to all three; they must outlive this object.
    TBootCommands(TLumoComms& link, const FirmwareImage& image, OperatorLog& log);

    // The unit's model number; kNoModelNumber (above any model number) when no valid reply came.
    std::uint32_t ReadModelNumber();
    // Boot loader model number in the high 16 bits, its version (major * 100 + minor) in the
    // low 16 bits; kNoBootInfo when no valid reply came.
    std::uint32_t ReadBootInfo();
    // Erases 2048 to ProgramEnd in 512-byte stretches, in address order, showing the progress
    // in the last log line. Stops at the first failed command, leaving the line at the last
    // percentage reached, and returns false. Also returns false, without sending anything
    // or touching the log, when ProgramEnd does not end the application area on a stretch
    // boundary within the 16-bit address space (ProgramEnd + 1 - 2048 must be a positive
    // multiple of 512 and ProgramEnd at most 0xFFFF), since the addresses would otherwise
    // run past the part or never meet its end.
    bool EraseProgramMemory();
    // Writes the present 128-byte blocks of the application area, in address order, showing
    // the progress in the last log line. Stops at the first failed command, leaving the
    // line at the last percentage reached, and returns false. Returns false at once, like
    // the erase, when ProgramEnd is not a valid end of the application area.
    bool SendProgramData();
    // Clears the unit's boot flag, so that the restart runs the new program. Up to
    // kClearBootFlagAttempts exchanges, until one is answered with a valid reply: clearing
    // twice does no harm, so a lost or damaged reply is not taken for a flag left set.
    // False when no attempt was answered: the unit would come back in its boot loader.
    bool ClearBootFlag();
    // One exchange; its outcome is not examined (a unit that restarts may not finish its reply).
    void RestartUnit();

    static constexpr int kClearBootFlagAttempts = 3;

    // Whether ProgramEnd closes the application area on a 512-byte stretch boundary within
    // the 16-bit address space. Every end of the processor table does.
    static bool ValidProgramEnd(std::uint32_t programEnd);

private:
    std::int32_t Command(std::uint8_t command, std::uint8_t count, const std::uint8_t* data,
                         std::uint8_t dataLength, std::uint8_t* reply);

    TLumoComms& link_;
    const FirmwareImage& image_;
    OperatorLog& log_;
};
