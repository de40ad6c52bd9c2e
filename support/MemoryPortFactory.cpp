#include "support/MemoryPortFactory.h"

#include "link/CommsError.h"

namespace {

class TMemoryReceiver : public TReceiver {
public:
    TMemoryReceiver(std::shared_ptr<TMemorySerialDevice> device, std::shared_ptr<int> running)
        : device_(std::move(device)), running_(std::move(running)) {
        ++*running_;
    }
    ~TMemoryReceiver() override {
        device_->DetachReceiver();
        --*running_;
    }

private:
    std::shared_ptr<TMemorySerialDevice> device_;
    std::shared_ptr<int> running_;
};

}  // namespace

// What the link holds for an open port; destroying it closes the device.
class TMemoryPortFactory::TOpenHandle : public TPortDevice {
public:
    TOpenHandle(TMemoryPortFactory& factory, std::shared_ptr<TMemorySerialDevice> device)
        : factory_(factory), device_(std::move(device)) {}
    ~TOpenHandle() override { device_->MarkClosed(); }

    bool WriteAll(const std::uint8_t* data, std::size_t length) override {
        return device_->WriteAll(data, length);
    }
    void Purge(unsigned what) override { device_->Purge(what); }
    std::uint32_t ApplyLineSettings(const TLineSettings& settings) override {
        return device_->ApplyLineSettings(settings);
    }
    std::unique_ptr<TReceiver> StartReceiver(TMessageLoop& loop, TChunkHandler onChunk) override {
        if (factory_.receiverFails_ || !device_->IsOpen()) {
            return nullptr;
        }
        device_->AttachReceiver(loop, std::move(onChunk));
        return std::make_unique<TMemoryReceiver>(device_, factory_.runningReceivers_);
    }

private:
    TMemoryPortFactory& factory_;
    std::shared_ptr<TMemorySerialDevice> device_;
};

// A claimed port: each open makes a new device on it while the port is present.
class TMemoryPortFactory::TMemoryClaim : public TPortClaim {
public:
    TMemoryClaim(TMemoryPortFactory& factory, std::string portName)
        : factory_(factory), portName_(std::move(portName)) {
        factory_.claimed_.insert(portName_);
    }
    ~TMemoryClaim() override { factory_.claimed_.erase(portName_); }

    std::unique_ptr<TPortDevice> Open(TPortOpenFailure& why) override {
        if (factory_.present_.count(portName_) == 0) {
            why = {TPortOpenFailure::TReason::Missing, portName_, {}, {}};
            return nullptr;
        }
        return factory_.OpenOn(portName_);
    }

private:
    TMemoryPortFactory& factory_;
    std::string portName_;
};

TMemoryPortFactory::TMemoryPortFactory(TMessageLoop& loop) : loop_(loop) {}

std::unique_ptr<TPortClaim> TMemoryPortFactory::Claim(const std::string& name, TPortOpenFailure& why) {
    requests_.push_back(name);
    const auto redirect = redirects_.find(name);
    const std::string& portName = redirect == redirects_.end() ? name : redirect->second;
    if (present_.count(portName) == 0) {
        why = {TPortOpenFailure::TReason::Missing, portName, {}, {}};
        return nullptr;
    }
    if (notTerminal_.count(portName) != 0) {
        throw ECommsError("File Handle is not a Comm Handle.");
    }
    if (claimed_.count(portName) != 0) {
        why = {TPortOpenFailure::TReason::Busy, portName, {}, {}};  // exclusive: already claimed
        return nullptr;
    }
    return std::make_unique<TMemoryClaim>(*this, portName);
}

std::unique_ptr<TPortDevice> TMemoryPortFactory::OpenOn(const std::string& portName) {
    auto& history = devices_[portName];
    auto device = std::make_shared<TMemorySerialDevice>(loop_, portName);
    if (const auto rate = reportedRates_.find(portName); rate != reportedRates_.end()) {
        device->SetReportedBaudRate(rate->second);
    }
    // Looked up at every write, so a peer wired later, or replaced, is used at once.
    auto& peer = peers_[portName];
    if (!peer) {
        peer = std::make_shared<TMemorySerialDevice::TWriteHook>();
    }
    std::weak_ptr<TMemorySerialDevice::TWriteHook> weakPeer = peer;
    device->OnWrite([weakPeer](const std::vector<std::uint8_t>& frame) {
        if (auto hook = weakPeer.lock(); hook && *hook) {
            const auto call = *hook;
            call(frame);
        }
    });
    history.push_back(device);
    return std::make_unique<TOpenHandle>(*this, device);
}

void TMemoryPortFactory::AddPort(const std::string& portName) {
    present_.insert(portName);
}

void TMemoryPortFactory::RemovePort(const std::string& portName) {
    present_.erase(portName);
}

void TMemoryPortFactory::SetNotTerminal(const std::string& portName, bool notTerminal) {
    if (notTerminal) {
        notTerminal_.insert(portName);
    } else {
        notTerminal_.erase(portName);
    }
}

void TMemoryPortFactory::SetReportedBaudRate(const std::string& portName, std::uint32_t rate) {
    reportedRates_[portName] = rate;
}

void TMemoryPortFactory::OnWrite(const std::string& portName, TMemorySerialDevice::TWriteHook hook) {
    auto& peer = peers_[portName];
    if (!peer) {
        peer = std::make_shared<TMemorySerialDevice::TWriteHook>();
    }
    *peer = std::move(hook);
}

void TMemoryPortFactory::Deliver(const std::string& portName, std::vector<std::uint8_t> bytes,
                                 std::uint32_t delayMs) {
    auto device = Device(portName);
    if (device && device->IsOpen()) {
        device->Deliver(std::move(bytes), delayMs);
    }
}

std::shared_ptr<TMemorySerialDevice> TMemoryPortFactory::Device(const std::string& portName) const {
    const auto it = devices_.find(portName);
    if (it == devices_.end() || it->second.empty()) {
        return nullptr;
    }
    return it->second.back();
}

std::vector<std::shared_ptr<TMemorySerialDevice>> TMemoryPortFactory::Devices(
    const std::string& portName) const {
    const auto it = devices_.find(portName);
    return it == devices_.end() ? std::vector<std::shared_ptr<TMemorySerialDevice>>{} : it->second;
}
