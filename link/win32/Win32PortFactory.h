#pragma once

#include <memory>
#include <string>

#include "link/PortFactory.h"

// Real serial ports on Windows: a port name is the system's own device name ("COM3",
// "\\.\COM12"), opened exclusively with overlapped I/O; reception by a TWin32RxThread.
class TWin32PortFactory : public TPortFactory {
public:
    TWin32PortFactory() = default;

    // A factory that opens the one device name given whatever port is asked for, with the
    // same exclusive opening and checks (the headless runner's --device).
    static std::shared_ptr<TWin32PortFactory> ForDevice(std::string deviceName);

    std::unique_ptr<TSerialDevice> OpenDevice(const std::string& portName) override;

    // The device must be one this factory opened and must stay open until the returned
    // receiver is destroyed.
    std::unique_ptr<TReceiver> StartReceiver(TSerialDevice& device, TMessageLoop& loop,
                                             TChunkHandler onChunk) override;

private:
    std::string deviceName_;
};
