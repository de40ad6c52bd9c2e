#include "link/win32/Win32PortFactory.h"

#include <utility>

#include "link/CommsError.h"
#include "link/win32/Win32RxThread.h"
#include "platform/win32/Win32SerialDevice.h"

std::shared_ptr<TWin32PortFactory> TWin32PortFactory::ForDevice(std::string deviceName) {
    auto factory = std::make_shared<TWin32PortFactory>();
    factory->deviceName_ = std::move(deviceName);
    return factory;
}

std::unique_ptr<TSerialDevice> TWin32PortFactory::OpenDevice(const std::string& portName) {
    TWin32SerialDevice::TOpenResult opened =
        TWin32SerialDevice::Open(deviceName_.empty() ? portName : deviceName_);
    if (opened.NotACommHandle) throw ECommsError("File Handle is not a Comm Handle.");
    return std::move(opened.Device);
}

std::unique_ptr<TReceiver> TWin32PortFactory::StartReceiver(TSerialDevice& device, TMessageLoop& loop,
                                                            TChunkHandler onChunk) {
    auto* port = dynamic_cast<TWin32SerialDevice*>(&device);
    if (port == nullptr) return nullptr;
    return TWin32RxThread::Start(port->Handle(), loop, std::move(onChunk));
}
