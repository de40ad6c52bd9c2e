#include "link/posix/PosixPortFactory.h"

#include <utility>

#include "link/CommsError.h"
#include "link/posix/RxThread.h"
#include "platform/posix/PosixSerialDevice.h"

TPosixPortFactory::TPosixPortFactory(std::string baseDirectory) : resolver_(std::move(baseDirectory)) {}

std::shared_ptr<TPosixPortFactory> TPosixPortFactory::ForDevice(std::string devicePath) {
    auto factory = std::make_shared<TPosixPortFactory>(std::string());
    factory->devicePath_ = std::move(devicePath);
    return factory;
}

std::unique_ptr<TSerialDevice> TPosixPortFactory::OpenDevice(const std::string& portName) {
    const std::string path = devicePath_.empty() ? resolver_.Resolve(portName) : devicePath_;
    if (path.empty())
        return nullptr;
    TPosixSerialDevice::TOpenResult opened = TPosixSerialDevice::Open(path);
    if (opened.NotATerminal)
        throw ECommsError("File Handle is not a Comm Handle.");
    return std::move(opened.Device);
}

std::unique_ptr<TReceiver> TPosixPortFactory::StartReceiver(TSerialDevice& device, TMessageLoop& loop,
                                                            TChunkHandler onChunk) {
    return TRxThread::Start(device.Descriptor(), loop, std::move(onChunk));
}
