#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/LineSettings.h"

// An open serial device as the link engine uses it: write, purge, line settings.
// Destroying the object closes the device. Receiving is not part of this
// interface: the link's port type of each platform starts a receiver for its device.
class TSerialDevice {
public:
    static constexpr unsigned kPurgeRx = 0x1;
    static constexpr unsigned kPurgeTx = 0x2;

    virtual ~TSerialDevice() = default;

    // Writes all bytes, blocking until the driver has taken them (no message dispatching).
    // False on an error or a short write.
    virtual bool WriteAll(const std::uint8_t* data, std::size_t length) = 0;

    // Discards the bytes the driver holds in the given directions.
    virtual void Purge(unsigned what) = 0;

    // Applies the line settings, puts the line in raw 8-bit mode. Best effort: a setting
    // the device refuses is skipped. Returns the baud rate in effect afterwards as the
    // device reports it (0 when unknown), so that a caller can see a rounded rate.
    virtual std::uint32_t ApplyLineSettings(const TLineSettings& settings) = 0;
};
