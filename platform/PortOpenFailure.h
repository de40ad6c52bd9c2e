#pragma once

#include <string>

// Why a port did not open, as the system told it, so that an operator reads the cause (a
// port that is missing reads otherwise than one that is in use) and not only that the open
// failed. Made where the device is opened and carried up through the link unchanged.
struct TPortOpenFailure {
    enum class TReason {
        None,            // the port opened
        Missing,         // no such device, or it has gone (an adapter pulled)
        Busy,            // another program holds it (another instance of the updater, say)
        Refused,         // the system refused the open for another reason (no permission, ...)
        NotASerialPort,  // it opened, but is no serial port (a plain file)
    };

    TReason Reason = TReason::None;
    // The device the open reached, as the system names it ("/dev/ttyUSB0", "COM3").
    std::string Device;
    // The system's own message for the error ("Permission denied"), empty when it gave none.
    std::string SystemText;
    // Who holds a busy port, when the system shows it: "process 4321 (bootloader-cli)".
    std::string Holder;

    bool Failed() const { return Reason != TReason::None; }

    // One line for standard error, naming the port as the operator gave it:
    // "COM3 (/dev/ttyUSB0) is in use by another program: process 4321 (bootloader-cli) holds it".
    std::string Describe(const std::string& port) const;
};
