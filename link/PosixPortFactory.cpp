#include "link/PosixPortFactory.h"

#include <utility>

#include "link/CommsError.h"
#include "link/RxThread.h"
#include "platform/PosixSerialDevice.h"

TPosixPortFactory::TPosixPortFactory(std::string baseDirectory) : resolver_(std::move(baseDirectory)) {}

std::unique_ptr<TSerialDevice> TPosixPortFactory::OpenDevice(const std::string& portName) {
    const std::string path = resolver_.Resolve(portName);
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
