#pragma once

#include <optional>
#include <string>

// Turns a port name ("COM1" .. "COM9", "\\.\COM10" ..) into the path of a device.
//
// COMn is the entry COMn of the ports directory, a symbolic link to the device (or a
// dangling one, which makes a missing port); without such an entry it is /dev/ttyS<n-1>.
// The ports directory is the one named by the environment variable BOOTLOADER_PORTS when
// that is set and not empty, else "ports" in the base directory given to the constructor
// (the directory of the settings file). The variable is read at every resolution.
// Resolving needs the file system of a POSIX system: Resolve exists only there.
class TPortResolver {
public:
    static constexpr const char* kPortsVariable = "BOOTLOADER_PORTS";

    explicit TPortResolver(std::string baseDirectory);

    std::string PortsDirectory() const;

    // The device path for portName; empty when the name does not name a port.
    std::string Resolve(const std::string& portName) const;

    // The port number of a name: "COM" or "\\.\COM" followed by a decimal number from 1
    // without leading zeros, letters in any case. Either form is accepted for any number.
    static std::optional<unsigned> PortNumber(const std::string& portName);

private:
    std::string baseDirectory_;
};
