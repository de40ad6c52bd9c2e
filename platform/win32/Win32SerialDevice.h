#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/PortOpenFailure.h"
#include "platform/SerialDevice.h"
#include "platform/win32/Win32Handle.h"

// A serial port opened by its Win32 device name ("COM3", "\\.\COM12") for exclusive,
// overlapped reading and writing. The receive thread of the link reads through Handle().
class TWin32SerialDevice : public TSerialDevice {
public:
    struct TOpenResult {
        // Set when the port opened and is a character device.
        std::unique_ptr<TWin32SerialDevice> Device;
        // Why not, otherwise, from GetLastError: missing (ERROR_FILE_NOT_FOUND,
        // ERROR_PATH_NOT_FOUND), busy (ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION: the
        // port is open in another program), refused, or not a character device (it has
        // been closed), with the system's message.
        TPortOpenFailure Failure;
    };

    // Never throws for a port that cannot be used; the result tells why.
    static TOpenResult Open(const std::string& deviceName);

    // The failure that a Win32 error code means for deviceName.
    static TPortOpenFailure FailureOf(const std::string& deviceName, DWORD error);

    TWin32SerialDevice(const TWin32SerialDevice&) = delete;
    TWin32SerialDevice& operator=(const TWin32SerialDevice&) = delete;

    // An overlapped write waited for (no message dispatching). Fails when the driver has
    // not taken the bytes within 30 s (a line held by flow control), like the POSIX side.
    // A write the driver does not give back within a second of being cancelled (an adapter
    // pulled) is left to it, and every later write fails.
    bool WriteAll(const std::uint8_t* data, std::size_t length) override;
    // PurgeComm with the abort and clear actions of the given directions.
    void Purge(unsigned what) override;
    // Clears a pending line error, sets the time-outs (1 ms read interval, nothing else) and
    // replaces rate, byte size, parity and stop bits in the port's control block, with
    // software flow control and abort-on-error off; everything else stays as the port had
    // it. Abort-on-error would make every read fail after one line error (a framing error
    // at a change of speed) until the error is cleared.
    std::uint32_t ApplyLineSettings(const TLineSettings& settings) override;

    HANDLE Handle() const { return handle_.Get(); }

private:
    // The write request, on the heap so that one the driver never completes can be left to
    // it. It has its own event: the receive thread's reads complete on the same handle, so
    // waiting on the handle itself could end a write's wait early.
    struct TWriteRequest {
        OVERLAPPED Overlapped{};
        TWin32Handle Event;
    };

    TWin32SerialDevice(TWin32Handle handle, std::unique_ptr<TWriteRequest> write);

    TWin32Handle handle_;
    std::unique_ptr<TWriteRequest> write_;
};
