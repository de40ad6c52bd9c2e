#include "support/SimulatedUnitPort.h"

TSimulatedUnitPort::TSimulatedUnitPort(TVirtualMessageLoop& loop, TMemoryPortFactory& ports,
                                       const std::string& portName, const TSimConfig& config)
    : loop_(loop), ports_(ports), portName_(portName), unit_(std::make_shared<TSimUnit>(config)) {
    ports_.AddPort(portName_);
    std::weak_ptr<TSimUnit> weak = unit_;
    ports_.OnWrite(portName_, [this, weak](const std::vector<std::uint8_t>& frame) {
        auto unit = weak.lock();
        if (!unit || unit->HungUp()) return;
        auto device = ports_.Device(portName_);
        if (!device) return;
        const std::uint64_t nowUs = loop_.Now() * 1000;
        for (auto& reply : unit->Receive(frame, nowUs, device->CurrentSettings())) {
            // The virtual clock counts milliseconds: a reply is never early.
            const auto delayMs = static_cast<std::uint32_t>((reply.DelayUs + 999) / 1000);
            ports_.Deliver(portName_, std::move(reply.Bytes), delayMs);
        }
    });
}

bool TSimulatedUnitPort::FlashMatches(const std::uint8_t* image, std::uint32_t from, std::uint32_t to) const {
    const auto& flash = unit_->Flash();
    if (to >= flash.size() || from > to) return false;
    for (std::uint32_t a = from; a <= to; ++a)
        if (flash[a] != image[a]) return false;
    return true;
}
