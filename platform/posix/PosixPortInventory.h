#pragma once

#include <string>

// The Linux side of TPortInventory (PortInventory.h): the COMn entries of the ports
// directory, each with the device it leads to, then the serial devices under their stable
// names (/dev/serial/by-id). A USB device comes with what sysfs knows of it: vendor and
// product numbers, maker, product name and serial number. Nothing is opened: the list reads
// links and sysfs only.
class TPosixPortInventory {
public:
    // The list, one line per entry. byIdDirectory and sysClassTty are the system's
    // directories unless a test gives its own.
    static std::string List(const std::string& portsDirectory,
                            const std::string& byIdDirectory = "/dev/serial/by-id",
                            const std::string& sysClassTty = "/sys/class/tty");
    // What sysfs knows of the USB device behind a serial device path ("/dev/ttyUSB0"):
    // "USB 0403:6001 FTDI FT232R USB UART, serial A12345", or empty when it is no USB device.
    static std::string UsbDetails(const std::string& devicePath,
                                  const std::string& sysClassTty = "/sys/class/tty");
};
