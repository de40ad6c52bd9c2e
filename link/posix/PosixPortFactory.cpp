#include "link/posix/PosixPortFactory.h"

#include <utility>

#include "link/CommsError.h"
#include "link/posix/RxThread.h"
#include "platform/posix/PosixSerialDevice.h"

namespace {

// One open of a claimed device: the claim's descriptor, lent for the length of the open.
class TPosixPortDevice : public TPortDevice {
public:
    explicit TPosixPortDevice(TPosixSerialDevice& device) : device_(device) {}
    ~TPosixPortDevice() override { device_.ShowCloseOnLine(); }
    TPosixPortDevice(const TPosixPortDevice&) = delete;
    TPosixPortDevice& operator=(const TPosixPortDevice&) = delete;

    bool WriteAll(const std::uint8_t* data, std::size_t length) override {
        return device_.WriteAll(data, length);
    }
    void Purge(unsigned what) override { device_.Purge(what); }
    std::uint32_t ApplyLineSettings(const TLineSettings& settings) override {
        return device_.ApplyLineSettings(settings);
    }
    std::unique_ptr<TReceiver> StartReceiver(TMessageLoop& loop, TChunkHandler onChunk) override {
        return TRxThread::Start(device_.Descriptor(), loop, std::move(onChunk));
    }

private:
    TPosixSerialDevice& device_;
};

class TPosixPortClaim : public TPortClaim {
public:
    explicit TPosixPortClaim(std::unique_ptr<TPosixSerialDevice> device) : device_(std::move(device)) {}

    std::unique_ptr<TPortDevice> Open(TPortOpenFailure& why) override {
        if (opens_++ > 0) {
            if (!device_->StillPresent()) {
                why = TPortOpenFailure{
                    TPortOpenFailure::TReason::Missing, device_->Path(), "gone since its first open", {}};
                return nullptr;
            }
            device_->ShowOpenOnLine();
        }
        return std::make_unique<TPosixPortDevice>(*device_);
    }

private:
    // Closed, with its lock and exclusive mode given up, when the claim ends.
    std::unique_ptr<TPosixSerialDevice> device_;
    unsigned opens_ = 0;
};

}  // namespace

TPosixPortFactory::TPosixPortFactory(std::string baseDirectory) : resolver_(std::move(baseDirectory)) {}

std::shared_ptr<TPosixPortFactory> TPosixPortFactory::ForDevice(std::string devicePath) {
    auto factory = std::make_shared<TPosixPortFactory>(std::string());
    factory->devicePath_ = std::move(devicePath);
    return factory;
}

std::unique_ptr<TPortClaim> TPosixPortFactory::Claim(const std::string& portName, TPortOpenFailure& why) {
    const std::string path = devicePath_.empty() ? resolver_.Resolve(portName) : devicePath_;
    if (path.empty()) {
        why = TPortOpenFailure{TPortOpenFailure::TReason::Missing, {}, "no such port name", {}};
        return nullptr;
    }
    TPosixSerialDevice::TOpenResult opened = TPosixSerialDevice::Open(path);
    if (opened.Failure.Reason == TPortOpenFailure::TReason::NotASerialPort)
        throw ECommsError("File Handle is not a Comm Handle.");
    if (!opened.Device) {
        why = std::move(opened.Failure);
        return nullptr;
    }
    return std::make_unique<TPosixPortClaim>(std::move(opened.Device));
}
