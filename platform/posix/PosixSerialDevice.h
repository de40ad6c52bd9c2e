#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/PortOpenFailure.h"
#include "platform/SerialDevice.h"

// A serial device node opened for exclusive use: O_NONBLOCK, an flock (which holds
// against root as well) and the terminal's exclusive mode. Closing gives up both.
class TPosixSerialDevice : public TSerialDevice {
public:
    struct TOpenResult {
        // Set when the device opened and is a terminal.
        std::unique_ptr<TPosixSerialDevice> Device;
        // Why not, otherwise: missing, busy (with the lock's holder when /proc/locks shows
        // it), refused, or not a terminal (a regular file, say; it has been closed), with
        // the system's message for the failed step.
        TPortOpenFailure Failure;
    };

    // Opens path for reading and writing. Never throws for a device that cannot be used;
    // the result tells why.
    static TOpenResult Open(const std::string& path);

    ~TPosixSerialDevice() override;
    TPosixSerialDevice(const TPosixSerialDevice&) = delete;
    TPosixSerialDevice& operator=(const TPosixSerialDevice&) = delete;

    // Blocks (in poll, dispatching nothing) while the driver's output buffer is full; fails
    // when the driver takes no byte for 30 s.
    bool WriteAll(const std::uint8_t* data, std::size_t length) override;
    void Purge(unsigned what) override;
    std::uint32_t ApplyLineSettings(const TLineSettings& settings) override;
    // The descriptor a receive thread polls.
    int Descriptor() const { return fd_; }

    // What a close and a new open of the device put on the wire, for a caller that keeps
    // the descriptor open across them: with hang-up on close (HUPCL) set, a close drops
    // DTR and RTS and an open raises them again, as the driver does on a real last close
    // and first open. Without HUPCL, and on a line without modem lines (a pseudo-terminal),
    // nothing changes.
    void ShowCloseOnLine();
    void ShowOpenOnLine();

    // False once the device has gone: an adapter pulled, the line hung up for good.
    bool StillPresent() const;

    const std::string& Path() const { return path_; }

private:
    TPosixSerialDevice(int fd, std::string path);

    int fd_;
    std::string path_;
    // Open set the driver's low-latency flag; closing clears it again.
    bool releaseLowLatency_ = false;
};
