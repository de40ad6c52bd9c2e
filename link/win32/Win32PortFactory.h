#pragma once

#include <memory>
#include <string>

#include "link/PortFactory.h"

// Real serial ports on Windows: a port name is the system's own device name ("COM3",
// "\\.\COM12"), opened exclusively with overlapped I/O; reception by a TWin32RxThread.
//
// A claim holds a named kernel object for its device ("Global\BootloaderPort.COM3") from
// its first open to its end. Every instance of the updater claims through it, so none can
// take the port in the gaps between the reopens of another, when the handle is closed: an
// open handle keeps other programs off by itself (sharing mode 0), which Wine does not
// enforce. Every open of a claim opens the device name of the first open again; the object
// goes with the last handle to it, so a program that dies gives its ports up.
class TWin32PortFactory : public TPortFactory {
public:
    TWin32PortFactory() = default;

    // A factory that opens the one device name given whatever port is asked for, with the
    // same exclusive opening and checks (the headless runner's --device).
    static std::shared_ptr<TWin32PortFactory> ForDevice(std::string deviceName);

    std::unique_ptr<TPortClaim> Claim(const std::string& portName, TPortOpenFailure& why) override;

    // The name of the object that holds a device for its claim.
    static std::wstring ClaimObjectName(const std::string& deviceName);

private:
    std::string deviceName_;
};
