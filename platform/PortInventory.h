#pragma once

#include <string>

// What --list-ports shows, so that an operator knows what to give --port and --ports: the
// serial ports the system knows, each with the device behind it and what the system knows
// of that device. Nothing is opened. Each platform lists its own (posix/, win32/): on Linux
// the ports directory's COMn entries and the devices under their stable names in
// /dev/serial/by-id, a USB device with what sysfs knows of it; on Windows the COM ports of
// the registry's SERIALCOMM list, each with its device's friendly name.
class TPortInventory {
public:
    // The list, one line per entry. baseDirectory is the directory of the settings file,
    // beside which the default ports directory lies (Linux).
    static std::string List(const std::string& baseDirectory);
};
