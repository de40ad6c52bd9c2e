#include "bench/TimedPortFactory.h"

#include <utility>

// The device the link holds: everything goes to the real device; writes and received
// chunks are timed.
class TTimedPortFactory::TTimedDevice : public TPortDevice {
public:
    TTimedDevice(std::unique_ptr<TPortDevice> inner, TTimedPortFactory& owner)
        : inner_(std::move(inner)), owner_(owner) {}
    ~TTimedDevice() override { owner_.DeviceClosed(TTimedPortFactory::TClock::now()); }

    bool WriteAll(const std::uint8_t* data, std::size_t length) override {
        owner_.RequestWritten(TTimedPortFactory::TClock::now(), length, baud_);
        return inner_->WriteAll(data, length);
    }
    void Purge(unsigned what) override { inner_->Purge(what); }
    std::uint32_t ApplyLineSettings(const TLineSettings& settings) override {
        baud_ = settings.BaudRate;
        return inner_->ApplyLineSettings(settings);
    }
    std::unique_ptr<TReceiver> StartReceiver(TMessageLoop& loop, TChunkHandler onChunk) override {
        return inner_->StartReceiver(loop, owner_.TimedHandler(std::move(onChunk)));
    }

private:
    std::unique_ptr<TPortDevice> inner_;
    TTimedPortFactory& owner_;
    std::uint32_t baud_ = 0;
};

class TTimedPortFactory::TTimedClaim : public TPortClaim {
public:
    TTimedClaim(std::unique_ptr<TPortClaim> inner, TTimedPortFactory& owner)
        : inner_(std::move(inner)), owner_(owner) {}

    std::unique_ptr<TPortDevice> Open(TPortOpenFailure& why) override {
        std::unique_ptr<TPortDevice> device = inner_->Open(why);
        if (!device) return nullptr;
        return std::make_unique<TTimedDevice>(std::move(device), owner_);
    }

private:
    std::unique_ptr<TPortClaim> inner_;
    TTimedPortFactory& owner_;
};

TTimedPortFactory::TTimedPortFactory(std::shared_ptr<TPortFactory> inner) : inner_(std::move(inner)) {}

std::unique_ptr<TPortClaim> TTimedPortFactory::Claim(const std::string& portName, TPortOpenFailure& why) {
    std::unique_ptr<TPortClaim> claim = inner_->Claim(portName, why);
    if (!claim) return nullptr;
    return std::make_unique<TTimedClaim>(std::move(claim), *this);
}

TChunkHandler TTimedPortFactory::TimedHandler(TChunkHandler onChunk) {
    return [this, inner = std::move(onChunk)](std::unique_ptr<std::uint8_t[]> block, std::uint16_t length) {
        ChunkArrived(length);
        inner(std::move(block), length);
        // The link has processed the chunk; a completed condition shows in its state.
        if (open_ && !exchanges_.empty() && !exchanges_.back().Replied && link_ != nullptr &&
            link_->LinkState() >= 1) {
            exchanges_.back().Replied = true;
            exchanges_.back().Recognised = TClock::now();
        }
    };
}

void TTimedPortFactory::RequestWritten(TClock::time_point at, std::size_t bytes, std::uint32_t baud) {
    EndOpenExchange(at);
    TExchange e;
    e.Written = at;
    e.RequestBytes = bytes;
    e.Baud = baud;
    exchanges_.push_back(e);
    open_ = true;
}

void TTimedPortFactory::DeviceClosed(TClock::time_point at) {
    EndOpenExchange(at);
}

void TTimedPortFactory::ChunkArrived(std::size_t bytes) {
    if (open_ && !exchanges_.empty()) exchanges_.back().ReplyBytes += bytes;
}

void TTimedPortFactory::EndOpenExchange(TClock::time_point at) {
    if (!open_ || exchanges_.empty()) return;
    exchanges_.back().Ended = at;
    open_ = false;
}

std::vector<TTimedPortFactory::TExchange> TTimedPortFactory::TakeExchanges() {
    EndOpenExchange(TClock::now());
    return std::move(exchanges_);
}
