#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "link/LumoComms.h"
#include "support/MemoryPortFactory.h"
#include "support/VirtualMessageLoop.h"

// A link open on an in-memory port whose peer answers every request with the same script:
// a list of chunks, each arriving as one received chunk, in order.
class TScriptedLink {
public:
    explicit TScriptedLink(std::uint16_t rxBufferSize)
        : ports_(std::make_shared<TMemoryPortFactory>(loop_)), link_(loop_, ports_) {
        ports_->AddPort("COM1");
        ports_->OnWrite("COM1", [this](const std::vector<std::uint8_t>&) {
            for (const auto& chunk : script_)
                if (!chunk.empty()) ports_->Deliver("COM1", chunk);
        });
        link_.RxBufferSize = rxBufferSize;
        link_.Open();
    }

    void SetScript(std::vector<std::vector<std::uint8_t>> chunks) { script_ = std::move(chunks); }
    TLumoComms& Link() { return link_; }

private:
    TVirtualMessageLoop loop_;
    std::shared_ptr<TMemoryPortFactory> ports_;
    TLumoComms link_;
    std::vector<std::vector<std::uint8_t>> script_;
};
