#include "support/MemorySerialDevice.h"

#include <algorithm>
#include <cstring>

TMemorySerialDevice::TMemorySerialDevice(TMessageLoop& loop, std::string portName)
    : loop_(loop), portName_(std::move(portName)) {}

TMemorySerialDevice::~TMemorySerialDevice() = default;

bool TMemorySerialDevice::WriteAll(const std::uint8_t* data, std::size_t length) {
    if (!open_ || writeFails_) {
        return false;
    }
    std::vector<std::uint8_t> frame;
    if (length > 0) {
        frame.assign(data, data + length);
    }
    writes_.push_back(TWrite{frame, loop_.TickCount()});
    if (writeHook_) {
        // A copy: the hook may replace itself or deliver more writes.
        const TWriteHook hook = writeHook_;
        hook(frame);
    }
    return true;
}

void TMemorySerialDevice::Purge(unsigned what) {
    purges_.push_back(what);
    if ((what & kPurgeRx) != 0) {
        held_.clear();
    }
}

std::uint32_t TMemorySerialDevice::ApplyLineSettings(const TLineSettings& settings) {
    applied_.push_back(settings);
    return reportedBaudRate_ != 0 ? reportedBaudRate_ : settings.BaudRate;
}

std::vector<std::uint8_t> TMemorySerialDevice::Written() const {
    std::vector<std::uint8_t> all;
    for (const auto& w : writes_) {
        all.insert(all.end(), w.Bytes.begin(), w.Bytes.end());
    }
    return all;
}

TLineSettings TMemorySerialDevice::CurrentSettings() const {
    return applied_.empty() ? TLineSettings{} : applied_.back();
}

void TMemorySerialDevice::Deliver(std::vector<std::uint8_t> bytes, std::uint32_t delayMs) {
    if (bytes.empty()) {
        return;
    }
    if (delayMs == 0) {
        Arrive(std::move(bytes));
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    loop_.PostDelayed(delayMs, [this, alive, bytes = std::move(bytes)]() mutable {
        if (alive.lock()) {
            Arrive(std::move(bytes));
        }
    });
}

void TMemorySerialDevice::Arrive(std::vector<std::uint8_t> bytes) {
    if (!open_) {
        return;
    }
    if (!receiver_) {
        held_.insert(held_.end(), bytes.begin(), bytes.end());
        return;
    }
    // The receiver reads what is there and posts it in chunks; each chunk is a fresh block
    // of n + 1 bytes ending in a zero byte, owned by the handler once dispatched.
    for (std::size_t offset = 0; offset < bytes.size(); offset += kMaxChunk) {
        const std::size_t n = std::min(kMaxChunk, bytes.size() - offset);
        auto piece =
            std::make_shared<std::vector<std::uint8_t>>(bytes.begin() + offset, bytes.begin() + offset + n);
        std::shared_ptr<TChunkHandler> handler = receiver_;
        receiverLoop_->Post([handler, piece] {
            auto block = std::make_unique<std::uint8_t[]>(piece->size() + 1);
            std::memcpy(block.get(), piece->data(), piece->size());
            block[piece->size()] = 0;
            (*handler)(std::move(block), static_cast<std::uint16_t>(piece->size()));
        });
    }
}

void TMemorySerialDevice::MarkClosed() {
    open_ = false;
    receiver_.reset();
    receiverLoop_ = nullptr;
    held_.clear();
}

void TMemorySerialDevice::AttachReceiver(TMessageLoop& loop, TChunkHandler handler) {
    receiverLoop_ = &loop;
    receiver_ = std::make_shared<TChunkHandler>(std::move(handler));
    if (!held_.empty()) {
        std::vector<std::uint8_t> waiting;
        waiting.swap(held_);
        Arrive(std::move(waiting));
    }
}

void TMemorySerialDevice::DetachReceiver() {
    receiver_.reset();
    receiverLoop_ = nullptr;
}
